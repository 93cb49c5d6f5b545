// An application image of the launcher, built in a temporary directory, for
// tests that run the real executable. Two layouts, each with its own
// executable:
//
//   macOS bundle (applauncher)               Linux image (applauncher-linux)
//   <tmp>/<name>.app/Contents/MacOS/<name>   <tmp>/<name>/bin/<name>
//   <tmp>/<name>.app/Contents/app/           <tmp>/<name>/lib/app/
//   <tmp>/<name>.app/Contents/runtime/       <tmp>/<name>/lib/runtime/
//   <tmp>/home, HOME of every run
//
// Every run gets an environment of its own: the substitute runtime library
// records into a file of the temporary directory, and the variables that
// steer the launcher (VANTRY_DEBUG, the library search variables, HOME, the
// XDG directories) are reset so that the host's environment cannot leak into
// a test.
//
// When the environment variable APPLAUNCHER_TEST_WRAPPER holds a command (words
// separated by blanks, for example "valgrind --error-exitcode=99 --quiet"),
// every run of the launcher goes through that command, unless the run names
// a wrapper of its own.
#ifndef BUNDLE_H
#define BUNDLE_H

#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace testing_support {

/// The shape of the application image, each with its own launcher.
enum class Layout { MacBundle, LinuxImage };

/// Every layout whose launcher this system builds.
std::vector<Layout> allLayouts();
/// "Bundle" or "Linux", in test names and failure messages.
void PrintTo(Layout layout, std::ostream* os);

/// Where under a runtime directory the runtime's launcher library lies: the
/// launcher's first choice (Contents/Home/lib/libjli.dylib, lib/libjli.so)
/// or its second (Contents/Home/lib/jli/libjli.dylib, lib/jli/libjli.so).
enum class LibCandidate { First, Second };

/// What one run of the launcher left.
struct LaunchResult {
    ProcessResult process;
    /// The calls of the substitute library's JLI_Launch; empty when it was
    /// never called.
    std::vector<FakeJliCall> calls;
};

class Bundle {
public:
    /// Builds the image with the layout's launcher copied in and, when
    /// `withRuntime` is true, the substitute runtime library linked in as
    /// the first candidate of the default runtime directory.
    explicit Bundle(Layout layout, const std::string& name = "Demo",
                    bool withRuntime = true);

    /// Same, with the image in the directory `subdir` of the temporary
    /// directory, for tests that need a particular path.
    Bundle(Layout layout, const std::string& name, const std::string& subdir,
           bool withRuntime);

    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    /// The temporary directory that holds the bundle, the home directory and
    /// the record.
    std::string tempDir() const { return temp.path(); }
    const std::string& name() const { return bundleName; }
    Layout layout() const { return bundleLayout; }
    /// <...>/<name>.app or <...>/<name>
    const std::string& root() const { return bundleRoot; }
    std::string executable() const;
    /// The executable's path relative to the directory that holds the root.
    std::string executableFromParent() const;
    std::string binDir() const;
    std::string appDir() const;
    std::string runtimeDir() const;
    std::string cfgPath() const;
    std::string packagePath() const;
    std::string recordPath() const;
    std::string homeDir() const;
    /// The per-user file is "<base>/<package>/<name>.cfg".
    std::string userConfigBase() const;
    std::string libEnvVariable() const;
    /// The relative path of a library candidate under a runtime directory.
    std::string libCandidatePath(LibCandidate candidate) const;

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

    /// Makes the default runtime look able to keep a class data archive: a
    /// copy of the substitute library in place of the link, a release file
    /// of Java 17.0.15 and a server libjvm.
    void writeArchiveCapableRuntime() const;

    /// The options every run starts from: the record file set, the other
    /// variables of the substitute library, VANTRY_DEBUG, the library search
    /// variables and the XDG directories unset, HOME set to `homeDir()`.
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
    Layout bundleLayout;
    std::string bundleName;
    std::string bundleRoot;
};

} // namespace testing_support

#endif // BUNDLE_H
