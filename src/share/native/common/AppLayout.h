// Where everything lies in the two layouts that the launchers run in and the
// assembly command makes: the macOS application bundle and the Linux
// application image. The launchers derive their locations from these, the
// class data archive finds the Java home of a runtime library by them, and
// the assembly command writes its output by them, so that all agree.
#ifndef APPLAYOUT_H
#define APPLAYOUT_H

#include <string>

#include "tstrings.h"

namespace AppLayout {

struct Paths {
    /// "bundle" or "image".
    const char* name;
    /// The folder of the launcher executable, relative to the root.
    const char* executableDir;
    /// The application directory ($APPDIR) and the default runtime folder,
    /// relative to the root.
    const char* appDir;
    const char* runtimeDir;
    /// The Java home inside the runtime folder ("" for the folder itself).
    const char* homeInRuntime;
    /// The file name suffix of the runtime's launcher library.
    const char* librarySuffix;
    /// The variable that holds the system's library search path.
    const char* libEnvVariable;
};

/// The texts that a launcher of each layout carries on purpose, so that the
/// assembly command can tell the launchers apart: both are ELF files when
/// built on Linux. Defined here, and not in the layout tables, so that each
/// launcher holds its own and not the other's.
inline constexpr char bundleMark[] = "applauncher-layout=bundle";
inline constexpr char imageMark[] = "applauncher-layout=image";

/// Keeps `mark` in the executable whose `main` calls this: the linker
/// leaves out data that no code uses.
inline void keepMark(const char* mark) {
    __asm__ __volatile__("" : : "r"(mark));
}

/// The macOS application bundle: <root>/Contents/MacOS/<name>.
extern const Paths bundle;
/// The Linux application image: <root>/bin/<name>.
extern const Paths image;

/// The folders of a Java home, in the order the launcher prefers them, that
/// may hold its launcher library libjli.
extern const char* const libraryDirs[2];

/// The candidates of the runtime's launcher library relative to the runtime
/// folder, in the order the launcher tries them.
StringArray jliCandidates(const Paths& layout);

/// The root of the layout whose launcher executable is `executable`.
std::string rootOfExecutable(const Paths& layout,
                             const std::string& executable);

/// The Java home of the launcher library `jliPath` when it lies in one of
/// `libraryDirs` of a home as libjli.<anything>; empty otherwise.
std::string javaHomeOfLibrary(const std::string& jliPath);

} // namespace AppLayout

#endif // APPLAYOUT_H
