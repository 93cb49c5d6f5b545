// The start check: the runtime is the authority on itself, so before the
// output is moved into place its runtime is asked, once, to start the
// application the way the launcher will, with the runtime's --dry-run: it
// creates the virtual machine and loads the main class without running it.
// Options the runtime refuses (-Xmx512 without a unit, a stray carriage
// return), a main class or module that is not there and the like refuse
// the output with the runtime's own first error line.
#ifndef STARTCHECK_H
#define STARTCHECK_H

#include <string>

#include "CfgFile.h"
#include "ExecutableFormat.h"
#include "RuntimeRelease.h"
#include "tstrings.h"

namespace StartCheck {

/// The system this command runs on, under the release file's names:
/// `system` "Linux" or "Darwin", `architecture` "x86_64" or "arm64".
struct Host {
    std::string system;
    std::string architecture;
};

/// The machine this command runs on.
Host host();

/// True when a launcher of `launcher`'s format with the runtime of
/// `release` can run on `host`.
bool canRun(const Host& host, const ExecutableInfo& launcher,
            const RuntimeRelease& release);

/// The arguments (after the program) that ask the runtime about the start
/// that the configuration `cfgFile` (its macros expanded) describes for the
/// launcher `executablePath`: the launcher's own vector, built by the same
/// code, with --dry-run and -XX:-UsePerfData (nothing written to the
/// user's temporary folder) among the runtime options.
StringArray arguments(const CfgFile& cfgFile,
                      const std::string& executablePath);

/// True for the variables the check runs without: those through which the
/// packager's own settings would reach the runtime (JAVA_TOOL_OPTIONS,
/// _JAVA_OPTIONS, JDK_JAVA_OPTIONS, CLASSPATH) and the launcher's own
/// (VANTRY_*).
bool isRemovedVariable(const std::string& name);

/// The runtime's first line that says what is wrong in its `output`:
/// the first line that is not blank and not a virtual machine warning (the
/// first line at all when all are warnings), with the line after it when
/// it is the general "Error occurred during initialization of VM", control
/// characters shown as escapes ("\r"), so that the line prints as one.
std::string firstErrorLine(const std::string& output);

/// Runs `java` (the output's runtime's bin/java) with `args` in an
/// environment without the removed variables and with `libEnvVariable`
/// set to `appDir`, as the launcher sets it; throws a one-line error with
/// the runtime's first error line, `workspaceRoot` in it shown as
/// `root`, when the runtime does not exit with 0.
void run(const std::string& java, const StringArray& args,
         const std::string& libEnvVariable, const std::string& appDir,
         const std::string& workspaceRoot, const std::string& root);

} // namespace StartCheck

#endif // STARTCHECK_H
