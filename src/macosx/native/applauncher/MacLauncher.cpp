// The process entry of the launcher and its set-up inside the application
// bundle: <root>/Contents/MacOS/<name> is the executable, <root>/Contents/app
// holds its configuration file "<name>.cfg" and <root>/Contents/runtime the
// default Java runtime.
#include "AppLauncher.h"
#include "ErrorAlert.h"
#include "FileUtils.h"
#include "LauncherMain.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

AppLauncher setUpBundle() {
    const std::string launcherPath = SysInfo::getProcessModulePath();
    const std::string bundleRoot = FileUtils::dirname(
            FileUtils::dirname(FileUtils::dirname(launcherPath)));
    const std::string appDir =
            FileUtils::combinePath(bundleRoot, "Contents/app");
    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);

    AppLauncher appLauncher = AppLauncher()
            .withBundleRoot(bundleRoot)
            .addJvmLibCandidate("Contents/Home/lib/libjli.dylib")
            .addJvmLibCandidate("Contents/Home/lib/jli/libjli.dylib")
            .withAppDir(appDir)
            .withLibEnvVariable("DYLD_LIBRARY_PATH")
            .withFallbackRuntimeDir(
                    FileUtils::combinePath(bundleRoot, "Contents/runtime"));

    if (!packageFile.getPackageName().empty()) {
        const std::string homeDir = LauncherMain::homeDir();
        if (!homeDir.empty()) {
            appLauncher.addCfgSearchDir(FileUtils::combinePath(
                    FileUtils::combinePath(homeDir,
                                           "Library/Application Support"),
                    packageFile.getPackageName()));
        }
    }

    // The per-user cache directory; none without a home directory.
    const std::string home = SysInfo::getEnvVariable(std::nothrow, "HOME", "");
    if (!home.empty()) {
        const std::string& packageName = packageFile.getPackageName();
        appLauncher.withCacheDir(home, FileUtils::combinePath(
                "Library/Caches", packageName.empty()
                                          ? FileUtils::basename(launcherPath)
                                          : packageName));
    }
    return appLauncher;
}

// Started from Finder, the Dock or `open`, nobody reads standard error: the
// line is also shown in an alert titled with the application's name.
void alertErrorLine(const std::string& line) {
    if (isErrorAlertWanted() && SysInfo::argc > 0) {
        showErrorAlert(FileUtils::basename(SysInfo::argv[0]), line);
    }
}

} // namespace

int main(int argc, char** argv) {
    app::setErrorLineListener(alertErrorLine);
    return LauncherMain::run(argc, argv, setUpBundle);
}
