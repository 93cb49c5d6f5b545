// What the class data archive asks of the system it runs on beyond POSIX:
// the lowest priority for its builder, a name that tells the builder apart,
// where removable volumes appear, and the longest path the system takes.
// LinuxArchiveHost.cpp and MacArchiveHost.cpp implement it.
#ifndef ARCHIVEHOST_H
#define ARCHIVEHOST_H

#include <cstddef>

#include "tstrings.h"

namespace ArchiveHost {

/// Puts this process at the least CPU and I/O priority the system has
/// (Linux: nice 19, SCHED_IDLE and the idle I/O class, and, for a session
/// leader, nice 19 for its session's scheduler autogroup; macOS: the
/// background band), so that it runs only on what nothing else wants.
/// Only makes system calls: safe between fork and exec.
void lowerPriority();

/// Names this process where the system shows a name of its own next to
/// the command line (the Linux task name); nothing elsewhere.
void setProcessName(const char* name);

/// The folders below which removable media and mounted disk images
/// appear: "/media" and "/run/media" on Linux, "/Volumes" on macOS.
StringArray removableVolumeRoots();

/// The longest path the system accepts, its terminating zero included.
std::size_t pathMax();

} // namespace ArchiveHost

#endif // ARCHIVEHOST_H
