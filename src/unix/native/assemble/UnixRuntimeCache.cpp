#include "RuntimeCache.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileTimes.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Interrupts.h"

namespace {

using FileUtils::combinePath;

const char keyFile[] = "key";
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
    FileSystem::makeDirs(dir);
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
    if (present && !isWhole(entry)) {
        removeTree(entry);
    }
    if (!present || !isWhole(entry)) {
        NewEntry made(dir);
        link(combinePath(made.path, homeDir));
        FileSystem::writeFile(combinePath(made.path, keyFile), keyText, 0644);
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
