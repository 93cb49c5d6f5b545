#include "AssembleHost.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

extern char** environ;

namespace AssembleHost {

Target defaultTarget() {
    return Target::Image;
}

namespace {

// A rename onto a name that must be free, on a file system without
// RENAME_NOREPLACE (NFS, SMB, some FUSE): the name is taken in a step that
// fails when something is there, so that nothing saved there meanwhile is
// replaced. A file gets a second link and loses its first; a folder
// replaces an empty folder made for it, which rename does only while that
// is empty, and never a file. Where a file cannot have a second link, an
// empty file made for it is replaced.
bool takeNameThenRename(const std::string& from, const std::string& to) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) {
        return false;
    }
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0) {
                return true;
            }
            const int error = errno;
            ::unlink(to.c_str());
            errno = error;
            return false;
        }
        if (errno == EEXIST || errno == ENOENT || errno == EACCES
                || errno == ENOSPC || errno == EROFS) {
            return false;
        }
    }
    const int made = folder
            ? ::mkdir(to.c_str(), 0700)
            : ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (made < 0) {
        return false;
    }
    if (!folder) {
        ::close(made);
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    const int error = errno;
    if (folder) {
        ::rmdir(to.c_str());
    }
    errno = error;
    return false;
}

} // namespace

bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    return takeNameThenRename(from, to);
}

int exchange(const std::string& a, const std::string& b) {
    if (::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(),
                  RENAME_EXCHANGE) == 0) {
        return 0;
    }
    // Old kernels and file systems without the flag (NFS, SMB, some FUSE).
    return errno == EINVAL || errno == ENOSYS ? ENOTSUP : errno;
}

std::string mountOf(const std::string& path) {
    // The mount's id tells a bind mount of a folder of the same file system
    // from that file system; the device alone does not.
    struct statx st;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW,
                STATX_BASIC_STATS | STATX_MNT_ID, &st) != 0) {
        return std::string();
    }
    std::string mount = std::to_string(st.stx_dev_major) + ":"
            + std::to_string(st.stx_dev_minor);
    if ((st.stx_mask & STATX_MNT_ID) != 0) {
        mount += "/" + std::to_string(static_cast<unsigned long long>(
                st.stx_mnt_id));
    }
    return mount;
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

namespace {

// In the child between fork and exec: only calls that are safe there. The
// child asks to be killed when its parent ends; a parent that ended before
// the request took effect is seen in the parent's id.
[[noreturn]] void execChild(const char* program, char* const argv[],
                            char* const envp[], int out, pid_t parent,
                            int errorPipe, const char* workingDir) {
    int error = 0;
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
        ::_exit(127);
    }
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0
            || ::dup2(out, 2) < 0
            || (*workingDir != '\0' && ::chdir(workingDir) != 0)) {
        error = errno;
    } else {
        if (in > 2) {
            ::close(in);
        }
        ::execve(program, argv, envp != nullptr ? envp : environ);
        error = errno;
    }
    while (::write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

} // namespace

long spawn(const std::string& program, char* const argv[],
           char* const envp[], int out, const std::string& workingDir) {
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        VT_THROW(tstrings::any() << "Cannot start \"" << program << "\": "
                                 << lastCRTError());
    }
    const PrivateFiles::FileDescriptor readEnd(errorPipe[0]);
    PrivateFiles::FileDescriptor writeEnd(errorPipe[1]);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        execChild(program.c_str(), argv, envp, out, parent, errorPipe[1],
                  workingDir.c_str());
    }
    if (child < 0) {
        VT_THROW(tstrings::any() << "Cannot start \"" << program << "\": "
                                 << lastCRTError());
    }
    writeEnd.reset();
    int error = 0;
    ssize_t n;
    while ((n = ::read(readEnd.get(), &error, sizeof error)) < 0
           && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof error)) {
        int status;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        errno = error;
        VT_THROW(tstrings::any() << "Cannot start \"" << program << "\": "
                                 << lastCRTError());
    }
    return child;
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
