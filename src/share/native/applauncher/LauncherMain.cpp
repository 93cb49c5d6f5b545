#include "LauncherMain.h"

#include <utility>

#include "AppLauncher.h"
#include "ArchiveBuilder.h"
#include "ClassDataArchive.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "app.h"

namespace LauncherMain {

namespace {

// The runtime description that this process started (in the archive's
// builder, the dump's) and never frees. Set, it marks a later entry of
// `main` as a re-entry from the runtime's launcher library.
Jvm* jvmLauncher = nullptr;

SetUpFunc platformSetUp = nullptr;

void launchJvm() {
    jvmLauncher->launch();
}

// Starts the dump's runtime in the builder's child process.
void startDump(Jvm& dump) {
    jvmLauncher = &dump;
    dump.launch();
}

void initJvmLauncher() {
    const ClassDataArchive::BuildRequest request =
            ClassDataArchive::takeBuildRequest();
    const AppLauncher appLauncher = platformSetUp(
            request.present ? Role::archiveBuilder : Role::start);
    if (request.present) {
        ArchiveBuilder::build(
                request.token, appLauncher.getCacheBase(),
                appLauncher.getCacheRelative(),
                [&appLauncher](CfgFile& cfg, std::string& jliPath) {
                    AppLauncher::Config config = appLauncher.loadConfig();
                    cfg = std::move(config.cfgFile);
                    jliPath = appLauncher.selectJvmLib(cfg);
                    return !config.locked;
                },
                startDump);
        return;
    }
    jvmLauncher = appLauncher.createJvmLauncher();
    jvmLauncher->launch();
}

} // namespace

int run(int argc, char** argv, SetUpFunc setUp) {
    if (jvmLauncher != nullptr) {
        return app::launch(std::nothrow, launchJvm);
    }
    SysInfo::argc = argc;
    SysInfo::argv = argv;
    platformSetUp = setUp;
    return app::launch(std::nothrow, initJvmLauncher);
}

std::string homeDir() {
    try {
        return SysInfo::getEnvVariable("HOME");
    } catch (...) {
        reportCurrentError(VT_SOURCE_CODE_POS);
    }
    return std::string();
}

} // namespace LauncherMain
