#include "LauncherMain.h"

#include <utility>

#include "AppLauncher.h"
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

// Starts the dump's runtime in the builder's child process: the start's
// class path, module path, java options and main module, class or jar,
// with the dump options after the java options; no splash screen, no
// application arguments.
void startDump(const CfgFile& cfg, const std::string& jliPath,
               const StringArray& dumpOptions) {
    CfgFile withoutSplash(cfg);
    withoutSplash.setPropertyValue(SectionName::Application,
                                   PropertyName::splash, StringArray());
    Jvm* dump = new Jvm();
    dump->setPath(jliPath);
    dump->addArgument(SysInfo::getProcessModulePath());
    dump->initFromConfigFile(withoutSplash, dumpOptions);
    dump->setApplicationArguments(StringArray());
    jvmLauncher = dump;
    dump->launch();
}

void initJvmLauncher() {
    const ClassDataArchive::BuildRequest request =
            ClassDataArchive::takeBuildRequest();
    const AppLauncher appLauncher = platformSetUp(
            request.present ? Role::archiveBuilder : Role::start);
    if (request.present) {
        ClassDataArchive::build(
                request, appLauncher.getCacheBase(),
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
