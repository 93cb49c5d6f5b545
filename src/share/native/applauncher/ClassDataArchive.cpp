#include "ClassDataArchive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "ArchiveBuilder.h"
#include "ArchiveOptions.h"
#include "ArchiveStore.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "RuntimeReexec.h"
#include "SysInfo.h"

namespace ClassDataArchive {

namespace {

// The variables from which the runtime takes options or a class path.
const char* const optionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                       "_JAVA_OPTIONS"};

// A file size limit below this could cut a class list or an archive short
// (SIGXFSZ ends the process that writes past it).
const unsigned long long minimumFileSizeLimit = 1ull << 30;

// The runtime records into a full disk without a word, and the largest
// archive measured (javac's, with the runtime's classes) takes 27 MB: a
// start records only with this much room.
const unsigned long long minimumFreeBytes = 128ull << 20;

enum class Way { Nothing, Use, Record, Wait, Build };

struct State {
    bool hasRequest = false;
    std::string token;
    // The builder's digest, and whether it still has an archive to make.
    std::string requestedDigest;
    bool dumpPending = false;
    Way way = Way::Nothing;
    ArchiveStore store;
    std::string digest;
    std::string executable;
    std::string runtimeList;
    int feature = 0;
    CfgFile cfg;
};

State& state() {
    static State theState;
    return theState;
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

std::string readSmallFile(const std::string& path) {
    std::string text;
    const PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return text;
    }
    char buffer[65536];
    ssize_t count;
    while (text.size() < (8u << 20)
           && (count = ::read(fd.get(), buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

// True when the configuration asks for an archive and nothing in the
// launcher's own settings speaks against it.
bool archiveWanted(const CfgFile& cfg, const std::string& cacheBase) {
    const std::string mode = cfg.lastValue(SectionName::Application, PropertyName::cds);
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

struct Runtime {
    std::string home;
    ArchiveOptions::RuntimeRelease release;
    int feature = 0;
};

// The runtime behind the launcher library, when it can dump and map a
// static archive: version 13 or later, with the server VM (which every
// mainstream build makes with class data sharing; an option it does not
// know would end the start).
bool archiveCapableRuntime(const std::string& jliPath, Runtime& runtime) {
    const std::unique_ptr<char, FreeDeleter> real(
            ::realpath(jliPath.c_str(), nullptr));
    runtime.home = real ? ArchiveOptions::javaHomeOfLibrary(real.get())
                        : std::string();
    if (!runtime.home.empty()) {
        runtime.release = ArchiveOptions::parseRelease(readSmallFile(
                FileUtils::combinePath(runtime.home, "release")));
        runtime.feature =
                ArchiveOptions::featureVersion(runtime.release.javaVersion);
    }
    if (!ArchiveOptions::supportsArchive(runtime.feature)) {
        LOG_TRACE("No class data archive: the runtime of \"" << jliPath
                  << "\" has no release file with a JAVA_VERSION of 13 or"
                     " later");
        return false;
    }
    const std::string server =
            FileUtils::combinePath(runtime.home, "lib/server/libjvm.");
    if (!FileUtils::isFileExists(server + "so")
            && !FileUtils::isFileExists(server + "dylib")) {
        LOG_TRACE("No class data archive: the runtime in \"" << runtime.home
                  << "\" has no server VM");
        return false;
    }
    return true;
}

bool isNonEmptyDirectory(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// True, with a trace, when an option of the configuration or of the
// environment, a class path directory that is not empty, or a file size
// limit rules the archive out. `environment` receives the variables' texts.
bool archiveRuledOut(const CfgFile& cfg, std::string& environment) {
    StringArray options =
            cfg.values(SectionName::JavaOptions, PropertyName::javaOptions);
    for (const char* name : optionVariables) {
        const std::string value =
                SysInfo::getEnvVariable(std::nothrow, name, "");
        environment += std::string(name) + "=" + value + "\n";
        const StringArray more = ArchiveOptions::variableWords(value);
        options.insert(options.end(), more.begin(), more.end());
    }
    environment += "CLASSPATH="
            + SysInfo::getEnvVariable(std::nothrow, "CLASSPATH", "") + "\n";
    for (const std::string& option : options) {
        if (ArchiveOptions::precludesArchive(option)) {
            LOG_TRACE("No class data archive: the option \"" << option
                      << "\" manages or reports sharing or rules it out");
            return true;
        }
    }
    // JDK 17 refuses to dump, JDK 25 to map, when a class path directory
    // holds anything.
    for (const std::string& entry :
         ArchiveOptions::collectPaths(cfg).classPath) {
        if (isNonEmptyDirectory(entry.empty() ? "." : entry)) {
            LOG_TRACE("No class data archive: the class path directory \""
                      << entry << "\" is not empty");
            return true;
        }
    }
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0
            && limit.rlim_cur != RLIM_INFINITY
            && static_cast<unsigned long long>(limit.rlim_cur)
                       < minimumFileSizeLimit) {
        LOG_TRACE("No class data archive: the file size limit is too low");
        return true;
    }
    return false;
}

// Deletes the archive of the digest and keeps the digest from getting
// another one.
void dropArchive(const State& s, const std::string& why) {
    LOG_TRACE("Class data archive dropped: " << why);
    s.store.remove(s.store.name(s.digest, ".jsa"));
    s.store.remove(s.store.name(s.digest, ".deps"));
    s.store.remove(s.store.name(s.digest, ".classlist"));
    s.store.write(s.store.name(s.digest, ".failed"), why + "\n");
}

void finishUse(const State& s) {
    const std::string logName = s.store.processName(
            s.digest, SysInfo::getProcessId(), ".use");
    std::string log;
    s.store.read(logName, log);
    s.store.remove(logName);
    if (hasRuntimeStartFailed()) {
        dropArchive(s, "A start that mapped the archive failed.");
    } else if (ArchiveOptions::wasRefused(log)) {
        const std::string refused = s.store.name(s.digest, ".refused");
        if (s.store.exists(refused)) {
            dropArchive(s, "The runtime refused the archive twice.");
        } else {
            s.store.remove(s.store.name(s.digest, ".jsa"));
            s.store.write(refused, log);
        }
    }
}

void finishRecording(const State& s, int status) {
    const std::string recording = s.store.processName(
            s.digest, SysInfo::getProcessId(), ".recording");
    // A start ended by a signal (SIGINT, SIGTERM: 128 and more) loaded only
    // some of the application's classes.
    if (status >= 128 || hasRuntimeStartFailed()
            || !s.store.rename(recording,
                               s.store.name(s.digest, ".classlist"))) {
        s.store.remove(recording);
        return;
    }
    ArchiveBuilder::start(s.store, s.digest, s.executable);
}

void finish(int status) {
    try {
        const State& s = state();
        if (s.way == Way::Use) {
            finishUse(s);
        } else if (s.way == Way::Record) {
            finishRecording(s, status);
        } else if (s.way == Way::Wait) {
            ArchiveBuilder::start(s.store, s.digest, s.executable);
        }
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

// The way of this start, and its options for the runtime.
StringArray chooseWay(State& s) {
    const ArchiveStore& store = s.store;
    if (store.sweep(s.digest)) {
        dropArchive(s, "A start that mapped the archive ended without"
                       " running its exit handlers (a crash or SIGKILL).");
    }
    if (store.exists(store.name(s.digest, ".failed"))) {
        LOG_TRACE("No class data archive: "
                  << store.path(store.name(s.digest, ".failed"))
                  << " says why");
        return StringArray();
    }
    const std::string archive = store.name(s.digest, ".jsa");
    std::string dependencies;
    if (store.exists(archive)) {
        if (store.read(store.name(s.digest, ".deps"), dependencies)
                && ArchiveStore::dependenciesUnchanged(dependencies)) {
            s.way = Way::Use;
            LOG_TRACE("Using class data archive \"" << store.path(archive)
                      << "\"");
            return ArchiveOptions::useOptions(
                    s.feature, store.path(archive),
                    store.path(store.processName(
                            s.digest, SysInfo::getProcessId(), ".use")));
        }
        LOG_TRACE("Class data archive \"" << store.path(archive)
                  << "\" is stale: a jar named by a manifest changed");
        store.remove(archive);
    }
    if (store.exists(store.name(s.digest, ".classlist"))) {
        s.way = Way::Wait;
        LOG_TRACE("No class data archive yet: its class list waits for"
                  " the builder");
        return StringArray();
    }
    struct statvfs fs;
    if (::fstatvfs(store.fd(), &fs) != 0
            || static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize
                       < minimumFreeBytes) {
        LOG_TRACE("No class data archive: too little free space in \""
                  << store.directory() << "\"");
        return StringArray();
    }
    s.way = Way::Record;
    const std::string list = store.path(
            store.processName(s.digest, SysInfo::getProcessId(), ".recording"));
    LOG_TRACE("Recording the classes for a class data archive in \"" << list
              << "\"");
    return ArchiveOptions::recordOptions(list);
}

// True when the builder has an archive to make: this start leads to the
// digest it was started for, and nobody made the archive meanwhile.
bool isDumpPending(const State& s) {
    const ArchiveStore& store = s.store;
    return s.digest == s.requestedDigest
            && store.exists(store.name(s.digest, ".classlist"))
            && !store.exists(store.name(s.digest, ".jsa"))
            && !store.exists(store.name(s.digest, ".failed"));
}

} // namespace

void takeBuildRequest() {
    State& s = state();
    const char* value = std::getenv(ArchiveBuilder::requestVariable);
    if (value != nullptr) {
        s.hasRequest = true;
        s.token = value;
        SysInfo::unsetEnvVariable(ArchiveBuilder::requestVariable);
    }
}

bool hasBuildRequest() {
    return state().hasRequest;
}

void checkBuildRequest(const std::string& cacheBase,
                       const std::string& cacheRelative) {
    State& s = state();
    std::string why;
    if (!s.hasRequest) {
        return;
    }
    if (SysInfo::argc != 1 || cacheBase.empty()
            || !s.store.open(cacheBase, cacheRelative,
                             SysInfo::getProcessModulePath(), why)
            || !ArchiveBuilder::isRequested(s.store, s.token,
                                            s.requestedDigest)) {
        LOG_TRACE("Not started as the class data archive's builder");
        return;
    }
    s.way = Way::Build;
}

void prepare(const CfgFile& cfg, Jvm& jvm, const std::string& cacheBase,
             const std::string& cacheRelative) {
    State& s = state();
    Runtime runtime;
    std::string environment, why;
    if (!archiveWanted(cfg, cacheBase)
            || !archiveCapableRuntime(jvm.getPath(), runtime)
            || archiveRuledOut(cfg, environment)) {
        return;
    }
    s.executable = SysInfo::getProcessModulePath();
    if (!s.store.open(cacheBase, cacheRelative, s.executable, why)) {
        LOG_TRACE("No class data archive: the archive directory is not"
                  " usable: " << why);
        return;
    }
    s.feature = runtime.feature;
    s.digest = ArchiveStore::digest(cfg, runtime.home, runtime.release,
                                    environment);
    if (s.way == Way::Build) {
        s.dumpPending = isDumpPending(s);
        s.cfg = cfg;
        // With classes linked ahead of time, every class of the archive is
        // loaded at start: the runtime's whole list made a Hello World take
        // 64.7 ms against 53.3 ms with the recorded classes alone (25.0.3),
        // and javac no faster.
        if (!ArchiveOptions::linksAheadOfTime(runtime.feature)) {
            s.runtimeList = readSmallFile(
                    FileUtils::combinePath(runtime.home, "lib/classlist"));
        }
        return;
    }
    const StringArray options = chooseWay(s);
    if (s.way != Way::Nothing) {
        try {
            SysInfo::atExit(finish);
        } catch (...) {
            LOG_TRACE("No class data archive: no exit handler");
            s.way = Way::Nothing;
            return;
        }
    }
    jvm.insertOptions(options);
}

bool isBuilder() {
    return state().way == Way::Build;
}

Jvm* createDumpJvm(const Jvm& jvm) {
    const State& s = state();
    if (!s.dumpPending) {
        LOG_TRACE("The class data archive's builder has nothing to do");
        return nullptr;
    }
    const StringArray& args = jvm.getArguments();
    std::unique_ptr<Jvm> dump(new Jvm());
    dump->setPath(jvm.getPath());
    for (std::size_t i = 0; i != jvm.getOptionsEnd(); ++i) {
        if (!tstrings::startsWith(args[i], "-splash:")) {
            dump->addArgument(args[i]);
        }
    }
    const long pid = SysInfo::getProcessId();
    for (const std::string& option : ArchiveOptions::dumpOptions(
                 s.feature,
                 s.store.path(s.store.processName(s.digest, pid, ".list")),
                 s.store.path(s.store.processName(s.digest, pid, ".tmp")))) {
        dump->addArgument(option);
    }
    for (std::size_t i = jvm.getOptionsEnd();
         i != jvm.getApplicationArgumentsPos(); ++i) {
        dump->addArgument(args[i]);
    }
    return dump.release();
}

void build(const std::function<void()>& startDump) {
    const State& s = state();
    ArchiveBuilder::build(s.store, s.digest, s.cfg, s.runtimeList,
                          [&startDump] {
                              RuntimeReexec::preventReexecution();
                              startDump();
                          });
}

bool isArchiveOption(const std::string& word) {
    return ArchiveOptions::isArchiveOption(word);
}

} // namespace ClassDataArchive
