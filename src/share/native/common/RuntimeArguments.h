// The runtime's argument vector that a launcher configuration asks for, in
// the launcher's fixed order. The launcher starts the runtime with it, and
// the assembly command's start check asks the runtime about the very same
// vector, so both build it here.
#ifndef RUNTIMEARGUMENTS_H
#define RUNTIMEARGUMENTS_H

#include <cstddef>
#include <string>

#include "CfgFile.h"
#include "tstrings.h"

struct RuntimeArguments {
    /// The arguments after argument 0 (the executable's path).
    StringArray args;
    /// The index in `args` after the runtime options, where more options
    /// are inserted.
    std::size_t optionsEnd = 0;
    /// The index in `args` where the application arguments begin.
    std::size_t appArgsPos = 0;
    /// True when a main module, class or jar is named.
    bool mainTarget = false;
    /// True when app.splash names no file and was left out; its value.
    bool splashLeftOut = false;
    std::string missingSplash;
};

/// The arguments that the (macro-expanded) configuration asks for, in this
/// order: each module path entry with its own "--module-path"; "-classpath"
/// with the class path joined; "-splash:" with the splash file when it
/// exists; the java options; `moreOptions`; "-Dvantry.app-path=" with
/// `executablePath`; "-m" and the main module; the main class; "-jar" and
/// the main jar; the configured application arguments.
RuntimeArguments runtimeArguments(const CfgFile& cfgFile,
                                  const StringArray& moreOptions,
                                  const std::string& executablePath);

#endif // RUNTIMEARGUMENTS_H
