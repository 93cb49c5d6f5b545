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

#include <cstddef>

#include "tstrings.h"

namespace RuntimeReexec {

/// The runtime vector that the launcher builds from its configuration:
/// `args[0, optionsEnd)` are the program and the options, where the
/// launcher inserts options of its own; `args[optionsEnd, appArgsPos)` the
/// application path property and the main module, class or jar, which
/// `hasMainTarget` says are there.
struct OwnVector {
    const StringArray& args;
    std::size_t optionsEnd;
    std::size_t appArgsPos;
    bool hasMainTarget;
};

/// True when `commandLine` (the program name and the arguments, as `main`
/// received them) is `own` up to its application arguments, except that
/// words for which `isInserted` is true may stand where the launcher
/// inserts options (they are not handed on: the launcher prepares them
/// afresh); `appArgs` then receives the rest of the command line. Never
/// without a main target. Always false on macOS.
bool findApplicationArguments(const StringArray& commandLine,
                              const OwnVector& own,
                              bool (*isInserted)(const std::string& word),
                              StringArray& appArgs);

/// Keeps the runtime's launcher library from executing this program again,
/// for a start whose vector the launcher does not build from its
/// configuration (the archive's dump): on Linux, by removing
/// LD_LIBRARY_PATH, which nothing of a dump needs. Nothing on macOS.
void preventReexecution();

} // namespace RuntimeReexec

#endif // RUNTIMEREEXEC_H
