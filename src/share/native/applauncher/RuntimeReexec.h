// Recognising that the runtime's launcher library has executed this program
// again. On Linux the library re-executes the running program, handing it
// the complete runtime argument vector it was given, when LD_LIBRARY_PATH has
// to name the runtime's own directories first: measured on JDK 17 and 25,
// when the variable lists a directory with another runtime's libjvm.so, or
// the runtime's own lib/server after another entry. The macOS library never
// executes the launcher again, and the macOS build recognises nothing.
//
// Nothing in the environment marks such a start, since anybody could set it.
// A command line counts as the runtime's vector only when it is exactly the
// vector that this launcher builds from its own configuration, up to where
// the application's arguments begin; the runtime then receives that same
// vector again, so a command line can never put a word of its own anywhere
// but among the application's arguments.
#ifndef RUNTIMEREEXEC_H
#define RUNTIMEREEXEC_H

#include "tstrings.h"

class Jvm;

namespace RuntimeReexec {

/// True when `commandLine` (the program name and the arguments, as `main`
/// received them) is the vector of `jvm` up to its application arguments,
/// except that class data archive options of the launcher's own shape may
/// stand where `jvm` inserts options (they are not handed on: the archive
/// is prepared afresh); `appArgs` then receives the rest of the command
/// line. `jvm` is built from the configuration alone and must name a main
/// module, class or jar. Always false on macOS.
bool findApplicationArguments(const StringArray& commandLine, const Jvm& jvm,
                              StringArray& appArgs);

/// Keeps the runtime's launcher library from executing this program again,
/// for a start whose vector the launcher does not build from its
/// configuration (the archive's dump): on Linux, by removing
/// LD_LIBRARY_PATH, which nothing of a dump needs. Nothing on macOS.
void preventReexecution();

} // namespace RuntimeReexec

#endif // RUNTIMEREEXEC_H
