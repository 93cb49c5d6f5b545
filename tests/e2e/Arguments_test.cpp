// The argument vector and the environment that the launcher executable hands
// to the runtime's JLI_Launch, seen through the substitute runtime library.
#include <gtest/gtest.h>

#include <functional>

#include "Bundle.h"
#include "Layouts.h"

using namespace testing_support;

namespace {

std::string appPathOption(const Bundle& bundle) {
    return "-Dvantry.app-path=" + bundle.executable();
}

// The one call of a successful, silent launch.
FakeJliCall onlyCall(const LaunchResult& launch) {
    EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
    EXPECT_EQ("", launch.process.err);
    EXPECT_EQ("", launch.process.out);
    EXPECT_EQ(1u, launch.calls.size());
    return launch.calls.empty() ? FakeJliCall() : launch.calls[0];
}

} // namespace

class LaunchArguments : public EveryLayout {};

TEST_P(LaunchArguments, TypicalConfigurationReachesJliLaunchExactly) {
    Bundle bundle(GetParam());
    bundle.writeConfig(
            "; a typical configuration\n"
            "[Application]\n"
            "app.mainjar=$APPDIR/main.jar\n"
            "app.classpath=$APPDIR/lib/a.jar\n"
            "app.classpath=$ROOTDIR/lib/b c.jar\n"
            "[JavaOptions]\n"
            "java-options=-Xmx64m\n"
            "java-options=-Dbin=$BINDIR\n"
            "[ArgOptions]\n"
            "arguments=first\n"
            "arguments=second arg\n");

    FakeJliCall call = onlyCall(bundle.run());

    const std::vector<std::string> expected{
            bundle.executable(),
            "-classpath",
            bundle.appDir() + "/lib/a.jar:" + bundle.root() + "/lib/b c.jar",
            "-Xmx64m",
            "-Dbin=" + bundle.binDir(),
            appPathOption(bundle),
            "-jar",
            bundle.appDir() + "/main.jar",
            "first",
            "second arg"};
    EXPECT_EQ(expected, call.args);
    EXPECT_EQ(std::to_string(expected.size()), call.fields["argc"]);
    EXPECT_EQ("null", call.fields["argv-end"]);

    // The constant arguments after the vector.
    const std::map<std::string, std::string> constants{
            {"jargc", "0"},       {"jargv", "null"},      {"appclassc", "0"},
            {"appclassv", "null"}, {"fullversion", ""},    {"dotversion", ""},
            {"pname", "java"},    {"lname", "java"},      {"javaargs", "0"},
            {"cpwildcard", "0"},  {"javaw", "0"},         {"ergo", "0"}};
    for (const auto& field : constants) {
        EXPECT_EQ(field.second, call.fields[field.first]) << field.first;
        EXPECT_FALSE(call.nullFields[field.first]) << field.first;
    }
}

TEST_P(LaunchArguments, ModuleClassAndJarVariants) {
    struct Variant {
        const char* name;
        const char* config;
        std::function<std::vector<std::string>(const Bundle&)> expected;
    };
    const std::vector<Variant> variants{
            {"module",
             "[Application]\n"
             "app.mainmodule=demo.app/demo.app.Main\n"
             "app.modulepath=$APPDIR/mods\n"
             "app.modulepath=$ROOTDIR/extra mods\n",
             [](const Bundle& b) {
                 return std::vector<std::string>{
                         b.executable(), "--module-path", b.appDir() + "/mods",
                         "--module-path", b.root() + "/extra mods",
                         appPathOption(b), "-m", "demo.app/demo.app.Main"};
             }},
            {"class",
             "[Application]\n"
             "app.mainclass=demo.Main\n"
             "app.classpath=$APPDIR/classes\n"
             "app.classpath=$APPDIR/lib/dep.jar\n"
             "[ArgOptions]\n"
             "arguments=x\n",
             [](const Bundle& b) {
                 return std::vector<std::string>{
                         b.executable(), "-classpath",
                         b.appDir() + "/classes:" + b.appDir() + "/lib/dep.jar",
                         appPathOption(b), "demo.Main", "x"};
             }},
            {"jar",
             "[Application]\n"
             "app.mainjar=$APPDIR/demo.jar\n",
             [](const Bundle& b) {
                 return std::vector<std::string>{b.executable(),
                                                 appPathOption(b), "-jar",
                                                 b.appDir() + "/demo.jar"};
             }},
            {"options only",
             "[JavaOptions]\n"
             "java-options=-Da=1\n"
             "java-options=-Db=2\n",
             [](const Bundle& b) {
                 return std::vector<std::string>{b.executable(), "-Da=1",
                                                 "-Db=2", appPathOption(b)};
             }},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        Bundle bundle(GetParam());
        bundle.writeConfig(variant.config);
        EXPECT_EQ(variant.expected(bundle), onlyCall(bundle.run()).args);
    }
}

TEST_P(LaunchArguments, CommandLineReplacesConfiguredArgumentsUnexpanded) {
    Bundle bundle(GetParam());
    bundle.writeConfig(
            "[Application]\n"
            "app.mainclass=demo.Main\n"
            "[ArgOptions]\n"
            "arguments=$ROOTDIR/configured\n"
            "arguments=second configured\n");
    const std::vector<std::string> head{bundle.executable(),
                                        appPathOption(bundle), "demo.Main"};
    const auto withTail = [&head](std::vector<std::string> tail) {
        std::vector<std::string> all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };

    // No arguments: the configured ones, expanded.
    EXPECT_EQ(withTail({bundle.root() + "/configured", "second configured"}),
              onlyCall(bundle.run()).args);

    // Given ones replace them byte for byte, macros and "-psn_" arguments
    // are not touched except that the latter are dropped everywhere.
    EXPECT_EQ(withTail({"$APPDIR/x", "with  two spaces", "",
                        "\xc3\xbc\"'\\ \t$", "-PSN_1", "x-psn_1", "last"}),
              onlyCall(bundle.run({"-psn_0_12345", "$APPDIR/x",
                                   "with  two spaces", "", "\xc3\xbc\"'\\ \t$",
                                   "-psn_", "-PSN_1", "x-psn_1", "last"}))
                      .args);

    // Only "-psn_" arguments: nothing is left of them, so the configured
    // arguments stay.
    EXPECT_EQ(withTail({bundle.root() + "/configured", "second configured"}),
              onlyCall(bundle.run({"-psn_0_42"})).args);
}

TEST_P(LaunchArguments, LibrarySearchPathHandedOnWithAppDir) {
    Bundle bundle(GetParam());
    bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
    const std::string appDir = bundle.appDir();
    struct Case {
        const char* name;
        bool set;
        std::string value;
        std::string expected;
        bool added;
    };
    const std::vector<Case> cases{
            {"unset", false, "", appDir, true},
            {"empty", true, "", appDir, true},
            {"other entries", true, "/opt/lib:/usr/local/lib",
             "/opt/lib:/usr/local/lib:" + appDir, true},
            {"listed", true, "/opt/lib:" + appDir + ":/usr/lib",
             "/opt/lib:" + appDir + ":/usr/lib", false},
            {"app dir alone", true, appDir, appDir, false},
            {"trailing slash", true, appDir + "/", appDir + "/:" + appDir,
             true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessOptions options;
        options.setEnv("FAKE_JLI_ENV", bundle.libEnvVariable())
                .setEnv("VANTRY_DEBUG", "true");
        if (c.set) {
            options.setEnv(bundle.libEnvVariable(), c.value);
        }
        LaunchResult launch = bundle.run({}, options);
        ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
        ASSERT_EQ(1u, launch.calls.size());
        EXPECT_EQ(c.expected,
                  launch.calls[0].fields["env " + bundle.libEnvVariable()]);
        // The variable is handed on only when the app dir had to be added.
        const std::string line = "env var[0]: " + bundle.libEnvVariable() + "=["
                + c.expected + "]\n";
        EXPECT_EQ(c.added, launch.process.err.find(line) != std::string::npos)
                << launch.process.err;
        EXPECT_EQ(c.added, launch.process.err.find("env var[") !=
                                   std::string::npos);
    }
}

INSTANTIATE_FOR_EVERY_LAYOUT(LaunchArguments);
