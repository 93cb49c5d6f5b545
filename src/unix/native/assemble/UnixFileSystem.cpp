#include "FileSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "PrivateFiles.h"

namespace FileSystem {

namespace {

[[noreturn]] void fail(const char* what, const std::string& path) {
    VT_THROW(tstrings::any() << what << " \"" << path << "\": "
                             << lastCRTError());
}


void writeAll(int fd, const std::string& text, const std::string& path) {
    if (!PrivateFiles::writeAll(fd, text)) {
        fail("Cannot write", path);
    }
}

std::string readUpTo(const std::string& path, std::size_t limit) {
    std::string text;
    if (!FileUtils::readSmallFile(path, limit, text)) {
        fail("Cannot read", path);
    }
    return text;
}

void copyBytes(int in, int out, const std::string& from,
               const std::string& to) {
    static std::unique_ptr<char[]> buffer(new char[1 << 20]);
    for (;;) {
        Interrupts::check();
        const ssize_t n = ::read(in, buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail("Cannot read", from);
        }
        if (n == 0) {
            return;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.get() + done,
                                      static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                Interrupts::check();
                continue;
            }
            if (w < 0) {
                fail("Cannot write", to);
            }
            done += w;
        }
    }
}

} // namespace

Kind kindOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Kind::Missing
                                                   : Kind::Unreadable;
    }
    return S_ISREG(st.st_mode) ? Kind::File
            : S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
}

std::string whyUnreadable(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return lastCRTError();
    }
    const int wanted = S_ISDIR(st.st_mode) ? R_OK | X_OK : R_OK;
    return ::access(path.c_str(), wanted) == 0 ? std::string()
                                               : lastCRTError();
}

std::size_t nameMax(const std::string& dir) {
    const long value = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    return value > 0 ? static_cast<std::size_t>(value) : NAME_MAX;
}

std::size_t pathMax(const std::string& dir) {
    const long value = ::pathconf(dir.c_str(), _PC_PATH_MAX);
    return value > 0 ? static_cast<std::size_t>(value) : PATH_MAX;
}

bool isLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string readFile(const std::string& path) {
    return readUpTo(path, static_cast<std::size_t>(-1));
}

std::string readHead(const std::string& path, std::size_t count) {
    return readUpTo(path, count);
}

void writeFile(const std::string& path, const std::string& text,
               unsigned mode, bool exactMode) {
    PrivateFiles::FileDescriptor fd(::open(path.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         static_cast<mode_t>(mode)));
    if (fd.get() < 0) {
        fail("Cannot create", path);
    }
    writeAll(fd.get(), text, path);
    if (exactMode && ::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
        fail("Cannot set the mode of", path);
    }
}

void copyFile(const std::string& from, const std::string& to, unsigned mode,
              long long mtimeSeconds, long mtimeNanoseconds) {
    PrivateFiles::FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        fail("Cannot open", from);
    }
    PrivateFiles::FileDescriptor out(::open(to.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600));
    if (out.get() < 0) {
        fail("Cannot create", to);
    }
    if (!AssembleHost::copyInKernel(in.get(), out.get(), from, to)) {
        copyBytes(in.get(), out.get(), from, to);
    }
    if (::fchmod(out.get(), static_cast<mode_t>(mode)) != 0) {
        fail("Cannot set the mode of", to);
    }
    if (mtimeSeconds >= 0) {
        timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
        times[1].tv_sec = static_cast<time_t>(mtimeSeconds);
        times[1].tv_nsec = mtimeNanoseconds;
        if (::futimens(out.get(), times) != 0) {
            fail("Cannot set the time of", to);
        }
    }
}

void makeDirs(const std::string& path) {
    if (path.empty() || kindOf(path) == Kind::Directory) {
        return;
    }
    makeDirs(FileUtils::dirname(path));
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        fail("Cannot create the folder", path);
    }
}

void removeEmptyFolder(const std::string& path) {
    ::rmdir(path.c_str());
}

void makeLink(const std::string& target, const std::string& path) {
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        fail("Cannot create the link", path);
    }
}

std::string realPath(const std::string& path) {
    const std::string real = FileUtils::canonicalPath(path);
    if (real.empty()) {
        fail("Cannot resolve", path);
    }
    return real;
}

StringArray list(const std::string& path) {
    StringArray names;
    if (!FileUtils::listDirectory(path, names)) {
        fail("Cannot list the folder", path);
    }
    return names;
}

FolderLock::FolderLock(const std::string& path,
                       const std::function<void()>& onWait)
    : fd(::open(path.c_str(),
                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
    // A folder that cannot be opened or locked (a file system without
    // locks) is assembled into unlocked, as before there was a lock.
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0
            || errno != EWOULDBLOCK) {
        return;
    }
    try {
        onWait();
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            Interrupts::check();
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
}

FolderLock::~FolderLock() {
    // Closing the folder lets the lock go.
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace FileSystem
