#include "ArchiveBuilder.h"

#include <set>

#include "ArchiveHost.h"
#include "ArchiveInputs.h"
#include "ArchiveOptions.h"
#include "ArchiveProcess.h"
#include "FileUtils.h"
#include "JarDependencies.h"
#include "Log.h"
#include "RuntimeReexec.h"
#include "SysInfo.h"
#include "ZipFile.h"

namespace ArchiveBuilder {

const char* const requestVariable = "VANTRY_CDS_BUILD";
const char* const builderArgument = "--class-data-archive-builder";
// A start that runs this long has time to spare; a dump takes 0.3 to 2.1 s.
const int busyStartSeconds = 20;

namespace {

using Strike = ArchiveStore::Strike;

// A dump takes 0.3 to 2.1 s of CPU time as measured; one that takes this
// much loops. The wall clock says little at the lowest priority, where a
// busy machine starves the dump: only a dump that still runs after many
// hours is ended, and that counts against nothing.
const int dumpCpuSeconds = 600;
const int dumpWallSeconds = 6 * 3600;

// While the start runs, how often the builder looks for a class list.
const int lookAgainSeconds = 10;

// True when the builder has an archive to make: nobody made it meanwhile,
// the digest did not give up, and the class list waits.
bool isPending(const ArchiveStore& store, const std::string& digest) {
    return store.exists(store.name(digest, ".classlist"))
            && !store.exists(store.name(digest, ".jsa"))
            && !store.exists(store.name(digest, ".failed"));
}

// The classes that the jars among `paths` supply ("a/b/C" for
// a/b/C.class, also of a multi-release jar's versions).
std::set<std::string> applicationClasses(const StringArray& paths) {
    static const std::string versions = "META-INF/versions/";
    std::set<std::string> classes;
    for (const std::string& path : paths) {
        if (!FileUtils::isRegularFile(path)) {
            continue;
        }
        const ZipFile jar(path);
        for (const ZipEntry& entry : jar.entries()) {
            std::string name = entry.name;
            if (tstrings::startsWith(name, versions)) {
                const std::string::size_type slash =
                        name.find('/', versions.size());
                name = slash == std::string::npos ? std::string()
                                                  : name.substr(slash + 1);
            }
            if (tstrings::endsWith(name, ".class")) {
                classes.insert(name.substr(0, name.size() - 6));
            }
        }
    }
    return classes;
}

// The recorded list as it is to be dumped: without the application's own
// classes when the application installed a security manager on a runtime
// that lets it (JDK 17 and older); the runtime's classes still come from
// the archive, the application's load as they would without one.
std::string listToDump(const std::string& recorded,
                       const ArchiveInputs& inputs) {
    if (inputs.feature >= 18
            || !ArchiveOptions::showsSecurityManager(recorded)) {
        return recorded;
    }
    StringArray jars = inputs.rootJars();
    for (const FileFact& file : inputs.modulePathFiles) {
        jars.push_back(file.path);
    }
    return ArchiveOptions::withoutClasses(recorded, applicationClasses(jars));
}

// The configuration and environment of the dump: the application's, but
// for the options that would have the dump write into the application's
// own files (its logs, heap dumps, recordings). Called in the dump's child.
CfgFile withoutFileWriters(const CfgFile& cfg) {
    static const char* const variables[] = {"JAVA_TOOL_OPTIONS",
                                            "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"};
    for (const char* name : variables) {
        const std::string value = SysInfo::getEnvVariable(std::nothrow, name, "");
        const std::string kept =
                ArchiveOptions::variableWithoutFileWriters(value);
        if (kept != value) {
            SysInfo::setEnvVariable(name, kept);
        }
    }
    CfgFile dumpCfg(cfg);
    dumpCfg.setPropertyValue(
            SectionName::JavaOptions, PropertyName::javaOptions,
            ArchiveOptions::withoutFileWriters(cfg.values(
                    SectionName::JavaOptions, PropertyName::javaOptions)));
    return dumpCfg;
}

void appendLine(int fd, const std::string& line) {
    PrivateFiles::writeAll(fd, line + "\n");
}

// One build in the store, by the files of this process.
class Build {
public:
    Build(const ArchiveStore& store, const std::string& digest)
        : store(store), digest(digest), id(ArchiveStore::newId()),
          outputName(store.processName(digest, id, ".build")),
          listName(store.processName(digest, id, ".list")),
          archiveName(store.processName(digest, id, ".tmp")) {}

    void run(const ArchiveInputs& inputs, const CfgFile& cfg,
             const std::string& jliPath,
             const ClassDataArchive::Dump& dump) {
        output = store.claim(outputName);
        // The runtime's output follows the build's own lines, not the
        // process id that marks the claim.
        if (id.empty() || !output.valid()
                || !ArchiveStore::startOver(output.get())) {
            return;
        }
        const std::string problem = dumpAndCheck(inputs, cfg, jliPath, dump);
        store.remove(listName);
        store.remove(archiveName);
        if (starved) {
            // Not the digest's fault: the list waits for the next builder.
            store.remove(outputName);
            return;
        }
        if (problem.empty()) {
            store.sync();
            store.clearStrikes(digest, {Strike::buildFailed,
                                        Strike::buildInterrupted});
            store.remove(store.name(digest, ".classlist"));
            store.remove(store.name(digest, ".buildlog"));
            store.remove(outputName);
            store.removeOtherDigests(digest);
            return;
        }
        // The next start records anew: a list the runtime cannot dump
        // would fail again.
        appendLine(output.get(), "No archive: " + problem);
        store.rename(outputName, store.name(digest, ".buildlog"));
        store.remove(store.name(digest, ".classlist"));
        const int count = store.addStrike(digest, Strike::buildFailed);
        if (count >= 3) {
            store.write(store.name(digest, ".failed"),
                        "The build failed " + std::to_string(count)
                                + " times in a row: " + problem + "; see "
                                + store.path(store.name(digest, ".buildlog"))
                                + "\n");
        }
    }

private:
    // Dumps the archive and puts it in place; what went wrong, or empty.
    std::string dumpAndCheck(const ArchiveInputs& inputs, const CfgFile& cfg,
                             const std::string& jliPath,
                             const ClassDataArchive::Dump& dump) {
        std::string recorded, runtimeList, dependencies;
        // With classes linked ahead of time, every class of the archive is
        // loaded at start: the runtime's whole list made a Hello World take
        // 64.7 ms against 53.3 ms with the recorded classes alone (25.0.3),
        // and javac no faster.
        if (!ArchiveOptions::linksAheadOfTime(inputs.feature)) {
            FileUtils::readSmallFile(
                    FileUtils::combinePath(inputs.javaHome, "lib/classlist"),
                    8u << 20, runtimeList);
        }
        // The jars' identities are taken before the dump: a jar replaced
        // while the runtime reads it must not pass for the one archived.
        if (!JarDependencies::find(inputs.rootJars(), dependencies)) {
            return "the manifest of a jar cannot be read";
        }
        if (!store.read(store.name(digest, ".classlist"), recorded)
                || !store.write(listName,
                                ArchiveOptions::mergeClassLists(
                                        listToDump(recorded, inputs),
                                        runtimeList))) {
            return "the class list cannot be read or written";
        }
        appendLine(output.get(), "Building the class data archive:");
        const StringArray options = ArchiveOptions::dumpOptions(
                inputs.feature, store.path(listName), store.path(archiveName));
        const int status = ArchiveProcess::runInChild(
                output.get(),
                [&] {
                    RuntimeReexec::preventReexecution();
                    dump(withoutFileWriters(cfg), jliPath, options);
                },
                dumpCpuSeconds, dumpWallSeconds, starved);
        if (starved) {
            return std::string();
        }
        if (status != 0 || !store.isWholeArchive(archiveName)) {
            return "the runtime ended with "
                    + ArchiveProcess::describe(status);
        }
        std::string after;
        if (!JarDependencies::find(inputs.rootJars(), after)
                || after != dependencies
                || !JarDependencies::unchanged(dependencies)) {
            return "a jar named by a manifest changed during the dump";
        }
        if (!store.write(store.name(digest, ".deps"), dependencies)
                || !store.rename(archiveName, store.name(digest, ".jsa"))) {
            return "it cannot be stored";
        }
        return std::string();
    }

    const ArchiveStore& store;
    const std::string digest;
    const std::string id;
    const std::string outputName;
    const std::string listName;
    const std::string archiveName;
    PrivateFiles::FileDescriptor output;
    // The dump ran out of wall-clock time, not of CPU time.
    bool starved = false;
};

} // namespace

void start(const ArchiveStore& store, const std::string& digest,
           const std::string& executable) {
    try {
        const PrivateFiles::FileDescriptor lock =
                store.lock(store.name(digest, ".lock"));
        // The list may still be being recorded: the builder looks again
        // once the start has ended.
        if (!lock.valid() || store.exists(store.name(digest, ".jsa"))
                || store.exists(store.name(digest, ".failed"))) {
            return;
        }
        const std::string token = ArchiveStore::newId() + ArchiveStore::newId();
        // Every token has the same length: it replaces the last one.
        if (token.size() != 32
                || !PrivateFiles::writeAt(lock.get(), token, 0)
                || !ArchiveProcess::startBuilder(executable, builderArgument,
                                                 lock.get(), requestVariable,
                                                 token)) {
            LOG_TRACE("Cannot start the class data archive's builder");
            return;
        }
        LOG_TRACE("Started the builder of the class data archive "
                  << store.name(digest, ".jsa"));
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

bool build(const std::string& token, const std::string& base,
           const std::string& relative,
           const ClassDataArchive::ReadConfig& readConfig,
           const ClassDataArchive::Dump& dump) {
    if (SysInfo::argc != 2 || SysInfo::argv[1] != std::string(builderArgument)) {
        return false;
    }
    ArchiveHost::setProcessName("cds-builder");
    bool ended = ArchiveProcess::awaitStarter(busyStartSeconds);
    CfgFile cfg;
    std::string jliPath, why, digest;
    ArchiveStore store;
    int lock = -1;
    if (!readConfig(cfg, jliPath) || base.empty()
            || !store.open(base, relative, SysInfo::getProcessModulePath(), why)
            || !ArchiveProcess::takeRequest(token, lock)
            || !store.lockedDigest(lock, digest)) {
        LOG_TRACE("Not the class data archive's builder: the request does"
                  " not hold");
        return false;
    }
    const ArchiveInputs inputs = ArchiveInputs::collect(cfg, jliPath);
    if (!inputs.whyRuledOut().empty() || inputs.digest() != digest) {
        LOG_TRACE("The class data archive's builder has nothing to do");
        return true;
    }
    while (!ended && !isPending(store, digest)) {
        ended = ArchiveProcess::awaitStarter(lookAgainSeconds);
    }
    if (!isPending(store, digest)) {
        LOG_TRACE("The class data archive's builder has nothing to do");
        return true;
    }
    ArchiveProcess::closeInheritedDescriptors(store.fd());
    Build(store, digest).run(inputs, cfg, jliPath, dump);
    return true;
}

} // namespace ArchiveBuilder
