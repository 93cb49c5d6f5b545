#include "ClassDataArchive.h"

#include <chrono>
#include <cstdlib>
#include <memory>

#include "ArchiveBuilder.h"
#include "ArchiveHost.h"
#include "ArchiveInputs.h"
#include "ArchiveOptions.h"
#include "ArchivePlace.h"
#include "ArchivePlan.h"
#include "ErrorHandling.h"
#include "JarDependencies.h"
#include "Log.h"
#include "MappedFiles.h"
#include "SysInfo.h"

namespace ClassDataArchive {

namespace {

// What the exit handler of a start needs: its plan.
struct AtExit {
    ArchivePlan plan;
    RuntimeFailed runtimeFailed;
    std::chrono::steady_clock::time_point started;
};

void finish(int status, void* context) {
    try {
        AtExit& state = *static_cast<AtExit*>(context);
        ArchivePlan::Ending ending;
        ending.status = status;
        ending.runtimeFailed = state.runtimeFailed && state.runtimeFailed();
        ending.seconds = std::chrono::duration<double>(
                std::chrono::steady_clock::now() - state.started).count();
        ending.archiveMapped = state.plan.way() == ArchivePlan::Way::use
                && MappedFiles::isMapped(state.plan.archiveName());
        state.plan.finish(ending);
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

// True when the configuration asks for an archive and neither the user
// nor the place speaks against it.
bool archiveWanted(const CfgFile& cfg, const std::string& cacheBase) {
    const std::string mode =
            cfg.lastValue(SectionName::Application, PropertyName::cds);
    if (mode != "auto") {
        if (!mode.empty() && mode != "off") {
            LOG_WARNING("Unknown value \"" << mode << "\" of \""
                        << PropertyName::cds.name()
                        << "\"; no class data archive");
        }
        return false;
    }
    if (SysInfo::getEnvVariable(std::nothrow, "VANTRY_CDS", "") == "off") {
        LOG_TRACE("No class data archive: VANTRY_CDS is \"off\"");
        return false;
    }
    if (cacheBase.empty()) {
        LOG_TRACE("No class data archive: no cache directory");
        return false;
    }
    // The namespace's orphans come to its first process: the builder would
    // be the application's child.
    if (SysInfo::getProcessId() == 1) {
        LOG_TRACE("No class data archive: the launcher is process 1 of its"
                  " PID namespace, which would adopt the builder; nothing is"
                  " recorded or built");
        return false;
    }
    return true;
}

// True when the executable lies on a volume that is meant to be ejected,
// which a builder running from it would keep busy.
bool onRemovableVolume(const std::string& executable) {
    const std::string root = ArchivePlace::removableRoot(
            executable, ArchiveHost::removableVolumeRoots());
    if (!root.empty()) {
        LOG_TRACE("No class data archive: the application runs from a"
                  " removable volume under \"" << root << "\"");
    }
    return !root.empty();
}

// True when the longest path of the digest's files that the runtime gets
// (a recording) would pass the system's or the runtime's limit; the
// runtime would warn at every start and record, or dump, in vain.
bool pathTooLong(const ArchiveStore& store, const std::string& digest) {
    const std::string longest = store.path(
            store.processName(digest, ArchiveStore::newId(), ".recording"));
    const std::size_t limit =
            ArchivePlace::longestRuntimePath(ArchiveHost::pathMax());
    if (longest.size() > limit) {
        LOG_TRACE("No class data archive: its paths, such as \"" << longest
                  << "\", would be longer than the limit of " << limit
                  << " bytes");
        return true;
    }
    return false;
}

// True when a manifest's Class-Path names a directory with anything in it,
// which the runtime cannot archive. Asked at each start that has no
// archive to map, before anything is recorded: emptied, the directory no
// longer stands in the way.
bool namesBusyDirectory(const ArchiveInputs& inputs, const ArchiveStore& store) {
    if (store.exists(store.name(inputs.digest(), ".jsa"))
            || store.exists(store.name(inputs.digest(), ".failed"))) {
        return false;
    }
    std::string dependencies;
    if (!JarDependencies::find(inputs.rootJars(), dependencies)) {
        return false;
    }
    const std::string dir = JarDependencies::busyDirectory(dependencies);
    if (dir.empty()) {
        return false;
    }
    LOG_TRACE("No class data archive: the Class-Path of a manifest names the"
              " directory \"" << dir << "\", which is not empty");
    return true;
}

} // namespace

BuildRequest takeBuildRequest() {
    BuildRequest request;
    const char* value = std::getenv(ArchiveBuilder::requestVariable);
    if (value != nullptr) {
        request.present = true;
        request.token = value;
        SysInfo::unsetEnvVariable(ArchiveBuilder::requestVariable);
    }
    return request;
}

StringArray prepareStart(const CfgFile& cfg, const std::string& jliPath,
                         const std::string& base, const std::string& relative,
                         bool reexecuted, const RuntimeFailed& runtimeFailed) {
    if (!archiveWanted(cfg, base)) {
        return StringArray();
    }
    const ArchiveInputs inputs = ArchiveInputs::collect(cfg, jliPath);
    std::string why = inputs.whyRuledOut();
    if (!why.empty()) {
        LOG_TRACE("No class data archive: " << why);
        return StringArray();
    }
    const std::string executable = SysInfo::getProcessModulePath();
    if (onRemovableVolume(executable)) {
        return StringArray();
    }
    ArchiveStore store;
    if (!store.open(base, relative, executable, why)) {
        LOG_TRACE("No class data archive: the archive directory is not"
                  " usable: " << why);
        return StringArray();
    }
    if (pathTooLong(store, inputs.digest())
            || namesBusyDirectory(inputs, store)) {
        return StringArray();
    }
    std::unique_ptr<AtExit> state(new AtExit{
            ArchivePlan::decide(std::move(store), inputs.digest(),
                                inputs.feature,
                                reexecuted ? SysInfo::getProcessId() : 0),
            runtimeFailed, std::chrono::steady_clock::now()});
    if (state->plan.way() == ArchivePlan::Way::none) {
        return StringArray();
    }
    try {
        SysInfo::atExit(finish, state.get());
    } catch (...) {
        LOG_TRACE("No class data archive: no exit handler");
        state->plan.abandon();
        return StringArray();
    }
    // Started now, while this process is small, the builder costs the
    // start next to nothing; it builds once the start has ended, or while
    // a long run has time to spare.
    if (state->plan.needsBuilder()) {
        ArchiveBuilder::start(state->plan.getStore(), state->plan.getDigest(),
                              executable);
    }
    const StringArray options = state->plan.options();
    // Owned by the exit handler from here on, for the life of the process.
    state.release();
    return options;
}

bool isArchiveOption(const std::string& word) {
    return ArchiveOptions::isArchiveOption(word);
}

void build(const BuildRequest& request, const std::string& base,
           const std::string& relative, const ReadConfig& readConfig,
           const Dump& dump) {
    if (!ArchiveBuilder::build(request.token, base, relative, readConfig,
                               dump)) {
        VT_THROW(tstrings::any()
                 << ArchiveBuilder::requestVariable
                 << " is set, so this process only builds class data archives"
                    " and never starts the application, but it was not"
                    " started to build one; unset "
                 << ArchiveBuilder::requestVariable);
    }
}

std::string whyNeverArchived(const CfgFile& cfg,
                             const std::string& javaVersion) {
    if (cfg.lastValue(SectionName::Application, PropertyName::cds) != "auto") {
        return std::string();
    }
    if (cfg.lastValue(SectionName::Application, PropertyName::locked)
            == "true") {
        return "a locked application (app.locked=true) has no archive";
    }
    if (javaVersion.empty()) {
        return "the runtime's release file has no JAVA_VERSION";
    }
    if (!ArchiveOptions::supportsArchive(
                ArchiveOptions::featureVersion(javaVersion))) {
        return "the runtime's JAVA_VERSION is \"" + javaVersion
                + "\", and the archive needs 13 or later";
    }
    for (const std::string& option : cfg.values(SectionName::JavaOptions,
                                                PropertyName::javaOptions)) {
        if (ArchiveOptions::precludesArchive(option)) {
            return "the java option \"" + option + "\" rules the archive out";
        }
    }
    return std::string();
}

} // namespace ClassDataArchive
