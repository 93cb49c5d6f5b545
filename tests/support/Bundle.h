// An application bundle of the launcher, built in a temporary directory, for
// tests that run the real executable:
//
//   <tmp>/<name>.app/Contents/MacOS/<name>     a copy of the launcher
//   <tmp>/<name>.app/Contents/app/<name>.cfg   its configuration file
//   <tmp>/<name>.app/Contents/runtime/...      the default runtime directory
//   <tmp>/home                                 HOME of every run
//
// Every run gets an environment of its own: the substitute runtime library
// records into a file of the temporary directory, and the variables that
// steer the launcher (VANTRY_DEBUG, DYLD_LIBRARY_PATH, HOME) are reset so
// that the host's environment cannot leak into a test.
//
// When the environment variable APPLAUNCHER_TEST_WRAPPER holds a command (words
// separated by blanks, for example "valgrind --error-exitcode=99 --quiet"),
// every run of the launcher goes through that command, unless the run names
// a wrapper of its own.
#ifndef BUNDLE_H
#define BUNDLE_H

#include <string>
#include <vector>

#include "TestSupport.h"

namespace testing_support {

/// Where under a runtime directory the runtime's launcher library lies.
enum class LibCandidate {
    /// Contents/Home/lib/libjli.dylib, the launcher's first choice.
    First,
    /// Contents/Home/lib/jli/libjli.dylib, its second choice.
    Second,
};

/// The relative path of a library candidate under a runtime directory.
std::string libCandidatePath(LibCandidate candidate);

/// What one run of the launcher left.
struct LaunchResult {
    ProcessResult process;
    /// The calls of the substitute library's JLI_Launch; empty when it was
    /// never called.
    std::vector<FakeJliCall> calls;
};

class Bundle {
public:
    /// Builds `<name>.app` with the launcher copied in and, when
    /// `withRuntime` is true, the substitute runtime library linked in as
    /// the first candidate of the default runtime directory.
    explicit Bundle(const std::string& name = "Demo", bool withRuntime = true);

    /// Same, with the bundle in the directory `subdir` of the temporary
    /// directory, for tests that need a particular path.
    Bundle(const std::string& name, const std::string& subdir,
           bool withRuntime);

    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    /// The temporary directory that holds the bundle, the home directory and
    /// the record.
    std::string tempDir() const { return temp.path(); }
    const std::string& name() const { return bundleName; }
    /// <...>/<name>.app
    const std::string& root() const { return bundleRoot; }
    std::string executable() const;
    std::string appDir() const;
    std::string runtimeDir() const;
    std::string cfgPath() const;
    std::string packagePath() const;
    std::string recordPath() const;
    std::string homeDir() const;

    /// Writes the configuration file of the application directory.
    void writeConfig(const std::string& text) const;
    /// Writes the package file of the application directory.
    void writePackage(const std::string& text) const;

    /// Links `library` in as the runtime's launcher library under
    /// `runtimeDir` at `candidate`; returns the link's path.
    std::string linkRuntimeLibrary(const std::string& runtimeDir,
                                   const std::string& library,
                                   LibCandidate candidate
                                       = LibCandidate::First) const;
    /// The path of the library `candidate` under the default runtime.
    std::string defaultRuntimeLibrary(LibCandidate candidate
                                          = LibCandidate::First) const;

    /// The options every run starts from: the record file set, the other
    /// variables of the substitute library, VANTRY_DEBUG and
    /// DYLD_LIBRARY_PATH unset, HOME set to `homeDir()`.
    ProcessOptions baseOptions() const;

    /// Runs the bundle's executable by its absolute path with `args` after
    /// the program name. `extra` adds variables (applied after the base
    /// ones, so it can override them) and may set the working directory.
    LaunchResult run(const std::vector<std::string>& args = {},
                     const ProcessOptions& extra = ProcessOptions()) const;

    /// Runs `program` (a link, a relative path...) with `argv` as its whole
    /// argument vector, in the bundle's environment. Under a wrapper the
    /// program's path takes the place of argv[0].
    LaunchResult runProgram(const std::string& program,
                            const std::vector<std::string>& argv,
                            const ProcessOptions& extra
                                = ProcessOptions()) const;

    /// The words of APPLAUNCHER_TEST_WRAPPER; empty when it is unset or
    /// blank.
    static std::vector<std::string> wrapperFromEnvironment();

private:
    TempDir temp;
    std::string bundleName;
    std::string bundleRoot;
};

} // namespace testing_support

#endif // BUNDLE_H
