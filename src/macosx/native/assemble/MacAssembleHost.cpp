#include "AssembleHost.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "PrivateFiles.h"

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

void syncTree(const std::string& path) {
    syncEach(path);
}

bool copyInKernel(int, int, const std::string&, const std::string&) {
    return false;
}

std::string userCacheDir() {
    const char* home = ::getenv("HOME");
    return home != nullptr && home[0] == '/'
            ? std::string(home) + "/Library/Caches" : std::string();
}

} // namespace AssembleHost
