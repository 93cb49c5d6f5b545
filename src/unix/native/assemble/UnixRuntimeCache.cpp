#include "RuntimeCache.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileTimes.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Interrupts.h"

namespace {

using FileUtils::combinePath;

const char keyFile[] = "key";
const char listingFile[] = "listing";
const char homeDir[] = "home";
const std::size_t entriesKept = 3;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    VT_THROW(tstrings::any() << what << " \"" << path << "\": "
                             << lastCRTError());
}

bool isEntryName(const std::string& name) {
    return name.size() == 16
            && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// An entry is whole when it holds its key and a Java home; an entry left
// half made (by a crash, or by hand) is removed and made again.
bool isWhole(const std::string& entry) {
    return FileSystem::kindOf(combinePath(entry, keyFile))
                   == FileSystem::Kind::File
            && FileSystem::kindOf(combinePath(entry, std::string(homeDir)
                                              + "/release"))
                   == FileSystem::Kind::File;
}

// The CRC-32 of the file at `path`, read in pieces.
unsigned long crcOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail("Cannot read", path);
    }
    std::vector<unsigned char> buffer(1 << 20);
    uLong crc = ::crc32(0L, Z_NULL, 0);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            fail("Cannot read", path);
        }
        if (n == 0) {
            break;
        }
        crc = ::crc32(crc, buffer.data(), static_cast<uInt>(n));
    }
    ::close(fd);
    return crc;
}

// Adds a line for each entry under `root`/`rel` to `lines`.
void listTree(const std::string& root, const std::string& rel,
              StringArray& lines) {
    for (const std::string& name : FileSystem::list(combinePath(root, rel))) {
        const std::string relPath = rel.empty() ? name : rel + "/" + name;
        const std::string path = combinePath(root, relPath);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            fail("Cannot read", path);
        }
        char mode[16];
        std::snprintf(mode, sizeof(mode), " %04o",
                      static_cast<unsigned>(st.st_mode & 07777));
        tstrings::any line;
        line << relPath << mode;
        if (S_ISDIR(st.st_mode)) {
            lines.push_back((line << " folder").str());
            listTree(root, relPath, lines);
        } else if (S_ISREG(st.st_mode)) {
            lines.push_back((line << " file " << static_cast<long long>(
                    st.st_size) << " " << crcOf(path)).str());
        } else if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(static_cast<std::size_t>(st.st_size) + 1);
            const ssize_t n = ::readlink(path.c_str(), target.data(),
                                         target.size());
            if (n < 0) {
                fail("Cannot read the link", path);
            }
            lines.push_back((line << " link " << std::string(
                    target.data(), static_cast<std::size_t>(n))).str());
        } else {
            lines.push_back((line << " other").str());
        }
    }
}

// The listing of the Java home `home`: a line for each entry, in order.
std::string listingOf(const std::string& home) {
    StringArray lines;
    listTree(home, std::string(), lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// True when the entry is a real folder whose home still matches the
// listing made when it was linked.
bool matchesListing(const std::string& entry) {
    return !FileSystem::isLink(entry)
            && FileSystem::kindOf(combinePath(entry, listingFile))
                       == FileSystem::Kind::File
            && FileSystem::readFile(combinePath(entry, listingFile))
                       == listingOf(combinePath(entry, homeDir));
}

// Throws when the folder `path` is not to be trusted with the cache.
void checkTrusted(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        fail("Cannot read", path);
    }
    CacheFolderFacts facts;
    facts.isLink = S_ISLNK(st.st_mode);
    facts.isFolder = S_ISDIR(st.st_mode);
    facts.owner = static_cast<unsigned>(st.st_uid);
    facts.mode = static_cast<unsigned>(st.st_mode & 07777);
    const std::string why = whyUntrusted(facts,
                                         static_cast<unsigned>(::geteuid()));
    if (!why.empty()) {
        VT_THROW(tstrings::any() << "the folder \"" << path << "\" is not "
                 "the user's alone: " << why);
    }
}

long long usedTime(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return 0;
    }
    const timespec time = FileTimes::modified(st);
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

void markUsed(const std::string& entry) {
    if (::utimensat(AT_FDCWD, entry.c_str(), nullptr, 0) != 0) {
        fail("Cannot mark the runtime cache's entry as used:", entry);
    }
}

// Removes the entries beyond the newest few and whatever a crashed
// assembly left half made (the lock is held: nothing else is at work).
void evict(const std::string& dir, const std::string& current) {
    std::vector<CacheEntryAge> entries;
    for (const std::string& name : FileSystem::list(dir)) {
        if (isEntryName(name)) {
            entries.push_back({name, usedTime(combinePath(dir, name))});
        } else if (tstrings::startsWith(name, ".new-")) {
            removeTree(combinePath(dir, name));
        }
    }
    for (const std::string& name :
         entriesToEvict(entries, current, entriesKept)) {
        removeTree(combinePath(dir, name));
    }
}

// A folder for a new entry, removed unless it is kept.
class NewEntry {
public:
    explicit NewEntry(const std::string& dir) {
        std::string pattern = combinePath(dir, ".new-XXXXXX");
        if (::mkdtemp(&pattern[0]) == nullptr) {
            fail("Cannot create a folder in the runtime cache", dir);
        }
        path = pattern;
    }
    ~NewEntry() {
        if (!path.empty()) {
            removeTree(path);
        }
    }
    NewEntry(const NewEntry&) = delete;
    NewEntry& operator=(const NewEntry&) = delete;

    void keepAs(const std::string& to) {
        if (::rename(path.c_str(), to.c_str()) != 0) {
            fail("Cannot move a runtime into the runtime cache at", to);
        }
        path.clear();
    }

    std::string path;
};

} // namespace

RuntimeCache::RuntimeCache(const std::string& dir) : dir(dir), lockFd(-1) {
    // The cache's own folders are made for the user alone, whatever the
    // umask; the folders above them are the system's cache location.
    const std::string parent = FileUtils::dirname(dir);
    FileSystem::makeDirs(FileUtils::dirname(parent));
    for (const std::string& folder : {parent, dir}) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            fail("Cannot create the folder", folder);
        }
        checkTrusted(folder);
    }
    const std::string lock = combinePath(dir, ".lock");
    lockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        fail("Cannot open the runtime cache's lock", lock);
    }
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(lockFd);
            errno = error;
            fail("Cannot lock the runtime cache's lock", lock);
        }
        try {
            Interrupts::check();
        } catch (...) {
            ::close(lockFd);
            throw;
        }
    }
}

RuntimeCache::~RuntimeCache() {
    // Closing the file releases the lock.
    ::close(lockFd);
}

std::string RuntimeCache::runtime(
        const std::string& keyText,
        const std::function<void(const std::string&)>& link,
        const std::string& fallback) {
    const std::string name = runtimeEntryName(keyText);
    const std::string entry = combinePath(dir, name);
    const bool present = FileSystem::kindOf(entry) != FileSystem::Kind::Missing
            || FileSystem::isLink(entry);
    if (present && isWhole(entry)
            && FileSystem::readFile(combinePath(entry, keyFile)) != keyText) {
        link(fallback);
        return fallback;
    }
    // An entry left half made (by a crash, or by hand) or changed since it
    // was linked is removed and made again.
    if (present && (!isWhole(entry) || !matchesListing(entry))) {
        removeTree(entry);
    }
    if (!present || !isWhole(entry)) {
        NewEntry made(dir);
        const std::string home = combinePath(made.path, homeDir);
        link(home);
        FileSystem::writeFile(combinePath(made.path, keyFile), keyText, 0644);
        FileSystem::writeFile(combinePath(made.path, listingFile),
                              listingOf(home), 0644);
        made.keepAs(entry);
    }
    markUsed(entry);
    evict(dir, name);
    return combinePath(entry, homeDir);
}

std::string RuntimeCache::identityOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return "missing";
    }
    const timespec time = FileTimes::modified(st);
    return (tstrings::any() << static_cast<unsigned long long>(st.st_dev)
            << ":" << static_cast<unsigned long long>(st.st_ino) << ":"
            << static_cast<long long>(st.st_size) << ":"
            << static_cast<long long>(time.tv_sec) << "."
            << static_cast<long>(time.tv_nsec)).str();
}
