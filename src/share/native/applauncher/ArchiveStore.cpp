#include "ArchiveStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <set>

#include "FileUtils.h"
#include "JarManifest.h"
#include "SysInfo.h"

namespace {

const std::size_t readLimit = 64u << 20;

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

    void addFile(const std::string& path) {
        add(path);
        add(FileUtils::fileIdentity(path));
    }

    std::string hex() const {
        static const char digits[] = "0123456789abcdef";
        std::string text(16, '0');
        for (std::size_t i = 0; i != text.size(); ++i) {
            text[text.size() - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
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

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The names in the directory `fd` (or at `path` when `fd` is negative),
// "." and ".." left out, sorted; empty when it cannot be read.
StringArray listDirectory(int fd, const std::string& path = std::string()) {
    StringArray names;
    const int copy = fd >= 0 ? ::dup(fd) : -1;
    const std::unique_ptr<DIR, DirCloser> handle(
            fd >= 0 ? (copy >= 0 ? ::fdopendir(copy) : nullptr)
                    : ::opendir(path.c_str()));
    if (!handle) {
        if (copy >= 0) {
            ::close(copy);
        }
        return names;
    }
    ::rewinddir(handle.get());
    while (const dirent* entry = ::readdir(handle.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isAlive(long pid) {
    return pid > 0
            && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool isDigits(const std::string& text) {
    return !text.empty()
            && std::all_of(text.begin(), text.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
}

// A file of this launcher: "L-<digest>.<rest>", where the rest may end in
// ".<pid>.<kind>" for a file of a running process.
struct FileName {
    std::string digest;
    long pid = 0;
    std::string kind;
};

bool parseName(const std::string& name, const std::string& launcherId,
               FileName& parsed) {
    const std::string prefix = launcherId + "-";
    const std::size_t digestEnd = prefix.size() + 16;
    if (!tstrings::startsWith(name, prefix) || name.size() <= digestEnd
            || name[digestEnd] != '.') {
        return false;
    }
    parsed.digest = name.substr(prefix.size(), 16);
    const std::string::size_type lastDot = name.rfind('.');
    parsed.kind = name.substr(lastDot + 1);
    parsed.pid = 0;
    if (lastDot > digestEnd) {
        const std::string::size_type pidDot = name.rfind('.', lastDot - 1);
        const std::string pid = name.substr(pidDot + 1, lastDot - pidDot - 1);
        if (isDigits(pid) && pid.size() < 10) {
            parsed.pid = std::stol(pid);
        }
    }
    return true;
}

bool isWildcard(const std::string& entry) {
    return entry == "*" || tstrings::endsWith(entry, "/*");
}

bool isJarName(const std::string& name) {
    return tstrings::endsWith(name, ".jar") || tstrings::endsWith(name, ".JAR");
}

// The jars of a wildcard class path entry, as the runtime expands it.
StringArray wildcardJars(const std::string& entry) {
    const std::string dir = entry.substr(0, entry.size() - 1);
    StringArray jars;
    for (const std::string& name :
         listDirectory(-1, dir.empty() ? std::string(".") : dir)) {
        if (isJarName(name)) {
            jars.push_back(dir + name);
        }
    }
    return jars;
}

// The class path the runtime uses: the configured one, else (without a
// main jar) the CLASSPATH variable's.
StringArray effectiveClassPath(const CfgFile& cfg) {
    StringArray entries = ArchiveOptions::collectPaths(cfg).classPath;
    if (entries.empty()
            && cfg.lastValue(SectionName::Application, PropertyName::mainjar).empty()) {
        tstrings::split(entries,
                        SysInfo::getEnvVariable(std::nothrow, "CLASSPATH", ""),
                        std::string(1, FileUtils::pathSeparator),
                        tstrings::SPLIT_EXCLUDE_EMPTY);
    }
    return entries;
}

// The class path jars with wildcards expanded, and the main jar.
StringArray rootJars(const CfgFile& cfg) {
    StringArray jars;
    for (const std::string& entry : effectiveClassPath(cfg)) {
        if (isWildcard(entry)) {
            const StringArray more = wildcardJars(entry);
            jars.insert(jars.end(), more.begin(), more.end());
        } else {
            jars.push_back(entry);
        }
    }
    const std::string mainJar = cfg.lastValue(SectionName::Application, PropertyName::mainjar);
    if (!mainJar.empty()) {
        jars.push_back(mainJar);
    }
    return jars;
}

// A Class-Path entry of the manifest of `jar` as a path.
std::string resolveEntry(const std::string& jar, std::string entry) {
    if (tstrings::startsWith(entry, "file:")) {
        entry = entry.substr(5);
    }
    return !entry.empty() && FileUtils::isDirSeparator(entry[0])
            ? entry
            : FileUtils::combinePath(FileUtils::dirname(jar), entry);
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool ArchiveStore::open(const std::string& base, const std::string& relative,
                        const std::string& executable, std::string& why) {
    const std::string sub = FileUtils::combinePath(
            relative, FileUtils::basename(executable) + ".cds");
    dirPath = FileUtils::combinePath(base, sub);
    if (dirPath.find(FileUtils::pathSeparator) != std::string::npos) {
        why = "its path \"" + dirPath + "\" holds a colon";
        return false;
    }
    dir = PrivateFiles::openDirectory(base, sub, true, why);
    Digest id;
    id.add(executable);
    launcherId = id.hex();
    return dir.valid();
}

std::string ArchiveStore::name(const std::string& digest,
                               const std::string& suffix) const {
    return launcherId + "-" + digest + suffix;
}

std::string ArchiveStore::processName(const std::string& digest, long pid,
                                      const std::string& suffix) const {
    return name(digest, "." + std::to_string(pid) + suffix);
}

std::string ArchiveStore::path(const std::string& name) const {
    return FileUtils::combinePath(dirPath, name);
}

bool ArchiveStore::exists(const std::string& name) const {
    struct stat st;
    return ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool ArchiveStore::read(const std::string& name, std::string& text) const {
    std::string why;
    const PrivateFiles::FileDescriptor file =
            PrivateFiles::openFile(dir.get(), name, O_RDONLY, 0, why);
    text.clear();
    char buffer[65536];
    ssize_t count = 0;
    while (file.valid() && text.size() < readLimit
           && (count = ::read(file.get(), buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return file.valid() && count == 0;
}

bool ArchiveStore::write(const std::string& name,
                         const std::string& text) const {
    const std::string temporary =
            name + "." + std::to_string(SysInfo::getProcessId()) + ".new";
    std::string why;
    bool written = false;
    {
        const PrivateFiles::FileDescriptor file = PrivateFiles::openFile(
                dir.get(), temporary, O_WRONLY | O_CREAT | O_TRUNC, 0600, why);
        std::size_t done = 0;
        while (file.valid() && done < text.size()) {
            const ssize_t n = ::write(file.get(), text.data() + done,
                                      text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        written = file.valid() && done == text.size()
                && ::fsync(file.get()) == 0;
    }
    if (written && rename(temporary, name)) {
        return true;
    }
    remove(temporary);
    return false;
}

bool ArchiveStore::rename(const std::string& from,
                          const std::string& to) const {
    return ::renameat(dir.get(), from.c_str(), dir.get(), to.c_str()) == 0;
}

void ArchiveStore::remove(const std::string& name) const {
    ::unlinkat(dir.get(), name.c_str(), 0);
}

void ArchiveStore::sync() const {
    ::fsync(dir.get());
}

PrivateFiles::FileDescriptor ArchiveStore::lock(const std::string& name) const {
    std::string why;
    PrivateFiles::FileDescriptor file = PrivateFiles::openFile(
            dir.get(), name, O_RDWR | O_CREAT, 0600, why);
    if (file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        file.reset();
    }
    return file;
}

bool ArchiveStore::sweep(const std::string& digest) const {
    bool crashed = false;
    for (const std::string& entry : listDirectory(dir.get())) {
        FileName parsed;
        if (!parseName(entry, launcherId, parsed) || parsed.pid == 0
                || isAlive(parsed.pid)) {
            continue;
        }
        crashed = crashed || (parsed.kind == "use" && parsed.digest == digest);
        remove(entry);
    }
    return crashed;
}

bool ArchiveStore::lockedDigest(int fd, std::string& digest) const {
    struct stat given;
    if (::fstat(fd, &given) != 0) {
        return false;
    }
    for (const std::string& entry : listDirectory(dir.get())) {
        FileName parsed;
        struct stat st;
        if (parseName(entry, launcherId, parsed) && parsed.pid == 0
                && parsed.kind == "lock"
                && ::fstatat(dir.get(), entry.c_str(), &st,
                             AT_SYMLINK_NOFOLLOW) == 0
                && st.st_dev == given.st_dev && st.st_ino == given.st_ino) {
            digest = parsed.digest;
            return true;
        }
    }
    return false;
}

void ArchiveStore::removeOtherDigests(const std::string& digest) const {
    for (const std::string& entry : listDirectory(dir.get())) {
        FileName parsed;
        if (parseName(entry, launcherId, parsed) && parsed.digest != digest
                && !(parsed.pid != 0 && isAlive(parsed.pid))) {
            remove(entry);
        }
    }
}

std::string ArchiveStore::digest(const CfgFile& cfg,
                                 const std::string& javaHome,
                                 const ArchiveOptions::RuntimeRelease& release,
                                 const std::string& environment) {
    Digest digest;
    digest.add("static archive 1");
    digest.add(javaHome);
    digest.add(release.javaVersion);
    digest.add(release.runtimeVersion);
    for (const char* file : {"lib/modules", "lib/server/libjvm.so",
                             "lib/server/libjvm.dylib",
                             "lib/server/classes.jsa", "lib/classlist"}) {
        digest.addFile(FileUtils::combinePath(javaHome, file));
    }
    const ArchiveOptions::AppPaths paths = ArchiveOptions::collectPaths(cfg);
    digest.add("-classpath");
    for (const std::string& entry : effectiveClassPath(cfg)) {
        if (isWildcard(entry)) {
            digest.add(entry);
            for (const std::string& jar : wildcardJars(entry)) {
                digest.addFile(jar);
            }
        } else {
            digest.addFile(entry.empty() ? "." : entry);
        }
    }
    digest.add("--module-path");
    for (const std::string& entry : paths.modulePath) {
        digest.addFile(entry);
        for (const std::string& name : listDirectory(-1, entry)) {
            digest.addFile(FileUtils::combinePath(entry, name));
        }
    }
    digest.add("-jar");
    const std::string mainJar = cfg.lastValue(SectionName::Application, PropertyName::mainjar);
    if (!mainJar.empty()) {
        digest.addFile(mainJar);
    }
    digest.add(cfg.lastValue(SectionName::Application, PropertyName::mainmodule));
    digest.add(cfg.lastValue(SectionName::Application, PropertyName::mainclass));
    digest.add("java-options");
    for (const std::string& option :
         cfg.values(SectionName::JavaOptions, PropertyName::javaOptions)) {
        digest.add(option);
    }
    digest.add(environment);
    return digest.hex();
}

bool ArchiveStore::dependencies(const CfgFile& cfg, std::string& text) {
    text.clear();
    StringArray pending = rootJars(cfg);
    std::set<std::string> seen(pending.begin(), pending.end());
    while (!pending.empty()) {
        const std::string jar = pending.back();
        pending.pop_back();
        std::string manifest;
        if (!isRegularFile(jar)) {
            continue;
        }
        if (!JarManifest::read(jar, manifest)) {
            return false;
        }
        for (const std::string& entry : JarManifest::classPath(manifest)) {
            const std::string dep = resolveEntry(jar, entry);
            if (seen.insert(dep).second && seen.size() < 10000) {
                text += FileUtils::fileIdentity(dep) + "\t" + dep + "\n";
                pending.push_back(dep);
            }
        }
    }
    return true;
}

bool ArchiveStore::dependenciesUnchanged(const std::string& text) {
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string::size_type tab = line.find('\t');
        if (tab == std::string::npos
                || FileUtils::fileIdentity(line.substr(tab + 1))
                           != line.substr(0, tab)) {
            return false;
        }
    }
    return true;
}
