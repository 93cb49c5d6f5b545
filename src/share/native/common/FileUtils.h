// Path arithmetic and file queries. Paths are plain byte strings: nothing
// here collapses "." or "..", resolves links or converts characters. Paths
// are taken apart at slashes only (a backslash is an ordinary character of a
// file name); joining writes a slash.
#ifndef FILEUTILS_H
#define FILEUTILS_H

#include <string>

#include "tstrings.h"

namespace FileUtils {

/// Separates the entries of a path list such as a class path.
const char pathSeparator = ':';

/// True for the slash only.
bool isDirSeparator(char c);

/// The path without its last component and the separators before it; empty
/// when nothing but separators (or nothing at all) precedes that component.
/// A trailing "/." is ignored before the search.
std::string dirname(const std::string& path);

/// The part after the last separator; the whole path when there is none.
std::string basename(const std::string& path);

/// `a` and `b` joined by exactly one slash at the join: trailing separators
/// of `a` and one leading separator of `b` are dropped. An empty side gives
/// the other side unchanged.
std::string combinePath(const std::string& a, const std::string& b);

/// True when `stat` succeeds on the path: files and directories count, links
/// are followed.
bool isFileExists(const std::string& path);

/// What identifies the file at `path` (links followed) without reading it:
/// its size, modification and status change times to the nanosecond and
/// its inode number, as text; "-" when it cannot be examined. A copy keeps
/// the size and modification time but never all four.
std::string fileIdentity(const std::string& path);

/// True when `stat` succeeds on the path and it is a regular file.
bool isRegularFile(const std::string& path);

/// The names in the directory at `path` ("." and ".." left out), sorted;
/// empty when it cannot be read.
StringArray listDirectory(const std::string& path);

/// The same names into `names`; false, with errno set, when the directory
/// cannot be opened or read to its end. The one loop that lists folders.
bool listDirectory(const std::string& path, StringArray& names);

/// The canonical path of an existing file: absolute, every link followed,
/// "." and ".." resolved; empty, with errno set, when there is none.
std::string canonicalPath(const std::string& path);

/// The contents of the regular file at `path`, at most `limit` bytes of
/// it; false, with errno set, when it is no regular file or cannot be read.
/// Never waits on a FIFO or a device; a read cut short by a signal goes on.
/// The one loop that reads whole files.
bool readSmallFile(const std::string& path, std::size_t limit,
                   std::string& text);

/// An absolute path: an empty path gives the working directory, a path that
/// starts with a separator is returned unchanged, any other is joined to the
/// working directory. Throws when the working directory cannot be read.
std::string toAbsolutePath(const std::string& path);

/// The path without an executable file suffix; executables on this system
/// carry none, so the path comes back unchanged.
std::string stripExeSuffix(const std::string& path);

} // namespace FileUtils

#endif // FILEUTILS_H
