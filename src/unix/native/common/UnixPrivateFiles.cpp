#include "PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FileUtils.h"
#include "tstrings.h"

namespace PrivateFiles {

namespace {

const mode_t writableByOthers = S_IWGRP | S_IWOTH;

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string systemError(const std::string& path, const char* what) {
    return quoted(path) + " " + what + ": " + std::strerror(errno);
}

// What disqualifies the directory `st` at `path`; empty when it is the
// user's own.
std::string ownershipProblem(const struct stat& st, const std::string& path) {
    if (st.st_uid != geteuid()) {
        return quoted(path) + " belongs to another user";
    }
    if (S_ISDIR(st.st_mode) && (st.st_mode & writableByOthers) != 0) {
        return quoted(path) + " may be written by group or others";
    }
    return std::string();
}

bool isPlainComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".."
            && name.find('/') == std::string::npos;
}

// Opens the directory `name` below `parent`; makes it when it is missing
// and `create` is true, or says why it is not made (`createProblem`).
FileDescriptor openComponent(int parent, const std::string& name,
                             const std::string& path, bool create,
                             const std::string& createProblem,
                             std::string& why) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor dir(::openat(parent, name.c_str(), flags));
    if (!dir.valid() && errno == ENOENT && create) {
        if (!createProblem.empty()) {
            why = quoted(path) + " is missing and not created: "
                    + createProblem;
            return FileDescriptor();
        }
        if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
            why = systemError(path, "cannot be created");
            return FileDescriptor();
        }
        dir.reset(::openat(parent, name.c_str(), flags));
    }
    struct stat st;
    if (!dir.valid()) {
        why = (errno == ELOOP || errno == ENOTDIR)
                ? quoted(path) + " is not a directory"
                : systemError(path, "cannot be opened");
        return FileDescriptor();
    }
    if (::fstat(dir.get(), &st) != 0) {
        why = systemError(path, "cannot be examined");
        return FileDescriptor();
    }
    why = ownershipProblem(st, path);
    return why.empty() ? std::move(dir) : FileDescriptor();
}

} // namespace

void FileDescriptor::reset(int other) {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = other;
}

FileDescriptor openDirectory(const std::string& base,
                             const std::string& relative, bool create,
                             std::string& why) {
    if (base.empty() || !FileUtils::isDirSeparator(base[0])) {
        why = "the base directory " + quoted(base) + " is not absolute";
        return FileDescriptor();
    }
    FileDescriptor dir(
            ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!dir.valid() || ::fstat(dir.get(), &st) != 0) {
        why = systemError(base, "cannot be opened");
        return FileDescriptor();
    }
    if ((st.st_mode & writableByOthers) != 0 && (st.st_mode & S_ISVTX) == 0) {
        why = quoted(base) + " may be written by group or others";
        return FileDescriptor();
    }
    // What root (or any user) creates in another user's home would belong
    // to it, and that user could no longer change it: only the owner of the
    // base creates below it.
    const std::string createProblem = st.st_uid == ::geteuid()
            ? std::string()
            : quoted(base) + " belongs to another user";
    StringArray names;
    tstrings::split(names, relative, "/", tstrings::SPLIT_ALL);
    std::string path = base;
    for (const std::string& name : names) {
        path = FileUtils::combinePath(path, name);
        if (!isPlainComponent(name)) {
            why = quoted(relative) + " is not a plain relative path";
            return FileDescriptor();
        }
        dir = openComponent(dir.get(), name, path, create, createProblem,
                            why);
        if (!dir.valid()) {
            return dir;
        }
    }
    return dir;
}

FileDescriptor openFile(int dir, const std::string& name, int flags,
                        mode_t mode, std::string& why) {
    if (!isPlainComponent(name)) {
        why = quoted(name) + " is not a file name";
        return FileDescriptor();
    }
    FileDescriptor file(::openat(dir, name.c_str(),
                                 flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                 mode));
    if (!file.valid()) {
        why = errno == ELOOP ? quoted(name) + " is a symbolic link"
                             : systemError(name, "cannot be opened");
        return file;
    }
    struct stat st;
    if (::fstat(file.get(), &st) != 0) {
        why = systemError(name, "cannot be examined");
        return FileDescriptor();
    }
    if (!S_ISREG(st.st_mode)) {
        why = quoted(name) + " is not a regular file";
        return FileDescriptor();
    }
    why = ownershipProblem(st, name);
    return why.empty() ? std::move(file) : FileDescriptor();
}

std::string whyNotUsersOwn(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return "missing";
    }
    if (!S_ISREG(st.st_mode)) {
        return quoted(path) + " is not a regular file";
    }
    if ((st.st_mode & writableByOthers) != 0) {
        return quoted(path) + " may be written by group or others";
    }
    return ownershipProblem(st, path);
}

namespace {

// Writes all of `text` through `write`, which takes the bytes left and how
// many were written before; false when it could not.
template <class Write>
bool writeLoop(const std::string& text, Write write) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(text.data() + done, text.size() - done, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool writeAll(int fd, const std::string& text) {
    return writeLoop(text, [fd](const char* data, std::size_t size,
                                std::size_t) {
        return ::write(fd, data, size);
    });
}

bool writeAt(int fd, const std::string& text, off_t offset) {
    return writeLoop(text, [fd, offset](const char* data, std::size_t size,
                                        std::size_t done) {
        return ::pwrite(fd, data, size, offset + static_cast<off_t>(done));
    });
}

bool isPrivateFile(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
            && ownershipProblem(st, std::string()).empty();
}

} // namespace PrivateFiles
