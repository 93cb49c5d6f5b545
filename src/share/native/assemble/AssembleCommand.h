// The command line of applauncher-assemble and its entry: every failure
// ends there as one line on standard error.
#ifndef ASSEMBLECOMMAND_H
#define ASSEMBLECOMMAND_H

#include "Assembler.h"
#include "tstrings.h"

/// The options of the arguments (without the program name). Throws a
/// one-line error for a usage mistake.
AssembleOptions parseCommandLine(const StringArray& args);

/// Runs the command: 0 on success, 1 on an error, 2 on a usage mistake or
/// a tool of macOS missing for --sign, --notarize or a package format;
/// ends as the signal would have when SIGINT or SIGTERM stopped it.
int assembleMain(int argc, char** argv);

#endif // ASSEMBLECOMMAND_H
