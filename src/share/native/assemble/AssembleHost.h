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

/// Writes everything below the folder `path` to disk, so that a crash after
/// a later rename cannot leave a half-written output in place.
void syncTree(const std::string& path);

/// Copies what is left of the open file `in` to the open file `out` inside
/// the kernel, in pieces, checking for SIGINT and SIGTERM between them.
/// False, with nothing copied, when the system cannot; the caller then
/// copies through a buffer. Throws when the copy fails half-way.
bool copyInKernel(int in, int out, const std::string& from,
                  const std::string& to);

/// The per-user cache folder of the system (Linux: $XDG_CACHE_HOME or
/// ~/.cache; macOS: ~/Library/Caches); empty when there is no home folder.
std::string userCacheDir();

} // namespace AssembleHost

#endif // ASSEMBLEHOST_H
