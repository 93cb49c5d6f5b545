// Running the tools the assembly command needs (jlink, codesign): a program
// with its arguments, its output captured, waited for; stopped when SIGINT
// or SIGTERM arrives.
#ifndef PROCESS_H
#define PROCESS_H

#include <string>

#include "tstrings.h"

namespace Process {

struct Outcome {
    /// The exit status; 128 + the signal's number when a signal ended it.
    int status = 0;
    /// Standard output and standard error, interleaved.
    std::string output;
};

/// Runs `program` with `args` (without the program name), standard input
/// from /dev/null, in this process's environment or, when `environment` is
/// given, in that one ("NAME=value" entries). Throws when it cannot be
/// started; when SIGINT or SIGTERM arrives it is ended with SIGTERM, waited
/// for, and an error is thrown.
Outcome run(const std::string& program, const StringArray& args,
            const StringArray* environment = nullptr);

/// The path of the executable `name` in a folder of PATH; empty when there
/// is none.
std::string findOnPath(const std::string& name);

/// The last line of `output` that is not blank, for one-line errors.
std::string lastLine(const std::string& output);

} // namespace Process

#endif // PROCESS_H
