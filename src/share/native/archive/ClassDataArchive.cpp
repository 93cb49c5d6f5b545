#include "ClassDataArchive.h"

#include <cstdlib>
#include <memory>

#include "ArchiveBuilder.h"
#include "ArchiveInputs.h"
#include "ArchiveOptions.h"
#include "ArchivePlan.h"
#include "Log.h"
#include "MappedFiles.h"
#include "SysInfo.h"

namespace ClassDataArchive {

namespace {

// What the exit handler of a start needs: its plan.
struct AtExit {
    ArchivePlan plan;
    RuntimeFailed runtimeFailed;
};

void finish(int status, void* context) {
    try {
        AtExit& state = *static_cast<AtExit*>(context);
        ArchivePlan::Ending ending;
        ending.status = status;
        ending.runtimeFailed = state.runtimeFailed && state.runtimeFailed();
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
    ArchiveStore store;
    if (!store.open(base, relative, executable, why)) {
        LOG_TRACE("No class data archive: the archive directory is not"
                  " usable: " << why);
        return StringArray();
    }
    std::unique_ptr<AtExit> state(new AtExit{
            ArchivePlan::decide(std::move(store), inputs.digest(),
                                inputs.feature,
                                reexecuted ? SysInfo::getProcessId() : 0),
            runtimeFailed});
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
    // start next to nothing; it waits until the start has ended.
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
    ArchiveBuilder::build(request.token, base, relative, readConfig, dump);
}

} // namespace ClassDataArchive
