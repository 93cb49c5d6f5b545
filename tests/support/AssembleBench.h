// What the end-to-end tests of applauncher-assemble share: a folder shaped
// like a Java runtime whose launcher library is the substitute one, a
// start of a launcher the command assembled, and the command stopped
// half-way through copying a runtime.
#ifndef ASSEMBLEBENCH_H
#define ASSEMBLEBENCH_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "Bundle.h"

namespace testing_support {

/// Makes `home` a runtime of java.base for the command: a release file
/// (Java 17.0.1, `os`, `arch`) and the substitute runtime library at `lib`
/// below it.
void writeFakeRuntime(const std::string& home, const std::string& os = "Linux",
                      const std::string& arch = "x86_64",
                      const std::string& lib = "lib/libjli.so");

/// Gives `dir` what a bundle for an arm64 Mac needs: "applauncher", an
/// arm64 Mach-O header followed by `launcherMark` (the bundle launcher's
/// layout mark), and "mac.jdk", a runtime of Java 17 for Darwin on aarch64
/// whose libjli.dylib is an arm64 Mach-O header.
void writeMacInputs(const std::string& dir, const std::string& launcherMark);

/// Starts `executable` (an assembled launcher) with no arguments, HOME at
/// `dir`, the substitute library's record in "<dir>/record" (an earlier
/// one removed first), VANTRY_DEBUG and LD_LIBRARY_PATH unset; what it left
/// and the calls it recorded.
LaunchResult startAssembled(const std::string& executable,
                            const std::string& dir);

/// The command caught while it copies a runtime.
struct StoppedAssembly {
    /// The command's process, stopped; -1 when it could not be started.
    pid_t pid = -1;
    /// True when the copy was seen under way, and the command stopped then.
    bool seen = false;
    /// The names in the output folder at that moment.
    std::vector<std::string> during;
};

/// Starts applauncher-assemble on `description` for an image in `out`, its
/// standard error into the file `errPath`, and stops it (SIGSTOP) as soon
/// as the build folder of the image `name` in `out` holds some of the
/// runtime's "lib" folder. Gives up after some seconds, the command still
/// running; either way the caller ends it with `endStopped`.
StoppedAssembly stopWhileCopying(const std::string& description,
                                 const std::string& out,
                                 const std::string& name,
                                 const std::string& errPath);

/// Sends `signal` to the stopped command, lets it go on and waits for it:
/// the wait status, or -1 when the wait failed.
int endStopped(pid_t pid, int signal);

} // namespace testing_support

#endif // ASSEMBLEBENCH_H
