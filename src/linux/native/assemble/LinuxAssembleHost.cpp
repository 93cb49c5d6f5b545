#include "AssembleHost.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ErrorHandling.h"
#include "Interrupts.h"
#include "PrivateFiles.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif
#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace AssembleHost {

Target defaultTarget() {
    return Target::Image;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a rename that checks first.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

int exchange(const std::string& a, const std::string& b) {
    if (::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(),
                  RENAME_EXCHANGE) == 0) {
        return 0;
    }
    // Old kernels and file systems without the flag (NFS, SMB, some FUSE).
    return errno == EINVAL || errno == ENOSYS ? ENOTSUP : errno;
}

void syncTree(const std::string& path) {
    // One syncfs writes the whole file system that holds the folder.
    const PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() || ::syncfs(fd.get()) != 0) {
        VT_THROW(tstrings::any() << "Cannot write the output to disk: "
                                 << lastCRTError());
    }
}

bool copyInKernel(int in, int out, const std::string& from,
                  const std::string& to) {
    const std::size_t piece = 64u << 20;
    bool copied = false;
    for (;;) {
        Interrupts::check();
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, piece, 0);
        if (n > 0) {
            copied = true;
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (!copied && (errno == ENOSYS || errno == EXDEV || errno == EINVAL
                        || errno == EOPNOTSUPP || errno == EBADF)) {
            return false;
        }
        VT_THROW(tstrings::any() << "Cannot copy \"" << from << "\" to \""
                                 << to << "\": " << lastCRTError());
    }
}

std::string userCacheDir() {
    const char* xdg = ::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = ::getenv("HOME");
    return home != nullptr && home[0] == '/' ? std::string(home) + "/.cache"
                                             : std::string();
}

} // namespace AssembleHost
