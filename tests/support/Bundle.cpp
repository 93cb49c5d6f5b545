#include "Bundle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace testing_support {

std::string libCandidatePath(LibCandidate candidate) {
    return candidate == LibCandidate::First
            ? "Contents/Home/lib/libjli.dylib"
            : "Contents/Home/lib/jli/libjli.dylib";
}

Bundle::Bundle(const std::string& name, bool withRuntime)
    : Bundle(name, std::string(), withRuntime) {}

Bundle::Bundle(const std::string& name, const std::string& subdir,
               bool withRuntime)
    : bundleName(name),
      bundleRoot((subdir.empty() ? temp.path() : temp / subdir) + "/" + name
                 + ".app") {
    copyExecutable(launcherPath(), executable());
    makeDirs(appDir());
    makeDirs(homeDir());
    if (withRuntime) {
        linkRuntimeLibrary(runtimeDir(), fakeJliPath());
    }
}

std::string Bundle::executable() const {
    return bundleRoot + "/Contents/MacOS/" + bundleName;
}

std::string Bundle::appDir() const {
    return bundleRoot + "/Contents/app";
}

std::string Bundle::runtimeDir() const {
    return bundleRoot + "/Contents/runtime";
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

ProcessOptions Bundle::baseOptions() const {
    ProcessOptions options;
    options.setEnv("FAKE_JLI_RECORD", recordPath())
            .unsetEnv("FAKE_JLI_ENV")
            .unsetEnv("FAKE_JLI_RESULT")
            .unsetEnv("FAKE_JLI_REENTER")
            .unsetEnv("FAKE_JLI_STDOUT")
            .unsetEnv("VANTRY_DEBUG")
            .unsetEnv("DYLD_LIBRARY_PATH")
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
