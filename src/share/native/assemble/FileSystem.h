// The file operations of the assembly command outside tree copies: kinds
// of files, reading and writing whole files, folders and links. Errors are
// thrown with the path and the system's reason.
#ifndef FILESYSTEM_H
#define FILESYSTEM_H

#include <functional>
#include <string>

#include "tstrings.h"

namespace FileSystem {

enum class Kind { Missing, File, Directory, Other, Unreadable };

/// What `path` names, links followed; Unreadable when it cannot be examined
/// for another reason than its absence (no permission, a loop of links).
Kind kindOf(const std::string& path);

/// Why the existing `path` cannot be read (a folder: listed), in the
/// system's words; empty when it can.
std::string whyUnreadable(const std::string& path);

/// The longest file name and the longest path (its terminating zero
/// included) the file system of the existing folder `dir` takes.
std::size_t nameMax(const std::string& dir);
std::size_t pathMax(const std::string& dir);

/// True when `path` itself is a symbolic link.
bool isLink(const std::string& path);

/// The whole file.
std::string readFile(const std::string& path);

/// At most the first `count` bytes of the file.
std::string readHead(const std::string& path, std::size_t count);

/// Creates the file (it must not exist) with `text` and the permission
/// bits `mode` (the umask applies unless `exactMode`).
void writeFile(const std::string& path, const std::string& text,
               unsigned mode = 0666, bool exactMode = false);

/// Copies the file's bytes into the new file `to` (inside the kernel where
/// the system can), of mode `mode` (exactly) and, unless `mtimeSeconds` is
/// negative, of that modification time. Stops with an error when one of
/// the signals the command handles arrives (see Interrupts). The one copy
/// routine of the command.
void copyFile(const std::string& from, const std::string& to, unsigned mode,
              long long mtimeSeconds = -1, long mtimeNanoseconds = 0);

/// Creates the folder and the missing ones above it.
void makeDirs(const std::string& path);

/// Removes the folder if it is empty; nothing happens otherwise.
void removeEmptyFolder(const std::string& path);

/// Creates the symbolic link `path` with the text `target`.
void makeLink(const std::string& target, const std::string& path);

/// The canonical path: every link followed, "." and ".." resolved.
std::string realPath(const std::string& path);

/// The names in the folder, sorted, without "." and "..".
StringArray list(const std::string& path);

/// An exclusive lock on an existing folder (a link is not followed), held
/// while the object lives; other commands that lock the folder wait.
/// `onWait` runs once when another holds it. None where the folder cannot
/// be opened or its file system has no locks. Throws when a signal the
/// command handles arrives while it waits.
class FolderLock {
public:
    FolderLock(const std::string& path, const std::function<void()>& onWait);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd;
};

} // namespace FileSystem

#endif // FILESYSTEM_H
