#include "Layout.h"

#include "AppLayout.h"
#include "ErrorHandling.h"
#include "FileUtils.h"

Layout layoutOf(Target target, const std::string& name) {
    using FileUtils::combinePath;
    const AppLayout::Paths& paths =
            target == Target::Bundle ? AppLayout::bundle : AppLayout::image;
    Layout layout;
    layout.target = target;
    layout.executable = combinePath(paths.executableDir, name);
    layout.appDir = paths.appDir;
    layout.runtimeDir = paths.runtimeDir;
    layout.runtimeHome = combinePath(paths.runtimeDir, paths.homeInRuntime);
    if (target == Target::Bundle) {
        layout.rootName = name + ".app";
        layout.stamp = "Contents/Resources/.applauncher-assemble";
        layout.infoPlist = "Contents/Info.plist";
        layout.pkgInfo = "Contents/PkgInfo";
        layout.icon = "Contents/Resources/" + name + ".icns";
    } else {
        layout.rootName = name;
        layout.stamp = "lib/.applauncher-assemble";
        layout.icon = "lib/" + name + ".png";
        layout.desktopEntry = "lib/" + name + ".desktop";
    }
    layout.cfgFile = layout.appDir + "/" + name + ".cfg";
    layout.packageFile = layout.appDir + "/.package";
    return layout;
}

CfgFile::Macros layoutMacros(const Layout& layout, const std::string& root) {
    using FileUtils::combinePath;
    return CfgFile::Macros{
        {"$ROOTDIR", root},
        {"$APPDIR", combinePath(root, layout.appDir)},
        {"$BINDIR", combinePath(root, FileUtils::dirname(layout.executable))},
    };
}

const char* targetName(Target target) {
    return target == Target::Bundle ? "bundle" : "image";
}

std::string markedLayout(const std::string& bytes) {
    const bool bundle = bytes.find(AppLayout::bundleMark) != std::string::npos;
    const bool image = bytes.find(AppLayout::imageMark) != std::string::npos;
    return bundle && image ? "both" : bundle ? "bundle" : image ? "image" : "";
}

void checkLauncherMark(const std::string& marked, const std::string& path,
                       Target target) {
    const std::string wanted = targetName(target);
    if (marked == wanted) {
        return;
    }
    const char* launcher = target == Target::Bundle ? "applauncher"
                                                    : "applauncher-linux";
    if (marked == "bundle" || marked == "image") {
        VT_THROW(tstrings::any() << "The launcher \"" << path << "\" is the "
                 "launcher of " << (marked == "bundle" ? "a bundle" : "an image")
                 << ", which cannot start " << (wanted == "bundle"
                         ? "a bundle" : "an image")
                 << ": name " << launcher << " with --launcher, or leave "
                    "--launcher out");
    }
    VT_THROW(tstrings::any() << "The launcher \"" << path << "\" carries "
             << (marked.empty() ? "no mark of a layout" : "the marks of both "
                                  "layouts")
             << ": it is not " << launcher << " of this version");
}
