// The process entry that the launchers of every application image layout
// share. The platform's entry unit defines `main` and passes it here with
// the set-up of its layout: where the configuration, the application
// directory and the runtime lie, and which variable is the library search
// path.
#ifndef LAUNCHERMAIN_H
#define LAUNCHERMAIN_H

#include <string>

class AppLauncher;

namespace LauncherMain {

/// What the process is, decided once at its entry.
enum class Role {
    /// An ordinary start of the application.
    start,
    /// The class data archive's builder, started by an earlier start: it
    /// never starts the application and shows nothing.
    archiveBuilder
};

/// Builds the AppLauncher for the platform's application image for a
/// process of the given role; throws on failure.
typedef AppLauncher (*SetUpFunc)(Role role);

/// The body of `main`; returns the exit status, 0 or 1, through the launch
/// wrapper. On the first entry of the process: stores the command line,
/// takes the class data archive's build request out of the environment,
/// which decides the role, builds the AppLauncher through `setUp`, and
/// then either starts the runtime description of the configuration or,
/// in the archive's builder, builds the archive. A later entry while the
/// first is still running (the runtime's launcher library calling `main`
/// again) starts that same description again; its arguments are ignored.
int run(int argc, char** argv, SetUpFunc setUp);

/// The user's home directory, the value of HOME; empty when HOME is unset
/// (reported as an ERROR record, and the launch goes on) or set empty.
std::string homeDir();

} // namespace LauncherMain

#endif // LAUNCHERMAIN_H
