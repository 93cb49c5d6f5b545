#include "LauncherMain.h"

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "RuntimeReexec.h"
#include "SysInfo.h"
#include "app.h"

namespace LauncherMain {

namespace {

// The runtime description of this process: set once, before it is started,
// and never freed. Set, it marks a later entry of `main` as a re-entry from
// the runtime's launcher library.
Jvm* jvmLauncher = nullptr;

SetUpFunc platformSetUp = nullptr;

void initJvmLauncher() {
    jvmLauncher =
            RuntimeReexec::findReexecutedJvm(SysInfo::argc, SysInfo::argv);
    if (jvmLauncher == nullptr) {
        jvmLauncher = platformSetUp().createJvmLauncher();
        RuntimeReexec::mark(*jvmLauncher);
    }
    jvmLauncher->launch();
}

void launchJvm() {
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
