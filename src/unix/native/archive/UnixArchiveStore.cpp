// The archive store on the system: the user's private directory opened
// through PrivateFiles, its files opened without following links, and the
// locks that tell the files of running processes.
#include "ArchiveStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FileUtils.h"
#include "Fnv1a.h"

namespace {

using PrivateFiles::FileDescriptor;

const std::size_t readLimit = 64u << 20;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
    Fnv1a id;
    id.add(executable);
    launcherId = id.hex();
    return dir.valid();
}

std::string ArchiveStore::newId() {
    unsigned char bytes[8];
    const FileDescriptor random(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!random.valid()
            || ::read(random.get(), bytes, sizeof(bytes))
                       != static_cast<ssize_t>(sizeof(bytes))) {
        return std::string();
    }
    std::string id;
    for (const unsigned char b : bytes) {
        id += "0123456789abcdef"[b >> 4];
        id += "0123456789abcdef"[b & 0xf];
    }
    return id;
}

bool ArchiveStore::exists(const std::string& name) const {
    struct stat st;
    return ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool ArchiveStore::read(const std::string& name, std::string& text) const {
    std::string why;
    const FileDescriptor file =
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
    FileName parsed;
    const std::string id = newId();
    const std::string temporary = parseName(name, launcherId, parsed)
            ? processName(parsed.digest, id, ".new")
            : name + "." + id + ".new";
    bool written = false;
    {
        const FileDescriptor file = claim(temporary);
        // The file holds the claimant's id until the text replaces it.
        written = !id.empty() && file.valid()
                && ::ftruncate(file.get(), 0) == 0
                && ::lseek(file.get(), 0, SEEK_SET) == 0
                && PrivateFiles::writeAll(file.get(), text) && ::fsync(file.get()) == 0
                && rename(temporary, name);
    }
    if (!written) {
        remove(temporary);
    }
    return written;
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

bool ArchiveStore::isWholeArchive(const std::string& name) const {
    // The first four bytes of a static archive, in the machine's byte
    // order.
    const std::uint32_t staticArchiveMagic = 0xf00baba2;
    std::string why;
    const FileDescriptor file =
            PrivateFiles::openFile(dir.get(), name, O_RDONLY, 0, why);
    std::uint32_t magic = 0;
    return file.valid()
            && ::pread(file.get(), &magic, sizeof(magic), 0) == sizeof(magic)
            && magic == staticArchiveMagic && ::fsync(file.get()) == 0;
}

unsigned long long ArchiveStore::freeBytes() const {
    struct statvfs fs;
    if (::fstatvfs(dir.get(), &fs) != 0) {
        return 0;
    }
    return static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
}

FileDescriptor ArchiveStore::claim(const std::string& name) const {
    std::string why;
    FileDescriptor file = PrivateFiles::openFile(
            dir.get(), name, O_RDWR | O_CREAT | O_EXCL, 0600, why);
    if (!file.valid()) {
        return file;
    }
    if (!PrivateFiles::writeAll(file.get(), std::to_string(static_cast<long>(::getpid())))
            || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        // Locks cannot be told on this file system (or a process that
        // sweeps holds it for a moment): nobody could tell this file from
        // one left behind.
        remove(name);
        return FileDescriptor();
    }
    // A process that swept in between took the name away.
    struct stat held, named;
    if (::fstat(file.get(), &held) != 0
            || ::fstatat(dir.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW)
                       != 0
            || !sameFile(held, named)) {
        return FileDescriptor();
    }
    return file;
}

bool ArchiveStore::startOver(int fd) {
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

FileDescriptor ArchiveStore::lock(const std::string& name) const {
    std::string why;
    FileDescriptor file = PrivateFiles::openFile(
            dir.get(), name, O_RDWR | O_CREAT, 0600, why);
    if (file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        file.reset();
    }
    return file;
}

FileDescriptor ArchiveStore::lockWithin(const std::string& name,
                                        int milliseconds) const {
    std::string why;
    FileDescriptor file = PrivateFiles::openFile(
            dir.get(), name, O_RDWR | O_CREAT, 0600, why);
    const timespec pause = {0, 5 * 1000 * 1000};
    for (int waited = 0;
         file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0;
         waited += 5) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= milliseconds) {
            file.reset();
        } else {
            ::nanosleep(&pause, nullptr);
        }
    }
    return file;
}

bool ArchiveStore::isHeld(const std::string& name) const {
    const FileDescriptor file(::openat(
            dir.get(), name.c_str(),
            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        return errno != ENOENT;
    }
    // Taken, the lock goes with the descriptor.
    return ::flock(file.get(), LOCK_EX | LOCK_NB) != 0;
}

long ArchiveStore::claimant(const std::string& name) const {
    std::string why;
    const FileDescriptor file =
            PrivateFiles::openFile(dir.get(), name, O_RDONLY, 0, why);
    char text[24] = {0};
    const ssize_t size =
            file.valid() ? ::pread(file.get(), text, sizeof(text) - 1, 0) : -1;
    const std::string id(text, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
    return !id.empty() && id.size() < 20
                    && id.find_first_not_of("0123456789") == std::string::npos
            ? std::atol(text)
            : 0;
}

StringArray ArchiveStore::list() const {
    StringArray names;
    const int copy = ::dup(dir.get());
    const std::unique_ptr<DIR, DirCloser> handle(
            copy >= 0 ? ::fdopendir(copy) : nullptr);
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

bool ArchiveStore::lockedDigest(int fd, std::string& digest) const {
    struct stat given;
    if (::fstat(fd, &given) != 0) {
        return false;
    }
    for (const std::string& entry : list()) {
        FileName parsed;
        struct stat st;
        if (parseName(entry, launcherId, parsed) && parsed.id.empty()
                && parsed.kind == "lock"
                && ::fstatat(dir.get(), entry.c_str(), &st,
                             AT_SYMLINK_NOFOLLOW) == 0
                && sameFile(st, given)) {
            digest = parsed.digest;
            return true;
        }
    }
    return false;
}
