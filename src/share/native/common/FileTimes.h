// The nanosecond times of a file's status, which every system keeps but
// under its own field names (st_mtim on Linux, st_mtimespec on macOS).
#ifndef FILETIMES_H
#define FILETIMES_H

#include <sys/stat.h>
#include <time.h>

namespace FileTimes {

/// The time of the last change of the file's contents.
timespec modified(const struct stat& st);

/// The time of the last change of the file's status (contents, name, links,
/// owner or mode); nobody can set it back.
timespec changed(const struct stat& st);

} // namespace FileTimes

#endif // FILETIMES_H
