#include "LauncherMain.h"

#include "AppLauncher.h"
#include "ClassDataArchive.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "app.h"

namespace LauncherMain {

namespace {

// The runtime description of this process: set before it is started (in
// the archive's builder, replaced by the dump's) and never freed. Set, it
// marks a later entry of `main` as a re-entry from the runtime's launcher
// library.
Jvm* jvmLauncher = nullptr;

SetUpFunc platformSetUp = nullptr;

void launchJvm() {
    jvmLauncher->launch();
}

void initJvmLauncher() {
    ClassDataArchive::takeBuildRequest();
    jvmLauncher = platformSetUp().createJvmLauncher();
    if (ClassDataArchive::isBuilder()) {
        // The description the runtime library finds on a second entry of
        // `main` is the dump's.
        jvmLauncher = ClassDataArchive::createDumpJvm(*jvmLauncher);
        if (jvmLauncher != nullptr) {
            ClassDataArchive::build(launchJvm);
        }
        return;
    }
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
