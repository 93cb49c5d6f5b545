// The seam between the executable-path query of MacSysInfo and the system.
// On macOS it is the dynamic loader's `_NSGetExecutablePath`
// (MacExecutablePath.cpp); other hosts provide their own implementation of
// the same contract (see src/linux/native/common).
#ifndef EXECUTABLEPATH_H
#define EXECUTABLEPATH_H

#include <cstdint>

/// Copies the path by which this program was executed (it may be relative
/// and may name a symbolic link), with a terminating zero, into `buf` and
/// returns 0. When `*bufsize` bytes are too few, writes nothing, stores the
/// size needed (terminating zero included) in `*bufsize` and returns -1.
int queryExecutablePath(char* buf, std::uint32_t* bufsize);

#endif // EXECUTABLEPATH_H
