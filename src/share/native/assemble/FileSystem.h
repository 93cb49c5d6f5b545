// The file operations of the assembly command outside tree copies: kinds
// of files, reading and writing whole files, folders and links. Errors are
// thrown with the path and the system's reason.
#ifndef FILESYSTEM_H
#define FILESYSTEM_H

#include <string>

#include "tstrings.h"

namespace FileSystem {

enum class Kind { Missing, File, Directory, Other };

/// What `path` names, links followed.
Kind kindOf(const std::string& path);

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

/// Copies the file's bytes into a new file of mode `mode` (exactly).
void copyFile(const std::string& from, const std::string& to, unsigned mode);

/// Creates the folder and the missing ones above it.
void makeDirs(const std::string& path);

/// Creates the symbolic link `path` with the text `target`.
void makeLink(const std::string& target, const std::string& path);

/// The canonical path: every link followed, "." and ".." resolved.
std::string realPath(const std::string& path);

/// The names in the folder, sorted, without "." and "..".
StringArray list(const std::string& path);

} // namespace FileSystem

#endif // FILESYSTEM_H
