// Where things go in what the assembly command makes: the macOS application
// bundle (<name>.app) or the Linux application image (<name>). Every path is
// relative to the root folder; the launcher finds its configuration, its
// application directory and its default runtime at exactly these places.
#ifndef LAYOUT_H
#define LAYOUT_H

#include <string>

#include "CfgFile.h"

/// What the command makes.
enum class Target { Bundle, Image };

struct Layout {
    Target target;
    /// "<name>.app" or "<name>": the root folder's own name.
    std::string rootName;
    /// The launcher, renamed after the application.
    std::string executable;
    /// The application directory ($APPDIR) and the files the launcher reads
    /// there.
    std::string appDir;
    std::string cfgFile;
    std::string packageFile;
    /// The runtime folder (bundle: may hold a macOS .jdk's Contents) and the
    /// Java home inside it, where the launcher looks for libjli.
    std::string runtimeDir;
    std::string runtimeHome;
    /// The file that marks an output of this command (see --replace).
    std::string stamp;
    /// Bundle only: Info.plist, PkgInfo and the icon; image only: the
    /// desktop entry and the icon beside it.
    std::string infoPlist;
    std::string pkgInfo;
    std::string icon;
    std::string desktopEntry;
};

/// The layout of `target` for the application `name`.
Layout layoutOf(Target target, const std::string& name);

/// The macros of the launcher ($ROOTDIR, $APPDIR, $BINDIR) as they expand
/// in the layout placed at `root`.
CfgFile::Macros layoutMacros(const Layout& layout, const std::string& root);

/// "bundle" or "image".
const char* targetName(Target target);

/// The layout whose mark (AppLayout::bundleMark, imageMark) the launcher
/// file `bytes` carries: "bundle" or "image"; "" for none, "both" for a
/// file that carries both marks (no launcher does).
std::string markedLayout(const std::string& bytes);

/// Throws, naming the launcher at `path`, unless `marked` (of
/// `markedLayout`) is the layout of `target`.
void checkLauncherMark(const std::string& marked, const std::string& path,
                       Target target);

#endif // LAYOUT_H
