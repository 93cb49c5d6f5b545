// Where the application runs from, as far as the class data archive cares:
// a volume that is meant to be ejected gets no builder, which would keep it
// busy after the application quits; nor does a path that the runtime would
// refuse. Plain functions of paths.
#ifndef ARCHIVEPLACE_H
#define ARCHIVEPLACE_H

#include <cstddef>
#include <string>

#include "tstrings.h"

namespace ArchivePlace {

/// The one of `roots` (folders below which removable media and mounted
/// disk images appear) that the canonical path `path` lies below; empty
/// when it lies below none. The root itself is no volume.
std::string removableRoot(const std::string& path, const StringArray& roots);

/// The longest path, in bytes, that may be handed to the runtime on a
/// system whose limit, terminating zero included, is `systemPathMax`: the
/// runtime has a limit of its own of 2048 bytes, zero included, and
/// refuses a class list path that reaches it.
std::size_t longestRuntimePath(std::size_t systemPathMax);

} // namespace ArchivePlace

#endif // ARCHIVEPLACE_H
