// Where the launcher executable looks: its own path however it was started,
// the configuration file (the bundle's or the per-user one), the runtime
// directory and the runtime's launcher library.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "Bundle.h"
#include "Layouts.h"
#include "OutputLines.h"

using namespace testing_support;

namespace {

// A configuration whose only application argument tells which file it was.
std::string taggedConfig(const std::string& tag) {
    return "[Application]\napp.mainclass=demo.Main\n"
           "[ArgOptions]\narguments=" + tag + "\n";
}

// The last argument the runtime received, or a note why there is none.
std::string lastArgument(const LaunchResult& launch) {
    if (launch.process.exitStatus != 0 || launch.calls.size() != 1
            || launch.calls[0].args.empty()) {
        return "<failed: " + launch.process.err + ">";
    }
    return launch.calls[0].args.back();
}

std::string userCfgDir(const Bundle& bundle) {
    return bundle.userConfigBase() + "/com.example.demo";
}


} // namespace

class ConfigLocation : public EveryLayout {};
class RuntimeLocation : public EveryLayout {};
class ExecutablePath : public EveryLayout {};

TEST_P(ConfigLocation, PerUserFileChosenThroughPackageName) {
    Bundle bundle(GetParam());
    bundle.writeConfig(taggedConfig("bundle"));
    const std::string userCfg = userCfgDir(bundle) + "/Demo.cfg";
    writeFile(userCfg, taggedConfig("per-user"));

    // No package file: the per-user directory is not consulted.
    EXPECT_EQ("bundle", lastArgument(bundle.run()));

    // The package name selects the per-user file; only the first line of
    // the package file counts.
    bundle.writePackage("com.example.demo\nsomething.else\n");
    EXPECT_EQ("per-user", lastArgument(bundle.run()));
    ProcessOptions debug;
    debug.setEnv("VANTRY_DEBUG", "true");
    const LaunchResult traced = bundle.run({}, debug);
    const auto lines = e2e::splitLines(traced.process.err);
    EXPECT_EQ(1, e2e::countMatching(
                         lines, "[TRACE] <*>: Check [" + userCfg + "] file exit"))
            << traced.process.err;
    EXPECT_EQ(1, e2e::countMatching(lines, "[TRACE] <*>: Launcher config file "
                                           "path: \"" + userCfg + "\""));

    // Another package name: its directory has no file, the bundle's is used.
    bundle.writePackage("com.example.other\n");
    EXPECT_EQ("bundle", lastArgument(bundle.run()));

    // An empty package name means no package.
    bundle.writePackage("\ncom.example.demo\n");
    EXPECT_EQ("bundle", lastArgument(bundle.run()));
}

TEST_P(ConfigLocation, PerUserFileOnlyWhenTheUserAloneControlsIt) {
    Bundle bundle(GetParam());
    bundle.writeConfig(taggedConfig("bundle"));
    bundle.writePackage("com.example.demo\n");
    const std::string userCfg = userCfgDir(bundle) + "/Demo.cfg";
    const std::string elsewhere = bundle.tempDir() + "/elsewhere.cfg";
    writeFile(elsewhere, taggedConfig("per-user"));
    makeSymlink(elsewhere, userCfg);
    EXPECT_EQ("bundle", lastArgument(bundle.run()));

    unlink(userCfg.c_str());
    writeFile(userCfg, taggedConfig("per-user"));
    chmod(userCfg.c_str(), 0666);
    EXPECT_EQ("bundle", lastArgument(bundle.run()));
    chmod(userCfg.c_str(), 0644);
    EXPECT_EQ("per-user", lastArgument(bundle.run()));
    if (geteuid() == 0 && chown(userCfg.c_str(), 65534, 65534) == 0) {
        EXPECT_EQ("bundle", lastArgument(bundle.run()));
    }
}

TEST_P(ConfigLocation, MissingOrEmptyHomeFallsBackToBundleFile) {
    Bundle bundle(GetParam());
    bundle.writeConfig(taggedConfig("bundle"));
    writeFile(userCfgDir(bundle) + "/Demo.cfg",
              taggedConfig("per-user"));
    bundle.writePackage("com.example.demo\n");

    // HOME unset: the launch still succeeds, silently, from the bundle.
    ProcessOptions noHome;
    noHome.unsetEnv("HOME");
    LaunchResult launch = bundle.run({}, noHome);
    EXPECT_EQ("bundle", lastArgument(launch));
    EXPECT_EQ("", launch.process.err);

    // With diagnostics the missing variable is reported as an error record,
    // without the short error line of a failed launch.
    noHome.setEnv("VANTRY_DEBUG", "true");
    launch = bundle.run({}, noHome);
    EXPECT_EQ("bundle", lastArgument(launch));
    const auto lines = e2e::splitLines(launch.process.err);
    const std::string record =
            "[ERROR] <*>.cpp:<N>: Exception with message "
            "'UnixSysInfo.cpp(<N>) at getEnvVariable(): getenv(HOME) failed. "
            "Variable not set' caught";
    EXPECT_EQ(1, e2e::countMatching(lines, record)) << launch.process.err;
    EXPECT_EQ(1, e2e::countMatching(lines, "[ERROR] <*>"));
    EXPECT_EQ(0, e2e::countMatching(lines, "getenv(HOME)<*>"));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(e2e::matchesLine(
            "[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:<N>)",
            lines.back()));

    // HOME set but empty: no per-user directory, and no error.
    ProcessOptions emptyHome;
    emptyHome.setEnv("HOME", "").setEnv("VANTRY_DEBUG", "true");
    launch = bundle.run({}, emptyHome);
    EXPECT_EQ("bundle", lastArgument(launch));
    EXPECT_EQ(0, e2e::countMatching(e2e::splitLines(launch.process.err),
                                    "[ERROR] <*>"));
    EXPECT_EQ(0, e2e::countMatching(e2e::splitLines(launch.process.err),
                                    "<*>Check [<*>"));
}

TEST_P(RuntimeLocation, ConfiguredRuntimeAndLibraryCandidates) {
    ProcessOptions debug;
    debug.setEnv("VANTRY_DEBUG", "true");
    const auto jliLibLine = [](const std::string& lib) {
        return "JvmLauncherLib.c:<N>: jli lib: [" + lib + "]";
    };

    {
        SCOPED_TRACE("app.runtime names another directory");
        // The default runtime holds a library without JLI_Launch: using it
        // would fail the launch.
        Bundle bundle(GetParam(), "Demo", false);
        bundle.linkRuntimeLibrary(bundle.runtimeDir(), noLaunchLibPath());
        const std::string other = bundle.root() + "/Contents/other runtime";
        const std::string lib = bundle.linkRuntimeLibrary(other, fakeJliPath());
        bundle.writeConfig("[Application]\n"
                           "app.runtime=$ROOTDIR/Contents/other runtime\n"
                           "app.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run({}, debug);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ(1u, launch.calls.size());
        EXPECT_EQ(1, e2e::countMatching(e2e::splitLines(launch.process.err),
                                        jliLibLine(lib)))
                << launch.process.err;
    }
    {
        SCOPED_TRACE("default runtime, traced");
        Bundle bundle(GetParam());
        bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run({}, debug);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        const auto lines = e2e::splitLines(launch.process.err);
        EXPECT_EQ(1, e2e::countMatching(
                             lines, "[TRACE] AppLauncher.cpp:<N>: Property "
                                    "\"app.runtime\" not found in "
                                    "\"Application\" section of launcher "
                                    "config file. Using Java runtime from \""
                                    + bundle.runtimeDir() + "\" directory"))
                << launch.process.err;
        EXPECT_EQ(1, e2e::countMatching(
                             lines, jliLibLine(bundle.defaultRuntimeLibrary())));
    }
    {
        SCOPED_TRACE("only the second candidate");
        Bundle bundle(GetParam(), "Demo", false);
        const std::string lib = bundle.linkRuntimeLibrary(
                bundle.runtimeDir(), fakeJliPath(), LibCandidate::Second);
        bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run({}, debug);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ(1u, launch.calls.size());
        EXPECT_EQ(1, e2e::countMatching(e2e::splitLines(launch.process.err),
                                        jliLibLine(lib)));
    }
    {
        SCOPED_TRACE("both candidates: the first wins, even when unusable");
        Bundle bundle(GetParam(), "Demo", false);
        const std::string first = bundle.linkRuntimeLibrary(
                bundle.runtimeDir(), noLaunchLibPath(), LibCandidate::First);
        bundle.linkRuntimeLibrary(bundle.runtimeDir(), fakeJliPath(),
                                  LibCandidate::Second);
        bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run();
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_TRUE(launch.calls.empty());
        EXPECT_EQ(0u, launch.process.err.find("dlsym(" + first + ", JLI_Launch)"))
                << launch.process.err;
    }
    {
        SCOPED_TRACE("a dangling first candidate does not count");
        Bundle bundle(GetParam(), "Demo", false);
        bundle.linkRuntimeLibrary(bundle.runtimeDir(),
                                  bundle.tempDir() + "/missing.so",
                                  LibCandidate::First);
        const std::string lib = bundle.linkRuntimeLibrary(
                bundle.runtimeDir(), fakeJliPath(), LibCandidate::Second);
        bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run({}, debug);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ(1, e2e::countMatching(e2e::splitLines(launch.process.err),
                                        jliLibLine(lib)));
    }
}

TEST_P(ExecutablePath, LinksAndRelativePathsLeadToTheRealExecutable) {
    // The image's folder is also reached through a link, as /Applications
    // or /opt may be.
    Bundle bundle(GetParam(), "Demo", "Volumes/apps", true);
    bundle.writeConfig("[Application]\n"
                       "app.mainclass=demo.Main\n"
                       "[JavaOptions]\n"
                       "java-options=-Dbin=$BINDIR\n"
                       "java-options=-Droot=$ROOTDIR\n"
                       "java-options=-Dapp=$APPDIR\n");
    const std::string tmp = bundle.tempDir();
    const std::string exe = bundle.executable();
    const std::string fromParent = bundle.executableFromParent();
    const std::string binDir = bundle.binDir();
    const std::string binFromRoot = binDir.substr(bundle.root().size() + 1);
    makeSymlink(exe, tmp + "/links/absolute");
    makeSymlink("../Volumes/apps/" + fromParent, tmp + "/links/relative");
    // A chain: bin/demo -> ../share/demo -> ../../Volumes/.../Demo
    makeSymlink("../share/demo", tmp + "/x/bin/demo");
    makeSymlink("../../Volumes/apps/" + fromParent, tmp + "/x/share/demo");
    makeSymlink(tmp, tmp + "/dirlink");
    makeSymlink(binDir, tmp + "/bindir");
    makeSymlink("Volumes/apps", tmp + "/Applications");
    makeSymlink("../Applications/" + fromParent, tmp + "/bin/demo");
    // A link inside the image, as packagers add for the command line.
    makeSymlink("../../" + binFromRoot + "/Demo",
                bundle.root() + "/Resources/bin/demo");

    struct Start {
        const char* name;
        std::string program;
        std::string cwd;
    };
    const std::string fromRoot = tmp.substr(1);
    const std::vector<Start> starts{
            {"absolute path", exe, "/"},
            {"absolute link", tmp + "/links/absolute", "/"},
            {"relative link from another cwd", tmp + "/links/relative", "/"},
            {"relative link by a relative path", "./relative",
             tmp + "/links"},
            {"chain of links", tmp + "/x/bin/demo", "/"},
            {"chain of links by a relative path", "bin/demo", tmp + "/x"},
            {"relative path from the image's parent", fromParent,
             tmp + "/Volumes/apps"},
            {"relative path from its directory", "./Demo", binDir},
            {"through a directory link",
             tmp + "/dirlink/Volumes/apps/" + fromParent, "/"},
            {"'..' inside the image",
             binDir + "/../" + binFromRoot.substr(binFromRoot.rfind('/') + 1)
                     + "/Demo",
             "/"},
            {"a linked executable directory", tmp + "/bindir/Demo", "/"},
            {"a link inside the image", bundle.root() + "/Resources/bin/demo",
             "/"},
            {"a relative link into a linked folder, from /",
             fromRoot + "/bin/demo", "/"},
    };
    const std::string realExe = canonicalPath(exe);
    const std::string realRoot = canonicalPath(bundle.root());
    const std::string appFromRoot =
            bundle.appDir().substr(bundle.root().size());
    ASSERT_FALSE(realExe.empty());
    for (const Start& start : starts) {
        SCOPED_TRACE(start.name);
        ProcessOptions options;
        options.cwd = start.cwd;
        const LaunchResult launch = bundle.runProgram(
                start.program, {"some-name", "arg"}, options);
        ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
        ASSERT_EQ(1u, launch.calls.size());
        const std::vector<std::string>& args = launch.calls[0].args;
        ASSERT_EQ(7u, args.size());
        // Argument 0, the property and the macros name the real locations.
        EXPECT_EQ(realExe, args[0]);
        EXPECT_EQ("-Dbin=" + realRoot + "/" + binFromRoot, args[1]);
        EXPECT_EQ("-Droot=" + realRoot, args[2]);
        EXPECT_EQ("-Dapp=" + realRoot + appFromRoot, args[3]);
        EXPECT_EQ("-Dvantry.app-path=" + realExe, args[4]);
        EXPECT_EQ("demo.Main", args[5]);
        EXPECT_EQ("arg", args[6]);
    }
}

TEST_P(ExecutablePath, BackslashIsPartOfTheName) {
    Bundle bundle(GetParam(), "We\\ird");
    bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
    const LaunchResult launch = bundle.run();
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
    ASSERT_EQ(1u, launch.calls.size());
    EXPECT_EQ(canonicalPath(bundle.executable()), launch.calls[0].args[0]);
}

// The Linux image's per-user file lies under XDG_CONFIG_HOME when that names
// an absolute directory, else under $HOME/.config.
TEST(LinuxConfigLocation, XdgConfigHomeWhenAbsolute) {
    if (allLayouts().back() != Layout::LinuxImage) {
        GTEST_SKIP() << "No Linux image launcher on this system";
    }
    Bundle bundle(Layout::LinuxImage);
    bundle.writeConfig(taggedConfig("image"));
    bundle.writePackage("com.example.demo\n");
    writeFile(bundle.tempDir() + "/xdg/com.example.demo/Demo.cfg",
              taggedConfig("xdg"));
    writeFile(userCfgDir(bundle) + "/Demo.cfg", taggedConfig("home"));

    ProcessOptions options;
    options.setEnv("XDG_CONFIG_HOME", bundle.tempDir() + "/xdg");
    EXPECT_EQ("xdg", lastArgument(bundle.run({}, options)));
    options.setEnv("XDG_CONFIG_HOME", "");
    EXPECT_EQ("home", lastArgument(bundle.run({}, options)));
    // A relative value is ignored, even where it would lead to a file.
    options.setEnv("XDG_CONFIG_HOME", "xdg");
    options.cwd = bundle.tempDir();
    EXPECT_EQ("home", lastArgument(bundle.run({}, options)));
}

INSTANTIATE_FOR_EVERY_LAYOUT(ConfigLocation);
INSTANTIATE_FOR_EVERY_LAYOUT(RuntimeLocation);
INSTANTIATE_FOR_EVERY_LAYOUT(ExecutablePath);
