// The process entry of the launcher and its set-up inside the application
// bundle: <root>/Contents/MacOS/<name> is the executable, <root>/Contents/app
// holds its configuration file "<name>.cfg" and <root>/Contents/runtime the
// default Java runtime.
#include "AppLauncher.h"
#include "ErrorAlert.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// The runtime description of this process: set once, before it is started,
// and never freed. Set, it marks a later entry of `main` as a re-entry from
// the runtime's launcher library.
Jvm* jvmLauncher = nullptr;

void initJvmLauncher() {
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
        std::string homeDir;
        try {
            homeDir = SysInfo::getEnvVariable("HOME");
        } catch (...) {
            reportCurrentError(VT_SOURCE_CODE_POS);
        }
        if (!homeDir.empty()) {
            appLauncher.addCfgSearchDir(FileUtils::combinePath(
                    FileUtils::combinePath(homeDir,
                                           "Library/Application Support"),
                    packageFile.getPackageName()));
        }
    }

    // The per-user cache directory; none without a home directory.
    const std::string cacheHome =
            SysInfo::getEnvVariable(std::nothrow, "HOME", "");
    if (!cacheHome.empty()) {
        const std::string& packageName = packageFile.getPackageName();
        appLauncher.withCacheDir(FileUtils::combinePath(
                FileUtils::combinePath(cacheHome, "Library/Caches"),
                packageName.empty() ? FileUtils::basename(launcherPath)
                                    : packageName));
    }

    jvmLauncher = appLauncher.createJvmLauncher();
    jvmLauncher->launch();
}

void launchJvm() {
    jvmLauncher->launch();
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
    if (jvmLauncher != nullptr) {
        return app::launch(std::nothrow, launchJvm);
    }
    SysInfo::argc = argc;
    SysInfo::argv = argv;
    app::setErrorLineListener(alertErrorLine);
    return app::launch(std::nothrow, initJvmLauncher);
}
