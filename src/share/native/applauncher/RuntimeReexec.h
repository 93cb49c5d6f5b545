// Recognising that the runtime's launcher library has executed this program
// again. On Linux the library re-executes the running program (with the
// complete runtime argument vector it was handed) when LD_LIBRARY_PATH has to
// name its own directories first, for example because it names another
// runtime's libjvm.so. Before the runtime starts, the launcher leaves a
// marker in its environment; execve keeps both the environment and the
// process id, so the program executed again finds a marker that names its
// own process and its own argument vector, and hands that vector on as it is.
#ifndef RUNTIMEREEXEC_H
#define RUNTIMEREEXEC_H

#include "tstrings.h"

class Jvm;

namespace RuntimeReexec {

/// The environment variable that holds the marker: "<process id>
/// <fingerprint of the argument vector, 16 hex digits> <library path>".
extern const char* const markerVariable;

/// Sets the marker for starting `jvm` from this process, replacing any
/// marker inherited from another process.
void mark(const Jvm& jvm);

/// When the marker names this process and the command line (`argc` entries
/// of `argv`, program name included, as `main` received them) is the vector
/// it was made for: a new Jvm, owned by the caller, that hands the command
/// line unchanged to the marker's library and sets no variable. Otherwise
/// null: this is a start of its own.
Jvm* findReexecutedJvm(int argc, const char* const* argv);

} // namespace RuntimeReexec

#endif // RUNTIMEREEXEC_H
