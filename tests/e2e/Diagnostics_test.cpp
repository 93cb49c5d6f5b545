// What the launcher executable writes on standard error, with diagnostics on
// and off, the second entry of `main` while the runtime runs, and the
// runtime library executing the launcher again in its place.
#include <gtest/gtest.h>

#include "Bundle.h"
#include "Layouts.h"
#include "OutputLines.h"

using namespace testing_support;

namespace {

const char* const typicalConfig =
        "[Application]\n"
        "app.mainjar=$APPDIR/main.jar\n"
        "[JavaOptions]\n"
        "java-options=-Dx=1\n"
        "[ArgOptions]\n"
        "arguments=configured\n";

} // namespace

class Diagnostics : public EveryLayout {};
class SecondEntry : public EveryLayout {};
class RuntimeReexecution : public EveryLayout {};

TEST_P(Diagnostics, FullTraceOfSuccessfulLaunch) {
    Bundle bundle(GetParam());
    bundle.writeConfig(typicalConfig);
    ProcessOptions options;
    options.setEnv("VANTRY_DEBUG", "true").setEnv("FAKE_JLI_STDOUT", "app\n");
    const LaunchResult launch = bundle.run({"a b"}, options);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
    // Standard output belongs to the application alone.
    EXPECT_EQ("app\n", launch.process.out);
    ASSERT_EQ(1u, launch.calls.size());

    const auto lines = e2e::splitLines(launch.process.err);
    ASSERT_GE(lines.size(), 2u) << launch.process.err;
    ASSERT_TRUE(e2e::matchesLine("[TRACE] app.cpp:<N>: Entering launch",
                                 lines.front()))
            << lines.front();
    const long enteredAt = e2e::numberAfter(lines.front(), "app.cpp:");
    EXPECT_EQ("[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:"
                      + std::to_string(enteredAt) + ")",
              lines.back());

    // Every line is a record or a debug line of the plain functions.
    for (const std::string& line : lines) {
        EXPECT_TRUE(e2e::matchesLine("[TRACE] <*>.cpp:<N>: <*>", line)
                    || e2e::matchesLine("JvmLauncherLib.c:<N>: <*>", line))
                << line;
    }
    EXPECT_EQ(0, e2e::countMatching(lines, "[ERROR] <*>"));
    EXPECT_EQ(0, e2e::countMatching(lines, "[WARNING] <*>"));

    // The plain functions show the library, each argument in order and the
    // variable handed on, before the runtime is entered.
    std::vector<std::string> plain;
    for (const std::string& line : lines) {
        if (e2e::matchesLine("JvmLauncherLib.c:<N>: <*>", line)) {
            plain.push_back(line.substr(line.find(": ") + 2));
        }
    }
    std::vector<std::string> expected{"jli lib: ["
                                      + bundle.defaultRuntimeLibrary() + "]"};
    const std::vector<std::string>& args = launch.calls[0].args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        expected.push_back("jli arg[" + std::to_string(i) + "]: [" + args[i]
                           + "]");
    }
    expected.push_back("env var[0]: " + bundle.libEnvVariable() + "=["
                       + bundle.appDir()
                       + "]");
    EXPECT_EQ(expected, plain);
    EXPECT_EQ((std::vector<std::string>{
                      bundle.executable(), "-Dx=1",
                      "-Dvantry.app-path=" + bundle.executable(), "-jar",
                      bundle.appDir() + "/main.jar", "a b"}),
              args);
    EXPECT_EQ(1, e2e::countMatching(
                         lines, "[TRACE] AppLauncher.cpp:<N>: Launcher config "
                                "file path: \"" + bundle.cfgPath() + "\""));
    EXPECT_EQ(1, e2e::countMatching(
                         lines, "[TRACE] JvmLauncher.cpp:<N>: JVM library: \""
                                + bundle.defaultRuntimeLibrary() + "\""));
}

TEST_P(Diagnostics, OnlyExactlyTrueSwitchesThemOn) {
    Bundle bundle(GetParam());
    bundle.writeConfig(typicalConfig);
    for (const char* value : {"", "TRUE", "True", "1", "yes", "true ",
                              " true", "true\n"}) {
        SCOPED_TRACE(std::string("VANTRY_DEBUG=[") + value + "]");
        ProcessOptions options;
        options.setEnv("VANTRY_DEBUG", value);
        const LaunchResult ok = bundle.run({}, options);
        EXPECT_EQ(0, ok.process.exitStatus);
        EXPECT_EQ("", ok.process.err);
        EXPECT_EQ("", ok.process.out);
        EXPECT_EQ(1u, ok.calls.size());

        // A failure is then the short line alone.
        options.setEnv("FAKE_JLI_RESULT", "1");
        const LaunchResult failed = bundle.run({}, options);
        EXPECT_EQ(1, failed.process.exitStatus);
        EXPECT_EQ("Failed to launch JVM\n", failed.process.err);
    }
    // Unset: silent as well.
    const LaunchResult unset = bundle.run();
    EXPECT_EQ(0, unset.process.exitStatus);
    EXPECT_EQ("", unset.process.err);
    EXPECT_EQ("", unset.process.out);
}

TEST_P(SecondEntry, RunsTheSameLaunchAgain) {
    Bundle bundle(GetParam());
    bundle.writeConfig(typicalConfig);
    ProcessOptions options;
    options.setEnv("FAKE_JLI_REENTER", "1");

    // The substitute library enters main again, with other arguments, while
    // its first call runs: the second call gets the first one's vector.
    const LaunchResult launch = bundle.run({"first-entry"}, options);
    EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
    EXPECT_EQ("", launch.process.err);
    ASSERT_EQ(2u, launch.calls.size());
    EXPECT_EQ(0, launch.calls[0].call);
    EXPECT_EQ(1, launch.calls[1].call);
    EXPECT_EQ(launch.calls[0].args, launch.calls[1].args);
    ASSERT_FALSE(launch.calls[0].args.empty());
    EXPECT_EQ("first-entry", launch.calls[0].args.back());
    EXPECT_EQ("0", launch.calls[1].fields.at("reentry-result"));

    // Each entry runs its own wrapper, traced in full.
    options.setEnv("VANTRY_DEBUG", "true");
    const LaunchResult traced = bundle.run({"first-entry"}, options);
    EXPECT_EQ(0, traced.process.exitStatus) << traced.process.err;
    ASSERT_EQ(2u, traced.calls.size());
    const auto lines = e2e::splitLines(traced.process.err);
    EXPECT_EQ(2, e2e::countMatching(lines,
                                    "[TRACE] app.cpp:<N>: Entering launch"));
    EXPECT_EQ(2, e2e::countMatching(lines, "[TRACE] app.cpp:0: Exiting launch "
                                           "(entered at app.cpp:<N>)"));
    EXPECT_EQ(2, e2e::countMatching(lines, "JvmLauncherLib.c:<N>: jli lib: "
                                           "<*>"));
    // The configuration is read once: the second entry reuses the runtime
    // description.
    EXPECT_EQ(1, e2e::countMatching(lines, "[TRACE] <*>: Launcher config file "
                                           "path: <*>"));

    // A failing second entry reports its own failure and exit status.
    options.setEnv("VANTRY_DEBUG", "false").setEnv("FAKE_JLI_RESULT", "1");
    const LaunchResult failed = bundle.run({"first-entry"}, options);
    EXPECT_EQ(1, failed.process.exitStatus);
    EXPECT_EQ("Failed to launch JVM\nFailed to launch JVM\n",
              failed.process.err);
    ASSERT_EQ(2u, failed.calls.size());
    EXPECT_EQ("1", failed.calls[1].fields.at("reentry-result"));
}

TEST_P(RuntimeReexecution, OnlyTheRuntimeLibrarysOwnIsHandedOn) {
    Bundle bundle(GetParam());
    bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
    const std::string exe = bundle.executable();
    const std::vector<std::string> vector{exe, "-Dvantry.app-path=" + exe,
                                          "demo.Main", "1"};
    // Executed again with the runtime vector: handed on as it is.
    ProcessOptions options;
    options.setEnv("FAKE_JLI_EXEC", "runtime");
    LaunchResult launch = bundle.run({"1"}, options);
    EXPECT_EQ("", launch.process.err);
    ASSERT_EQ(2u, launch.calls.size());
    EXPECT_EQ(vector, launch.calls[0].args);
    EXPECT_EQ(vector, launch.calls[1].args);

    // The same process with another command line (an application
    // restarting itself in place) is a start of its own.
    options.setEnv("FAKE_JLI_EXEC", "restart");
    launch = bundle.run({"1"}, options);
    ASSERT_EQ(2u, launch.calls.size());
    EXPECT_EQ("restarted", launch.calls[1].args.back());
    EXPECT_EQ(vector.size(), launch.calls[1].args.size());
}

INSTANTIATE_FOR_EVERY_LAYOUT(Diagnostics);
INSTANTIATE_FOR_EVERY_LAYOUT(SecondEntry);
INSTANTIATE_FOR_EVERY_LAYOUT(RuntimeReexecution);
