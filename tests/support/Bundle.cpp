#include "Bundle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace testing_support {

namespace {

// The launcher built for `layout`; empty when this system builds none.
std::string launcherPath(Layout layout) {
    if (layout == Layout::MacBundle) {
        return testing_support::launcherPath();
    }
#ifdef APPLAUNCHER_LINUX_PATH
    return APPLAUNCHER_LINUX_PATH;
#else
    return std::string();
#endif
}

} // namespace

std::vector<Layout> allLayouts() {
    std::vector<Layout> layouts{Layout::MacBundle};
    if (!launcherPath(Layout::LinuxImage).empty()) {
        layouts.push_back(Layout::LinuxImage);
    }
    return layouts;
}

std::string layoutName(Layout layout) {
    return layout == Layout::MacBundle ? "Bundle" : "Linux";
}

void PrintTo(Layout layout, std::ostream* os) {
    *os << layoutName(layout);
}

std::string libCandidatePath(Layout layout, LibCandidate candidate) {
    const bool first = candidate == LibCandidate::First;
    if (layout == Layout::MacBundle) {
        return first ? "Contents/Home/lib/libjli.dylib"
                     : "Contents/Home/lib/jli/libjli.dylib";
    }
    return first ? "lib/libjli.so" : "lib/jli/libjli.so";
}

Bundle::Bundle(Layout layout, const std::string& name, bool withRuntime)
    : Bundle(layout, name, std::string(), withRuntime) {}

Bundle::Bundle(Layout layout, const std::string& name,
               const std::string& subdir, bool withRuntime)
    : bundleLayout(layout),
      bundleName(name),
      bundleRoot((subdir.empty() ? temp.path() : temp / subdir) + "/" + name
                 + (layout == Layout::MacBundle ? ".app" : "")) {
    copyExecutable(launcherPath(layout), executable());
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
    return bundleRoot.substr(bundleRoot.rfind('/') + 1)
           + executable().substr(bundleRoot.size());
}

std::string Bundle::binDir() const {
    return bundleRoot
           + (bundleLayout == Layout::MacBundle ? "/Contents/MacOS" : "/bin");
}

std::string Bundle::appDir() const {
    return bundleRoot
           + (bundleLayout == Layout::MacBundle ? "/Contents/app" : "/lib/app");
}

std::string Bundle::runtimeDir() const {
    return bundleRoot + (bundleLayout == Layout::MacBundle ? "/Contents/runtime"
                                                           : "/lib/runtime");
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
    return homeDir() + (bundleLayout == Layout::MacBundle
                            ? "/Library/Application Support"
                            : "/.config");
}

std::string Bundle::libEnvVariable() const {
    return bundleLayout == Layout::MacBundle ? "DYLD_LIBRARY_PATH"
                                             : "LD_LIBRARY_PATH";
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
    const std::string link =
            runtimeDir + "/" + libCandidatePath(bundleLayout, candidate);
    makeSymlink(library, link);
    return link;
}

std::string Bundle::defaultRuntimeLibrary(LibCandidate candidate) const {
    return runtimeDir() + "/" + libCandidatePath(bundleLayout, candidate);
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
            .unsetEnv("VANTRY_LAUNCHER_REEXEC")
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
