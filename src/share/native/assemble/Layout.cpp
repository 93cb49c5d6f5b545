#include "Layout.h"

#include "FileUtils.h"

Layout layoutOf(Target target, const std::string& name) {
    Layout layout;
    layout.target = target;
    if (target == Target::Bundle) {
        layout.rootName = name + ".app";
        layout.executable = "Contents/MacOS/" + name;
        layout.appDir = "Contents/app";
        layout.runtimeDir = "Contents/runtime";
        layout.runtimeHome = "Contents/runtime/Contents/Home";
        layout.stamp = "Contents/Resources/.applauncher-assemble";
        layout.infoPlist = "Contents/Info.plist";
        layout.pkgInfo = "Contents/PkgInfo";
        layout.icon = "Contents/Resources/" + name + ".icns";
    } else {
        layout.rootName = name;
        layout.executable = "bin/" + name;
        layout.appDir = "lib/app";
        layout.runtimeDir = "lib/runtime";
        layout.runtimeHome = "lib/runtime";
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
