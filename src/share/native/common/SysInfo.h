// What the launcher knows of its own process: the absolute path of the
// running executable, the command line and the environment.
#ifndef SYSINFO_H
#define SYSINFO_H

#include <new>
#include <string>
#include <vector>

#include "tstrings.h"

namespace SysInfo {

/// The command line, stored by `main` on its first entry and never changed
/// afterwards. 0 and null until then.
extern int argc;
extern char** argv;

enum CommandArgProgramNameMode {
    /// The program name is part of the result.
    KEEP_PROGRAM_NAME = 0,
    /// The program name is left out.
    SKIP_PROGRAM_NAME = 1
};

/// The canonical path of the running executable: absolute, every symbolic
/// link of every component followed, "." and ".." resolved. Worked out on
/// the first call; later calls return the same text.
std::string getProcessModulePath();

/// `path` (bytes followed by one zero byte) with the chain of symbolic links
/// it names followed to the file itself. A relative link target is taken
/// relative to the directory of the link. Directories along the way are not
/// resolved. Throws when a link in the chain cannot be read, when its target
/// does not exist, or when the chain is longer than 40 links.
std::string getRealPath(const std::vector<char>& path);

/// The command line without the arguments that begin with "-psn_", with or
/// without the program name.
StringArray getCommandArgs(CommandArgProgramNameMode mode = SKIP_PROGRAM_NAME);

/// The variable's value (the empty string for a variable set empty); throws
/// "getenv(NAME) failed. Variable not set" when it is not set.
std::string getEnvVariable(const std::string& name);

/// The variable's value, or `defValue` when it is not set.
std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defValue);

/// Sets the variable in this process's environment, which the runtime and
/// any program executed from this process inherit; throws on failure.
void setEnvVariable(const std::string& name, const std::string& value);

/// The id of this process; a program executed in its place keeps it.
long getProcessId();

/// The largest file this process may write (RLIMIT_FSIZE); the largest
/// value there is when there is no limit.
unsigned long long fileSizeLimit();

/// Removes the variable from this process's environment.
void unsetEnvVariable(const std::string& name);

/// Runs `handler` with `context` when the process ends through `exit` (a
/// return from `main`, `System.exit`, a shutdown on SIGINT or SIGTERM), not
/// after a crash, `_exit` or a fatal signal. It receives the exit status,
/// or -1 on a system that does not tell it to exit handlers (macOS).
/// Handlers run in the reverse order of their registration; at most four
/// per process. Throws when the handler cannot be registered.
void atExit(void (*handler)(int status, void* context), void* context);

} // namespace SysInfo

#endif // SYSINFO_H
