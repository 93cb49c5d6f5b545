// The process entry of the launcher and its set-up inside a Linux
// application image: <root>/bin/<name> is the executable, <root>/lib/app
// holds its configuration file "<name>.cfg" and <root>/lib/runtime the
// default Java runtime. Per-user files follow the XDG base directory rules.
#include "AppLauncher.h"
#include "AppLayout.h"
#include "FileUtils.h"
#include "LauncherMain.h"
#include "PackageFile.h"
#include "SysInfo.h"

namespace {

bool isAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

// A per-user directory: `relative` below the existing directory `base`.
struct UserDir {
    std::string base;
    std::string relative;

    bool empty() const { return base.empty(); }
    std::string path() const { return FileUtils::combinePath(base, relative); }
};

// The per-user base directory: the XDG variable when it holds an absolute
// path, else `homeRelative` under `home`; empty when neither gives one. A
// relative value is ignored, as the XDG rules ask: it would make the
// directory depend on the working directory.
UserDir xdgBaseDir(const char* variable, const std::string& home,
                   const char* homeRelative) {
    const std::string value = SysInfo::getEnvVariable(std::nothrow, variable,
                                                      "");
    if (isAbsolute(value)) {
        return UserDir{value, std::string()};
    }
    return isAbsolute(home) ? UserDir{home, homeRelative} : UserDir();
}

bool hasAbsoluteValue(const char* variable) {
    return isAbsolute(SysInfo::getEnvVariable(std::nothrow, variable, ""));
}

AppLauncher setUpImage(LauncherMain::Role) {
    const std::string launcherPath = SysInfo::getProcessModulePath();
    const AppLayout::Paths& layout = AppLayout::image;
    const std::string root = AppLayout::rootOfExecutable(layout, launcherPath);
    const std::string appDir = FileUtils::combinePath(root, layout.appDir);
    const std::string packageName =
            PackageFile::loadFromAppDir(appDir).getPackageName();

    AppLauncher appLauncher = AppLauncher()
            .withBundleRoot(root)
            .withAppDir(appDir)
            .withLibEnvVariable(layout.libEnvVariable)
            .withFallbackRuntimeDir(
                    FileUtils::combinePath(root, layout.runtimeDir));
    for (const std::string& candidate : AppLayout::jliCandidates(layout)) {
        appLauncher.addJvmLibCandidate(candidate);
    }

    // HOME is read (and an unset one reported) only when a variable that
    // would replace it does not.
    const bool configNeedsHome = !packageName.empty()
            && !hasAbsoluteValue("XDG_CONFIG_HOME");
    const std::string home =
            configNeedsHome || !hasAbsoluteValue("XDG_CACHE_HOME")
                ? LauncherMain::homeDir()
                : std::string();

    if (!packageName.empty()) {
        const UserDir configDir =
                xdgBaseDir("XDG_CONFIG_HOME", home, ".config");
        if (!configDir.empty()) {
            appLauncher.addCfgSearchDir(
                    FileUtils::combinePath(configDir.path(), packageName));
        }
    }
    const UserDir cacheDir = xdgBaseDir("XDG_CACHE_HOME", home, ".cache");
    if (!cacheDir.empty()) {
        appLauncher.withCacheDir(cacheDir.base, FileUtils::combinePath(
                cacheDir.relative, packageName.empty()
                                       ? FileUtils::basename(launcherPath)
                                       : packageName));
    }
    return appLauncher;
}

} // namespace

int main(int argc, char** argv) {
    AppLayout::keepMark(AppLayout::imageMark);
    return LauncherMain::run(argc, argv, setUpImage);
}
