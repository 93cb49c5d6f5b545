// Every failure a user can meet when starting the launcher executable: the
// one short line on standard error, exit status 1, nothing on standard
// output; with diagnostics on, the error record in front of that line.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "Bundle.h"
#include "OutputLines.h"
#include "LogCapture.h"

using namespace testing_support;

using testing_support::dlopenError;
using testing_support::dlsymError;

namespace {

const char* const minimalConfig = "[Application]\napp.mainclass=demo.Main\n";

struct FailureCase {
    const char* name;
    /// Prepares the bundle (which has the substitute runtime library unless
    /// `withRuntime` is false) and returns the expected line.
    std::function<std::string(Bundle&, ProcessOptions&)> prepare;
    /// The source file and function that raised the error, as the error
    /// record shows them.
    const char* origin;
    bool withRuntime = true;
    /// JLI_Launch is reached (and fails) in this case.
    bool reachesRuntime = false;
    /// The directory the bundle is built in, inside the temporary one.
    const char* subdir = "";
};

void checkFailure(const FailureCase& c) {
    SCOPED_TRACE(c.name);
    Bundle bundle("Demo", c.subdir, c.withRuntime);
    ProcessOptions options;
    const std::string line = c.prepare(bundle, options);

    const LaunchResult launch = bundle.run({"arg"}, options);
    EXPECT_EQ(1, launch.process.exitStatus);
    EXPECT_EQ(line + "\n", launch.process.err);
    EXPECT_EQ("", launch.process.out);
    EXPECT_EQ(c.reachesRuntime ? 1u : 0u, launch.calls.size());

    // The same failure with diagnostics: the error record with the raw
    // error and its origin, then the short line, then the exit record.
    options.setEnv("VANTRY_DEBUG", "true");
    const LaunchResult traced = bundle.run({"arg"}, options);
    EXPECT_EQ(1, traced.process.exitStatus);
    EXPECT_EQ("", traced.process.out);
    const auto lines = e2e::splitLines(traced.process.err);
    ASSERT_GE(lines.size(), 4u) << traced.process.err;
    const std::size_t n = lines.size();
    EXPECT_TRUE(e2e::matchesLine("[TRACE] app.cpp:<N>: Entering launch",
                                 lines[0]))
            << lines[0];
    EXPECT_TRUE(e2e::matchesLine("[ERROR] app.cpp:<N>: Exception with "
                                 "message '" + std::string(c.origin)
                                 + "(): " + line + "' caught",
                                 lines[n - 3]))
            << traced.process.err;
    EXPECT_EQ(line, lines[n - 2]);
    EXPECT_TRUE(e2e::matchesLine(
            "[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:<N>)",
            lines[n - 1]))
            << lines[n - 1];
    EXPECT_EQ(1, e2e::countMatching(lines, "[ERROR] <*>"));
    EXPECT_EQ(c.reachesRuntime ? 1 : 0,
              e2e::countMatching(lines, "JvmLauncherLib.c:<N>: jli lib: <*>"));
}

} // namespace

TEST(LaunchFailure, ConfigurationErrorsAreOneLine) {
    const std::vector<FailureCase> cases{
            {"missing configuration file",
             [](Bundle& b, ProcessOptions&) {
                 return "Error opening \"" + b.cfgPath()
                         + "\" file: No such file or directory";
             },
             "CfgFile.cpp(<N>) at load"},
            {"section header without ']'",
             [](Bundle& b, ProcessOptions&) {
                 b.writeConfig("[Application]\n"
                               "app.mainclass=demo.Main\n"
                               "[JavaOptions\n"
                               "java-options=-Dx=1\n");
                 return "Error parsing [" + b.cfgPath()
                         + "] file at 3: Missing ']' character";
             },
             "CfgFile.cpp(<N>) at load"},
            {"configuration file is a directory",
             [](Bundle& b, ProcessOptions&) {
                 makeDirs(b.cfgPath());
                 return "Failed to read \"" + b.cfgPath()
                         + "\" file up to the end: Is a directory";
             },
             "CfgFile.cpp(<N>) at load"},
            {"macro that contains its own name",
             [](Bundle& b, ProcessOptions&) {
                 b.writeConfig("[Application]\napp.mainjar=$APPDIR/app.jar\n");
                 return std::string(
                         "Macros in the value of the \"app.mainjar\" property "
                         "of the \"Application\" section do not settle: "
                         "\"$APPDIR/app.jar\"");
             },
             "CfgFile.cpp(<N>) at expandValue", true, false, "$APPDIR"},
    };
    for (const FailureCase& c : cases) {
        checkFailure(c);
    }
}

TEST(LaunchFailure, UnreadablePackageFileIsOneLine) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "file permissions do not bind the superuser";
    }
    checkFailure({"unreadable package file",
                  [](Bundle& b, ProcessOptions&) {
                      b.writeConfig(minimalConfig);
                      b.writePackage("com.example.demo\n");
                      chmod(b.packagePath().c_str(), 0);
                      return "Error opening \"" + b.packagePath()
                              + "\" file: Permission denied";
                  },
                  "PackageFile.cpp(<N>) at loadFromAppDir"});
}

TEST(LaunchFailure, RuntimeErrorsAreOneLine) {
    const std::vector<FailureCase> cases{
            {"no runtime library in the default runtime",
             [](Bundle& b, ProcessOptions&) {
                 b.writeConfig(minimalConfig);
                 makeDirs(b.runtimeDir() + "/Contents/Home/lib");
                 return "Failed to find JVM in \"" + b.runtimeDir()
                         + "\" directory.";
             },
             "AppLauncher.cpp(<N>) at findJvmLib", false},
            {"configured runtime without library, default one usable",
             [](Bundle& b, ProcessOptions&) {
                 makeDirs(b.root() + "/Contents/empty");
                 b.writeConfig("[Application]\n"
                               "app.runtime=$ROOTDIR/Contents/empty\n"
                               "app.mainclass=demo.Main\n");
                 return "Failed to find JVM in \"" + b.root()
                         + "/Contents/empty\" directory.";
             },
             "AppLauncher.cpp(<N>) at findJvmLib"},
            {"relative runtime directory, a library under the working "
             "directory",
             [](Bundle& b, ProcessOptions& options) {
                 b.linkRuntimeLibrary(b.tempDir() + "/rt", fakeJliPath());
                 options.cwd = b.tempDir();
                 b.writeConfig("[Application]\napp.runtime=rt\n"
                               "app.mainclass=demo.Main\n");
                 return std::string(
                         "The \"app.runtime\" property names a relative "
                         "path, \"rt\": the Java runtime directory must be an "
                         "absolute path (for example under $ROOTDIR)");
             },
             "AppLauncher.cpp(<N>) at findJvmLib"},
            {"runtime library without JLI_Launch",
             [](Bundle& b, ProcessOptions&) {
                 b.writeConfig(minimalConfig);
                 const std::string lib = b.linkRuntimeLibrary(
                         b.runtimeDir(), noLaunchLibPath());
                 return "dlsym(" + lib + ", JLI_Launch) failed. Error: "
                         + dlsymError(lib, "JLI_Launch");
             },
             "UnixDll.cpp(<N>) at getFunction", false},
            {"runtime library that is no library",
             [](Bundle& b, ProcessOptions&) {
                 b.writeConfig(minimalConfig);
                 const std::string lib = b.defaultRuntimeLibrary();
                 writeFile(lib, "not a library\n");
                 return "dlopen(" + lib + ") failed. Error: "
                         + dlopenError(lib);
             },
             "UnixDll.cpp(<N>) at loadLibrary", false},
            {"JLI_Launch returns 1",
             [](Bundle& b, ProcessOptions& options) {
                 b.writeConfig(minimalConfig);
                 options.setEnv("FAKE_JLI_RESULT", "1");
                 return std::string("Failed to launch JVM");
             },
             "JvmLauncher.cpp(<N>) at launch", true, true},
            {"JLI_Launch returns -1",
             [](Bundle& b, ProcessOptions& options) {
                 b.writeConfig(minimalConfig);
                 options.setEnv("FAKE_JLI_RESULT", "-1");
                 return std::string("Failed to launch JVM");
             },
             "JvmLauncher.cpp(<N>) at launch", true, true},
    };
    for (const FailureCase& c : cases) {
        checkFailure(c);
    }
}
