// The user's own files in places that other programs can reach too: the
// home directory, the XDG base directories, a shared cache folder. Whatever
// the launcher writes there (a log, a class data archive) or reads back is
// trusted only when it is provably the user's: a directory counts only when
// it belongs to the effective user, neither group nor others may write it,
// and it is reached without following a symbolic link below the base
// directory; a file only when it is a regular file of the effective user in
// such a directory (nobody else can reach it, whatever its own mode says:
// the runtime creates its files with the user's umask). Every descriptor is
// opened close-on-exec.
#ifndef PRIVATEFILES_H
#define PRIVATEFILES_H

#include <sys/types.h>

#include <string>

namespace PrivateFiles {

/// Owns one file descriptor; -1 stands for none.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    /// Gives the descriptor up without closing it.
    int release() {
        const int result = fd;
        fd = -1;
        return result;
    }
    /// Closes the descriptor held and holds `other` instead.
    void reset(int other = -1);

private:
    int fd;
};

/// The directory `relative` below `base`, opened for reading.
///
/// `base` is an existing absolute directory that neither group nor others
/// may write unless its sticky bit is set; it is never created. `relative`
/// is one or more components separated by slashes, none of them empty, "."
/// or "..". With `create`, each missing component is created with mode
/// 0700, but only when the base belongs to the effective user (root with
/// another user's HOME creates nothing there). Every component below the base must be a directory, not a link,
/// that belongs to the effective user and that neither group nor others may
/// write. Otherwise the result holds no descriptor and `why` says what was
/// wrong, as a sentence fragment naming the path.
FileDescriptor openDirectory(const std::string& base,
                             const std::string& relative, bool create,
                             std::string& why);

/// `name` (one component) in the directory `dir`, opened with `flags` and
/// O_NOFOLLOW, O_NONBLOCK and O_CLOEXEC, created with `mode` when `flags`
/// asks for it. Kept only when it is a regular file of the effective user;
/// otherwise closed, and `why` says why.
FileDescriptor openFile(int dir, const std::string& name, int flags,
                        mode_t mode, std::string& why);

/// Writes all of `text` at the descriptor's position; false when it could
/// not.
bool writeAll(int fd, const std::string& text);

/// Writes all of `text` at `offset`, leaving the position alone; false when
/// it could not.
bool writeAt(int fd, const std::string& text, off_t offset);

/// True when `fd` is a regular file of the effective user.
bool isPrivateFile(int fd);

/// Why the file at `path` is not one the user alone controls: it is not a
/// regular file (a link, a directory...), belongs to another user, or group
/// or others may write it. Empty when it is the user's own; "missing" when
/// there is nothing at `path`.
std::string whyNotUsersOwn(const std::string& path);

} // namespace PrivateFiles

#endif // PRIVATEFILES_H
