#include "ClassDataArchive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FileUtils.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

// The first four bytes of a dynamic archive. The runtime (17 and 25 as
// measured) removes the file, creates it anew, writes every region and only
// then the header, in the machine's byte order: a dump that stopped half-way
// has no magic yet. Because the file is created anew, the lock is a file of
// its own.
const std::uint32_t dynamicArchiveMagic = 0xf00baba8;

// The application's files in its cache directory, named after the digest:
//   cds-<digest>-<size>.jsa   an archive of exactly <size> bytes
//   cds-<digest>.lock         locked by the start that writes the archive
//   cds-<digest>.<pid>.tmp    the archive being written by process <pid>
// Nothing else in the directory is ever touched.
const char filePrefix[] = "cds-";
const std::size_t prefixLength = sizeof(filePrefix) - 1;
const std::size_t digestLength = 16;

// A runtime whose dump does not fit ends the process with status 1 after the
// application has finished, so a dump is asked for only with this much room
// (ten times the largest archive measured, javac's).
const unsigned long long minimumFreeBytes = 128ull << 20;

// The variables from which the runtime takes options of its own.
const char* const optionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                       "_JAVA_OPTIONS"};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }

private:
    int fd;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// The names in the directory, "." and ".." left out, sorted; empty when it
// cannot be read or is no directory.
StringArray listDirectory(const std::string& dir) {
    StringArray names;
    const std::unique_ptr<DIR, DirCloser> handle(::opendir(dir.c_str()));
    if (handle) {
        while (const dirent* entry = ::readdir(handle.get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::string text;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    char buffer[4096];
    ssize_t count = 0;
    while (fd.valid() && text.size() < (1u << 20)
           && (count = ::read(fd.get(), buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool hasRoomForDump(const std::string& dir) {
    struct statvfs fs;
    return ::statvfs(dir.c_str(), &fs) == 0
            && static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize
                    >= minimumFreeBytes;
}

// Creates the directory and its missing parents with mode 0700.
bool makeDirectories(const std::string& dir) {
    if (dir.empty() || isDirectory(dir)) {
        return !dir.empty();
    }
    const std::string parent = FileUtils::dirname(dir);
    if (!parent.empty() && parent != dir && !isDirectory(parent)
            && !makeDirectories(parent)) {
        return false;
    }
    return ::mkdir(dir.c_str(), 0700) == 0 || isDirectory(dir);
}

// 64-bit FNV-1a.
class Digest {
public:
    /// The bytes of `field` and a zero byte, so that neighbouring fields
    /// cannot run into each other.
    void add(const std::string& field) {
        for (const char c : field) {
            mix(static_cast<unsigned char>(c));
        }
        mix(0);
    }

    /// The path with its size and modification time, or a mark when it
    /// cannot be examined.
    void addFile(const std::string& path) {
        add(path);
        struct stat st;
        if (::stat(path.empty() ? "." : path.c_str(), &st) == 0) {
            add(std::to_string(static_cast<long long>(st.st_size)));
            add(std::to_string(static_cast<long long>(st.st_mtime)));
        } else {
            add("-");
        }
    }

    std::string hex() const {
        static const char digits[] = "0123456789abcdef";
        std::string text(digestLength, '0');
        for (std::size_t i = 0; i != digestLength; ++i) {
            text[digestLength - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
        }
        return text;
    }

private:
    void mix(unsigned char c) {
        hash ^= c;
        hash *= 1099511628211ull;
    }

    std::uint64_t hash = 14695981039346656037ull;
};

const StringArray& values(const CfgFile& cfg,
                          const CfgFile::SectionId& section,
                          const CfgFile::PropertyId& property) {
    static const StringArray none;
    const CfgFile::Properties& properties = cfg.getProperties(section);
    const CfgFile::Properties::const_iterator it = properties.find(property);
    return it == properties.end() ? none : it->second;
}

std::string lastValue(const CfgFile& cfg, const CfgFile::PropertyId& property) {
    const StringArray& list = values(cfg, SectionName::Application, property);
    return list.empty() ? std::string() : list.back();
}

const StringArray& javaOptions(const CfgFile& cfg) {
    return values(cfg, SectionName::JavaOptions, PropertyName::javaOptions);
}

struct AppPaths {
    StringArray classPath;
    StringArray modulePath;
};

// The value of a path option among the java options: "-cp" and the next
// option, or "--class-path=..."; false when `options[i]` is not `name`.
bool optionValue(const StringArray& options, std::size_t i,
                 const std::string& name, std::string& value) {
    if (options[i] == name && i + 1 < options.size()) {
        value = options[i + 1];
        return true;
    }
    if (tstrings::startsWith(options[i], name + "=")) {
        value = options[i].substr(name.size() + 1);
        return true;
    }
    return false;
}

void addEntries(StringArray& out, const std::string& pathList) {
    tstrings::split(out, pathList, std::string(1, FileUtils::pathSeparator),
                    tstrings::SPLIT_ALL);
}

AppPaths collectPaths(const CfgFile& cfg) {
    AppPaths paths;
    for (const std::string& v :
         values(cfg, SectionName::Application, PropertyName::classpath)) {
        addEntries(paths.classPath, v);
    }
    for (const std::string& v :
         values(cfg, SectionName::Application, PropertyName::modulepath)) {
        addEntries(paths.modulePath, v);
    }
    const StringArray& options = javaOptions(cfg);
    for (std::size_t i = 0; i != options.size(); ++i) {
        std::string value;
        for (const char* name : {"-cp", "-classpath", "--class-path"}) {
            if (optionValue(options, i, name, value)) {
                addEntries(paths.classPath, value);
            }
        }
        for (const char* name : {"-p", "--module-path"}) {
            if (optionValue(options, i, name, value)) {
                addEntries(paths.modulePath, value);
            }
        }
    }
    return paths;
}

// The blank-separated words of an options variable; quotes are dropped,
// so that a quoted option still starts with its name.
StringArray words(const std::string& text) {
    StringArray result;
    std::string word;
    for (const char c : text + ' ') {
        if (c == '"' || c == '\'') {
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty()) {
                result.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    return result;
}

// True, with a trace, when an option of the configuration or of the
// environment, or a class path directory that is not empty, rules the
// archive out. `environmentOptions` receives the variables' texts.
bool archiveRuledOut(const CfgFile& cfg, std::string& environmentOptions) {
    StringArray options = javaOptions(cfg);
    for (const char* name : optionVariables) {
        const std::string value =
                SysInfo::getEnvVariable(std::nothrow, name, "");
        environmentOptions += std::string(name) + "=" + value + "\n";
        const StringArray more = words(value);
        options.insert(options.end(), more.begin(), more.end());
    }
    for (const std::string& option : options) {
        if (ClassDataArchive::precludesArchive(option)) {
            LOG_TRACE("No class data archive: the option \"" << option
                      << "\" manages sharing or rules a dump out");
            return true;
        }
    }
    // The runtime refuses to write an archive, or to use one, when a class
    // path directory holds anything.
    for (const std::string& entry : collectPaths(cfg).classPath) {
        const std::string dir = entry.empty() ? "." : entry;
        if (isDirectory(dir) && !listDirectory(dir).empty()) {
            LOG_TRACE("No class data archive: the class path directory \""
                      << dir << "\" is not empty");
            return true;
        }
    }
    return false;
}

struct Runtime {
    std::string home;
    ClassDataArchive::RuntimeRelease release;
    int feature = 0;
};

// The runtime behind the launcher library, when it can write and use a
// dynamic archive: version 13 or later, with its base archive.
bool archiveCapableRuntime(const std::string& jliPath, Runtime& runtime) {
    const std::unique_ptr<char, FreeDeleter> real(
            ::realpath(jliPath.c_str(), nullptr));
    runtime.home = real ? ClassDataArchive::javaHomeOfLibrary(real.get())
                        : std::string();
    if (!runtime.home.empty()) {
        runtime.release = ClassDataArchive::parseRelease(
                readFile(FileUtils::combinePath(runtime.home, "release")));
        runtime.feature =
                ClassDataArchive::featureVersion(runtime.release.javaVersion);
    }
    if (runtime.feature < 13) {
        LOG_TRACE("No class data archive: the runtime of \"" << jliPath
                  << "\" has no release file with a JAVA_VERSION of 13 or"
                     " later");
        return false;
    }
    if (!isRegularFile(FileUtils::combinePath(runtime.home,
                                              "lib/server/classes.jsa"))) {
        LOG_TRACE("No class data archive: the runtime in \"" << runtime.home
                  << "\" has no base archive lib/server/classes.jsa");
        return false;
    }
    return true;
}

bool isDigits(const std::string& text) {
    return !text.empty()
            && std::all_of(text.begin(), text.end(), [](char c) {
                   return c >= '0' && c <= '9';
               });
}

enum class FileKind { Other, Archive, Lock, Temporary };

// What an entry of the cache directory is; `digest` and `size` receive the
// parts of the name.
FileKind classify(const std::string& name, std::string& digest,
                  unsigned long long& size) {
    const std::size_t head = prefixLength + digestLength;
    if (name.size() <= head || !tstrings::startsWith(name, filePrefix)) {
        return FileKind::Other;
    }
    digest = name.substr(prefixLength, digestLength);
    if (!std::all_of(digest.begin(), digest.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        })) {
        return FileKind::Other;
    }
    const std::string rest = name.substr(head);
    if (rest == ".lock") {
        return FileKind::Lock;
    }
    const std::string middle =
            rest.size() > 5 ? rest.substr(1, rest.size() - 5) : std::string();
    if (isDigits(middle)) {
        if (rest[0] == '.' && tstrings::endsWith(rest, ".tmp")) {
            return FileKind::Temporary;
        }
        if (rest[0] == '-' && tstrings::endsWith(rest, ".jsa")) {
            size = std::strtoull(middle.c_str(), nullptr, 10);
            return FileKind::Archive;
        }
    }
    return FileKind::Other;
}

// The size of the regular file at `path` when it starts like a dynamic
// archive; 0 otherwise.
unsigned long long archiveSize(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    std::uint32_t magic = 0;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)
            || ::pread(fd.get(), &magic, sizeof(magic), 0) != sizeof(magic)
            || magic != dynamicArchiveMagic) {
        return 0;
    }
    return static_cast<unsigned long long>(st.st_size);
}

// The whole archive of the digest in the directory, or empty. Files of the
// digest that are not whole archives (cut short, overwritten) are deleted:
// the runtime could crash on them.
std::string findArchive(const std::string& cacheDir,
                        const std::string& digest) {
    for (const std::string& name : listDirectory(cacheDir)) {
        std::string fileDigest;
        unsigned long long size = 0;
        if (classify(name, fileDigest, size) != FileKind::Archive
                || fileDigest != digest) {
            continue;
        }
        const std::string path = FileUtils::combinePath(cacheDir, name);
        if (size != 0 && archiveSize(path) == size) {
            return path;
        }
        LOG_TRACE("Class data archive \"" << path
                  << "\" is not a whole archive; deleted");
        ::unlink(path.c_str());
    }
    return std::string();
}

// Removes the files of other digests and unfinished dumps of this one; only
// called by the holder of this digest's lock.
void removeOtherFiles(const std::string& cacheDir, const std::string& digest) {
    for (const std::string& name : listDirectory(cacheDir)) {
        std::string fileDigest;
        unsigned long long size = 0;
        const FileKind kind = classify(name, fileDigest, size);
        if (kind != FileKind::Other
                && (fileDigest != digest || kind == FileKind::Temporary)) {
            LOG_TRACE("Removing \"" << name << "\" from \"" << cacheDir
                      << "\"");
            ::unlink(FileUtils::combinePath(cacheDir, name).c_str());
        }
    }
}

// A dump the runtime makes at exit, and the lock that keeps other starts of
// the application from making one at the same time.
struct PendingDump {
    explicit PendingDump(int lockFd) : lock(lockFd) {}

    FileDescriptor lock;
    std::string temporaryPath;
    std::string archiveStem;
};

PendingDump* pendingDump = nullptr;

// Runs at process exit, after the runtime has written its dump: moves a
// whole archive into place under its size, deletes anything else, and lets
// the lock go.
void finishDump() {
    const std::unique_ptr<PendingDump> dump(pendingDump);
    pendingDump = nullptr;
    if (!dump) {
        return;
    }
    try {
        const unsigned long long size = archiveSize(dump->temporaryPath);
        const std::string path =
                dump->archiveStem + "-" + std::to_string(size) + ".jsa";
        if (size != 0
                && ::rename(dump->temporaryPath.c_str(), path.c_str()) == 0) {
            LOG_TRACE("Class data archive written: \"" << path << "\"");
            return;
        }
        ::unlink(dump->temporaryPath.c_str());
        LOG_TRACE("No class data archive was written");
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

// The option that writes the archive at exit, or the one that uses it when
// another start has just finished writing it; empty when the directory
// cannot take a dump or another start is writing one.
std::string dumpOption(const std::string& cacheDir, const std::string& digest) {
    const std::string stem = FileUtils::combinePath(cacheDir,
                                                    filePrefix + digest);
    if (pendingDump != nullptr) {
        return std::string();
    }
    if (!makeDirectories(cacheDir)) {
        LOG_TRACE("No class data archive: cannot create the directory \""
                  << cacheDir << "\"");
        return std::string();
    }
    if (!hasRoomForDump(cacheDir)) {
        LOG_TRACE("No class data archive: too little free space in \""
                  << cacheDir << "\"");
        return std::string();
    }
    std::unique_ptr<PendingDump> dump(new PendingDump(::open(
            (stem + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)));
    if (!dump->lock.valid()
            || ::flock(dump->lock.get(), LOCK_EX | LOCK_NB) != 0) {
        LOG_TRACE("No class data archive: \"" << cacheDir << "\" is not"
                  " writable or another start is writing the archive");
        return std::string();
    }
    const std::string archive = findArchive(cacheDir, digest);
    if (!archive.empty()) {
        return "-XX:SharedArchiveFile=" + archive;
    }
    removeOtherFiles(cacheDir, digest);
    dump->temporaryPath = stem + "." + std::to_string(::getpid()) + ".tmp";
    dump->archiveStem = stem;
    const FileDescriptor probe(::open(dump->temporaryPath.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                      0600));
    if (!probe.valid() || std::atexit(finishDump) != 0) {
        LOG_TRACE("No class data archive: cannot create \""
                  << dump->temporaryPath << "\"");
        ::unlink(dump->temporaryPath.c_str());
        return std::string();
    }
    pendingDump = dump.release();
    LOG_TRACE("Class data archive to be written at exit: \""
              << pendingDump->temporaryPath << "\"");
    return "-XX:ArchiveClassesAtExit=" + pendingDump->temporaryPath;
}

// True when the configuration asks for an archive and nothing in the
// launcher's own settings speaks against it.
bool archiveWanted(const CfgFile& cfg, const std::string& cacheDir) {
    const std::string mode = lastValue(cfg, PropertyName::cds);
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
    if (cacheDir.empty()) {
        LOG_TRACE("No class data archive: no cache directory");
        return false;
    }
    return true;
}

// Sharing messages go to standard output: switched off, so that a start
// with an archive prints exactly what one without prints. The aot tag is
// new in 25 and an error before.
std::string quietOption(int feature) {
    return feature >= 25 ? "-Xlog:cds*=off,aot*=off" : "-Xlog:cds*=off";
}

} // namespace

namespace ClassDataArchive {

RuntimeRelease parseRelease(const std::string& text) {
    RuntimeRelease release;
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (std::string line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string::size_type equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (line.compare(0, equals, "JAVA_VERSION") == 0) {
            release.javaVersion = value;
        } else if (line.compare(0, equals, "JAVA_RUNTIME_VERSION") == 0) {
            release.runtimeVersion = value;
        }
    }
    return release;
}

int featureVersion(const std::string& javaVersion) {
    std::string version = javaVersion;
    if (tstrings::startsWith(version, "1.")) {
        version = version.substr(2);
    }
    std::size_t digits = 0;
    while (digits < version.size() && digits < 4 && version[digits] >= '0'
           && version[digits] <= '9') {
        ++digits;
    }
    return digits == 0 ? 0 : std::atoi(version.substr(0, digits).c_str());
}

std::string javaHomeOfLibrary(const std::string& jliPath) {
    if (!tstrings::startsWith(FileUtils::basename(jliPath), "libjli.")) {
        return std::string();
    }
    std::string dir = FileUtils::dirname(jliPath);
    if (FileUtils::basename(dir) == "jli") {
        dir = FileUtils::dirname(dir);
    }
    return FileUtils::basename(dir) == "lib" ? FileUtils::dirname(dir)
                                             : std::string();
}

bool precludesArchive(const std::string& option) {
    static const char* const prefixes[] = {
        "-Xshare", "-Xbootclasspath", "-javaagent", "-agentlib", "-agentpath",
        "--patch-module", "--limit-modules", "--upgrade-module-path",
        "-Djava.system.class.loader=", "-XX:Flags=", "-XX:VMOptionsFile="};
    static const char* const flagWords[] = {
        "Shared", "ArchiveClassesAtExit", "DumpLoadedClassList", "AOT"};
    for (const char* prefix : prefixes) {
        if (tstrings::startsWith(option, prefix)) {
            return true;
        }
    }
    if (tstrings::startsWith(option, "-XX:")) {
        for (const char* word : flagWords) {
            if (option.find(word) != std::string::npos) {
                return true;
            }
        }
    }
    if (option == "-Xlog" || tstrings::startsWith(option, "-Xlog:")) {
        const std::string selection =
                option.substr(5, option.find(':', 6) - 5);
        return selection.size() <= 1
                || selection.find("cds") != std::string::npos
                || selection.find("aot") != std::string::npos
                || selection.find("all") != std::string::npos;
    }
    return false;
}

std::string digest(const CfgFile& cfg, const std::string& javaHome,
                   const RuntimeRelease& release,
                   const std::string& environmentOptions) {
    Digest digest;
    digest.add(javaHome);
    digest.add(release.javaVersion);
    digest.add(release.runtimeVersion);
    const AppPaths paths = collectPaths(cfg);
    digest.add("-classpath");
    for (const std::string& entry : paths.classPath) {
        digest.addFile(entry);
    }
    digest.add("--module-path");
    for (const std::string& entry : paths.modulePath) {
        digest.addFile(entry);
        for (const std::string& name : listDirectory(entry)) {
            digest.addFile(FileUtils::combinePath(entry, name));
        }
    }
    digest.add("-jar");
    const std::string mainJar = lastValue(cfg, PropertyName::mainjar);
    digest.addFile(mainJar);
    digest.add(lastValue(cfg, PropertyName::mainmodule));
    digest.add(lastValue(cfg, PropertyName::mainclass));
    digest.add("java-options");
    for (const std::string& option : javaOptions(cfg)) {
        digest.add(option);
    }
    digest.add(environmentOptions);
    return digest.hex();
}

StringArray prepare(const CfgFile& cfg, const std::string& jliPath,
                    const std::string& cacheDir) {
    std::string environmentOptions;
    Runtime runtime;
    if (!archiveWanted(cfg, cacheDir)
            || !archiveCapableRuntime(jliPath, runtime)
            || archiveRuledOut(cfg, environmentOptions)) {
        return StringArray();
    }
    const std::string name = digest(cfg, runtime.home, runtime.release,
                                    environmentOptions);
    std::string option;
    const std::string archive = findArchive(cacheDir, name);
    if (!archive.empty()) {
        LOG_TRACE("Using class data archive \"" << archive << "\"");
        option = "-XX:SharedArchiveFile=" + archive;
    } else {
        option = dumpOption(cacheDir, name);
    }
    if (option.empty()) {
        return StringArray();
    }
    return StringArray{quietOption(runtime.feature), option};
}

} // namespace ClassDataArchive
