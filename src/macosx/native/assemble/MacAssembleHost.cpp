#include "AssembleHost.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "PrivateFiles.h"

extern char** environ;

namespace AssembleHost {

namespace {

[[noreturn]] void failSync() {
    VT_THROW(tstrings::any() << "Cannot write the output to disk: "
                             << lastCRTError());
}

// macOS has no syncfs: every file and folder is synced on its own.
void syncEach(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        failSync();
    }
    if (S_ISLNK(st.st_mode)) {
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& name : FileUtils::listDirectory(path)) {
            syncEach(FileUtils::combinePath(path, name));
        }
    }
    const PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid() || ::fsync(fd.get()) != 0) {
        failSync();
    }
}

} // namespace

Target defaultTarget() {
    return Target::Bundle;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    return ::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0;
}

int exchange(const std::string& a, const std::string& b) {
    if (::renamex_np(a.c_str(), b.c_str(), RENAME_SWAP) == 0) {
        return 0;
    }
    return errno == EINVAL || errno == ENOTSUP ? ENOTSUP : errno;
}

std::string mountOf(const std::string& path) {
    // macOS has no bind mounts: the device tells one mount from another.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return std::string();
    }
    return std::to_string(static_cast<long long>(st.st_dev));
}

void syncTree(const std::string& path) {
    syncEach(path);
}

bool copyInKernel(int, int, const std::string&, const std::string&) {
    return false;
}

namespace {

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    posix_spawn_file_actions_t actions;
};

} // namespace

// macOS cannot have the child killed when the command is: a SIGKILL of the
// command leaves the child running until it ends by itself.
long spawn(const std::string& program, char* const argv[],
           char* const envp[], int out) {
    FileActions files;
    posix_spawn_file_actions_addopen(&files.actions, 0, "/dev/null",
                                     O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files.actions, out, 1);
    posix_spawn_file_actions_adddup2(&files.actions, out, 2);
    pid_t child;
    const int error = posix_spawn(&child, program.c_str(), &files.actions,
                                  nullptr, argv,
                                  envp != nullptr ? envp : environ);
    if (error != 0) {
        errno = error;
        VT_THROW(tstrings::any() << "Cannot start \"" << program << "\": "
                                 << lastCRTError());
    }
    return child;
}

std::string userCacheDir() {
    const char* home = ::getenv("HOME");
    return home != nullptr && home[0] == '/'
            ? std::string(home) + "/Library/Caches" : std::string();
}

} // namespace AssembleHost
