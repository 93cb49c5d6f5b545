// A Java runtime's `release` file (KEY="value" lines): the operating system
// and architecture it was built for and its modules; and whether a launcher
// can run it.
#ifndef RUNTIMERELEASE_H
#define RUNTIMERELEASE_H

#include <string>

#include "ExecutableFormat.h"
#include "tstrings.h"

struct RuntimeRelease {
    std::string osName;
    /// Under the launcher's names ("x86_64", "arm64"), else as written.
    StringArray architectures;
    StringArray modules;
    /// JAVA_VERSION ("17.0.15").
    std::string javaVersion;
};

/// The facts of the text of a `release` file.
RuntimeRelease parseRelease(const std::string& text);

/// Fills in what the release file leaves out (jlink writes neither OS_NAME
/// nor OS_ARCH) from the runtime's launcher library `jli`.
void completeFromLibrary(RuntimeRelease& release, const ExecutableInfo& jli);

/// Throws, naming both, when the runtime at `runtimePath` is built for
/// another system than the launcher at `launcherPath` runs on, or for an
/// architecture the launcher lacks.
void checkRuntimeFits(const RuntimeRelease& release,
                      const std::string& runtimePath,
                      const ExecutableInfo& launcher,
                      const std::string& launcherPath);

/// The launcher's architectures that the runtime runs on, arm64 first (the
/// order of LSArchitecturePriority).
StringArray commonArchitectures(const ExecutableInfo& launcher,
                                const RuntimeRelease& release);

#endif // RUNTIMERELEASE_H
