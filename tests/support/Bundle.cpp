#include "Bundle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace testing_support {

namespace {

// Where the layouts differ: the root's suffix, the directories under it, the
// library candidates, the per-user configuration base under HOME and the
// library search variable.
struct Shape {
    const char* rootSuffix;
    const char* bin;
    const char* app;
    const char* runtime;
    const char* libs[2];
    const char* userConfig;
    const char* libVariable;
};
const Shape shapes[] = {
        {".app", "/Contents/MacOS", "/Contents/app", "/Contents/runtime",
         {"Contents/Home/lib/libjli.dylib", "Contents/Home/lib/jli/libjli.dylib"},
         "/Library/Application Support", "DYLD_LIBRARY_PATH"},
        {"", "/bin", "/lib/app", "/lib/runtime",
         {"lib/libjli.so", "lib/jli/libjli.so"}, "/.config", "LD_LIBRARY_PATH"},
};

const Shape& shapeOf(Layout layout) {
    return shapes[static_cast<int>(layout)];
}

std::string launcherOf(Layout layout) {
#ifdef APPLAUNCHER_LINUX_PATH
    return layout == Layout::MacBundle ? launcherPath() : APPLAUNCHER_LINUX_PATH;
#else
    return layout == Layout::MacBundle ? launcherPath() : std::string();
#endif
}

} // namespace

std::vector<Layout> allLayouts() {
    std::vector<Layout> layouts{Layout::MacBundle};
    if (!launcherOf(Layout::LinuxImage).empty()) {
        layouts.push_back(Layout::LinuxImage);
    }
    return layouts;
}

void PrintTo(Layout layout, std::ostream* os) {
    *os << (layout == Layout::MacBundle ? "Bundle" : "Linux");
}

Bundle::Bundle(Layout layout, const std::string& name, bool withRuntime)
    : Bundle(layout, name, std::string(), withRuntime) {}

Bundle::Bundle(Layout layout, const std::string& name,
               const std::string& subdir, bool withRuntime)
    : bundleLayout(layout),
      bundleName(name),
      bundleRoot((subdir.empty() ? temp.path() : temp / subdir) + "/" + name
                 + shapeOf(layout).rootSuffix) {
    copyExecutable(launcherOf(layout), executable());
    makeDirs(appDir());
    makeDirs(homeDir());
    if (withRuntime) {
        linkRuntimeLibrary(runtimeDir(), fakeJliPath());
    }
}

std::string Bundle::executable() const {
    return binDir() + "/" + bundleName;
}

std::string Bundle::executableFromParent() const {
    return executable().substr(bundleRoot.rfind('/') + 1);
}

std::string Bundle::binDir() const {
    return bundleRoot + shapeOf(bundleLayout).bin;
}

std::string Bundle::appDir() const {
    return bundleRoot + shapeOf(bundleLayout).app;
}

std::string Bundle::runtimeDir() const {
    return bundleRoot + shapeOf(bundleLayout).runtime;
}

std::string Bundle::cfgPath() const {
    return appDir() + "/" + bundleName + ".cfg";
}

std::string Bundle::packagePath() const {
    return appDir() + "/.package";
}

std::string Bundle::recordPath() const {
    return temp / "jli-record";
}

std::string Bundle::homeDir() const {
    return temp / "home";
}

std::string Bundle::userConfigBase() const {
    return homeDir() + shapeOf(bundleLayout).userConfig;
}

std::string Bundle::libEnvVariable() const {
    return shapeOf(bundleLayout).libVariable;
}

void Bundle::writeConfig(const std::string& text) const {
    writeFile(cfgPath(), text);
}

void Bundle::writePackage(const std::string& text) const {
    writeFile(packagePath(), text);
}

std::string Bundle::linkRuntimeLibrary(const std::string& runtimeDir,
                                       const std::string& library,
                                       LibCandidate candidate) const {
    const std::string link = runtimeDir + "/" + libCandidatePath(candidate);
    makeSymlink(library, link);
    return link;
}

std::string Bundle::defaultRuntimeLibrary(LibCandidate candidate) const {
    return runtimeDir() + "/" + libCandidatePath(candidate);
}

void Bundle::writeArchiveCapableRuntime() const {
    const std::string home = runtimeDir()
            + (bundleLayout == Layout::MacBundle ? "/Contents/Home" : "");
    const std::string jli = defaultRuntimeLibrary();
    unlink(jli.c_str());
    copyExecutable(fakeJliPath(), jli);
    writeFile(home + "/release", "JAVA_VERSION=\"17.0.15\"\n");
    writeFile(home + "/lib/server/libjvm.so", "");
}

std::string Bundle::libCandidatePath(LibCandidate candidate) const {
    return shapeOf(bundleLayout).libs[candidate == LibCandidate::First ? 0 : 1];
}

ProcessOptions Bundle::baseOptions() const {
    ProcessOptions options;
    options.setEnv("FAKE_JLI_RECORD", recordPath())
            .unsetEnv("FAKE_JLI_ENV")
            .unsetEnv("FAKE_JLI_RESULT")
            .unsetEnv("FAKE_JLI_REENTER")
            .unsetEnv("FAKE_JLI_STDOUT")
            .unsetEnv("FAKE_JLI_EXEC")
            .unsetEnv("VANTRY_DEBUG")
            .unsetEnv("VANTRY_CDS_BUILD")
            .unsetEnv("VANTRY_CDS")
            .unsetEnv("DYLD_LIBRARY_PATH")
            .unsetEnv("LD_LIBRARY_PATH")
            .unsetEnv("XDG_CONFIG_HOME")
            .unsetEnv("XDG_CACHE_HOME")
            .setEnv("HOME", homeDir());
    return options;
}

LaunchResult Bundle::run(const std::vector<std::string>& args,
                         const ProcessOptions& extra) const {
    std::vector<std::string> argv{executable()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(executable(), argv, extra);
}

LaunchResult Bundle::runProgram(const std::string& program,
                                const std::vector<std::string>& argv,
                                const ProcessOptions& extra) const {
    ProcessOptions options = baseOptions();
    options.env.insert(options.env.end(), extra.env.begin(), extra.env.end());
    options.cwd = extra.cwd;
    options.timeoutSeconds = extra.timeoutSeconds;
    options.wrapper =
            extra.wrapper.empty() ? wrapperFromEnvironment() : extra.wrapper;

    // Each run starts with an empty record, so that the calls are its own.
    std::remove(recordPath().c_str());
    LaunchResult result;
    result.process = runProcess(program, argv, options);
    if (access(recordPath().c_str(), F_OK) == 0) {
        result.calls = readFakeJliRecord(recordPath());
    }
    return result;
}

std::vector<std::string> Bundle::wrapperFromEnvironment() {
    std::vector<std::string> words;
    const char* command = std::getenv("APPLAUNCHER_TEST_WRAPPER");
    if (command == nullptr) {
        return words;
    }
    std::istringstream in(command);
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

} // namespace testing_support
