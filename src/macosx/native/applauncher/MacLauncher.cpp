// The process entry of the launcher and its set-up inside the application
// bundle: <root>/Contents/MacOS/<name> is the executable, <root>/Contents/app
// holds its configuration file "<name>.cfg" and <root>/Contents/runtime the
// default Java runtime.
#include "AppLauncher.h"
#include "AppLayout.h"
#include "ErrorAlert.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "LaunchLog.h"
#include "LauncherMain.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "app.h"

namespace {

// Set once a failure was shown, so that the exit handler shows none.
bool alertShown = false;

void showAlert(const std::string& line, const std::string& runtimeLines) {
    alertShown = true;
    if (SysInfo::argc <= 0) {
        return;
    }
    showErrorAlert(
            applicationDisplayName(FileUtils::basename(SysInfo::argv[0])),
            errorAlertText(line, runtimeLines, LaunchLog::currentPath()));
}

// The runtime ends the process itself when it cannot find or load the main
// class, resolve a module or create the virtual machine: JLI_Launch never
// returns, and only the exit handler sees it. The log tells.
void alertAtExit(int status, void*) {
    try {
        if (alertShown || status == 0
                || !LaunchLog::reportsFailedStart(
                        LaunchLog::readThisStart(true))) {
            return;
        }
        // The general line stands in when the end of the log may hold
        // another start's lines.
        showAlert("Failed to launch JVM",
                  LaunchLog::pickAlertLines(LaunchLog::readThisStart(), ""));
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

// Started from Finder, the Dock or `open`, nobody reads standard error: the
// failure is also shown in an alert titled with the application's name. When
// the runtime failed, what it wrote during this start says why, in place of
// the launcher's general line; the alert names the log when there is one.
void alertErrorLine(const std::string& line) {
    if (!isErrorAlertWanted()) {
        return;
    }
    try {
        showAlert(line, hasRuntimeStartFailed()
                                ? LaunchLog::pickAlertLines(
                                          LaunchLog::readThisStart(), line)
                                : std::string());
    } catch (...) {
        // Out of memory: the line on standard error has to do.
    }
}

AppLauncher setUpBundle(LauncherMain::Role role) {
    // The archive's builder runs in the background, unseen: nothing that
    // goes wrong there is for the user to see, and it keeps no log.
    const bool seen = role == LauncherMain::Role::start;
    if (seen) {
        app::setErrorLineListener(alertErrorLine);
    }
    const std::string launcherPath = SysInfo::getProcessModulePath();
    const AppLayout::Paths& layout = AppLayout::bundle;
    const std::string bundleRoot =
            AppLayout::rootOfExecutable(layout, launcherPath);
    const std::string appDir =
            FileUtils::combinePath(bundleRoot, layout.appDir);
    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);
    const std::string& packageName = packageFile.getPackageName();
    const std::string launcherName = FileUtils::basename(launcherPath);
    const std::string home = SysInfo::getEnvVariable(std::nothrow, "HOME", "");

    // Before anything else is written: from here on, output of a process
    // that the system started goes to the per-user log.
    if (seen) {
        openLaunchLog(home, packageName.empty() ? launcherName : packageName,
                      launcherName);
        try {
            if (!LaunchLog::currentPath().empty()) {
                SysInfo::atExit(alertAtExit, nullptr);
            }
        } catch (...) {
            reportCurrentError(VT_SOURCE_CODE_POS);
        }
    }

    AppLauncher appLauncher = AppLauncher()
            .withBundleRoot(bundleRoot)
            .withAppDir(appDir)
            .withLibEnvVariable(layout.libEnvVariable)
            .withLockedJavaLibraryPath(true)
            .withFallbackRuntimeDir(
                    FileUtils::combinePath(bundleRoot, layout.runtimeDir));
    for (const std::string& candidate : AppLayout::jliCandidates(layout)) {
        appLauncher.addJvmLibCandidate(candidate);
    }

    if (!packageName.empty()) {
        const std::string homeDir = LauncherMain::homeDir();
        if (!homeDir.empty()) {
            appLauncher.addCfgSearchDir(FileUtils::combinePath(
                    FileUtils::combinePath(homeDir,
                                           "Library/Application Support"),
                    packageName));
        }
    }

    // The per-user cache directory; none without a home directory.
    if (!home.empty()) {
        appLauncher.withCacheDir(home, FileUtils::combinePath(
                "Library/Caches",
                packageName.empty() ? launcherName : packageName));
    }
    return appLauncher;
}

} // namespace

int main(int argc, char** argv) {
    AppLayout::keepMark(AppLayout::bundleMark);
    return LauncherMain::run(argc, argv, setUpBundle);
}
