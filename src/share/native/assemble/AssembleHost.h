// What the assembly command does differently on macOS and on Linux.
#ifndef ASSEMBLEHOST_H
#define ASSEMBLEHOST_H

#include <string>

#include "Layout.h"

namespace AssembleHost {

/// The target without --target: a bundle on macOS, an image on Linux.
Target defaultTarget();

/// Renames `from` to `to` unless `to` exists; false, with errno set, when it
/// exists or the rename fails.
bool renameNoReplace(const std::string& from, const std::string& to);

/// Exchanges `a` and `b` in one step (both must exist): 0, or the errno;
/// ENOTSUP when the file system cannot.
int exchange(const std::string& a, const std::string& b);

/// What tells the mount that holds `path` itself (a link is not followed)
/// from every other mount, a folder mounted a second time ("bind") included;
/// empty when `path` cannot be examined.
std::string mountOf(const std::string& path);

/// Writes everything below the folder `path` to disk, so that a crash after
/// a later rename cannot leave a half-written output in place.
void syncTree(const std::string& path);

/// Copies what is left of the open file `in` to the open file `out` inside
/// the kernel, in pieces, checking for SIGINT and SIGTERM between them.
/// False, with nothing copied, when the system cannot; the caller then
/// copies through a buffer. Throws when the copy fails half-way.
bool copyInKernel(int in, int out, const std::string& from,
                  const std::string& to);

/// Starts `program` with the arguments `argv` (argv[0] first, a null
/// pointer last) and the environment `envp` (null: the command's own), its
/// standard input from /dev/null and its standard output
/// and error into the open file `out`: the child's process id; throws when
/// it cannot start. On Linux the child is killed when the command ends in
/// any way, SIGKILL included, so that no jlink goes on writing into a build
/// folder that is gone; macOS has no such request (its child is ended only
/// when the command ends through a signal it handles).
long spawn(const std::string& program, char* const argv[],
           char* const envp[], int out);

/// The per-user cache folder of the system (Linux: $XDG_CACHE_HOME or
/// ~/.cache; macOS: ~/Library/Caches); empty when there is no home folder.
std::string userCacheDir();

} // namespace AssembleHost

#endif // ASSEMBLEHOST_H
