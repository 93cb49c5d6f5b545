// Where the application runs from, as far as the class data archive cares:
// a volume that is meant to be ejected gets no builder, which would keep it
// busy after the application quits. Plain functions of paths.
#ifndef ARCHIVEPLACE_H
#define ARCHIVEPLACE_H

#include <string>

#include "tstrings.h"

namespace ArchivePlace {

/// The one of `roots` (folders below which removable media and mounted
/// disk images appear) that the canonical path `path` lies below; empty
/// when it lies below none. The root itself is no volume.
std::string removableRoot(const std::string& path, const StringArray& roots);

} // namespace ArchivePlace

#endif // ARCHIVEPLACE_H
