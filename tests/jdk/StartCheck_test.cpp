// The start check of applauncher-assemble with the machine's JDKs: the
// output's runtime, asked with --dry-run, refuses what it would refuse at
// every start, in its own words, and the output is then not written; the
// packager's runtime settings and files take no part.
#include <gtest/gtest.h>

#include <algorithm>

#include "FileChecks.h"
#include "JdkSupport.h"

namespace jdk_tests {
namespace {

typedef std::vector<std::string> Strings;

class StartCheckOnJdk : public ::testing::TestWithParam<Jdk> {
protected:
    void SetUp() override {
        if (GetParam().home.empty()) {
            GTEST_SKIP() << noJdkReason;
        }
        SKIP_IF_JDK_LEFT_OUT(GetParam());
        ASSERT_EQ(testApp().error, "");
        std::string error;
        runtime = smallRuntime(GetParam(), error);
        ASSERT_EQ(error, "");
        makeDirs(temp / "out");
        makeDirs(temp / "home");
    }

    // Assembles an image of the test application with these [Application]
    // and [JavaOptions] lines.
    ProcessResult assemble(const std::string& application,
                           const std::string& javaOptions,
                           const Strings& options = Strings(),
                           ProcessOptions process = ProcessOptions()) {
        writeFile(temp / "app.cfg", "[Application]\n" + application
                  + "\n[JavaOptions]\n" + javaOptions + "\n[Bundle]\n"
                  "bundle.name=App\nbundle.content=" + testApp().jar
                  + "\nbundle.runtime=" + runtime + "\n");
        Strings args{"applauncher-assemble", temp / "app.cfg", "--target",
                     "image", "--output", temp / "out"};
        args.insert(args.end(), options.begin(), options.end());
        process.setEnv("HOME", temp / "home")
                .setEnv("XDG_CACHE_HOME", temp / "home/cache");
        process.timeoutSeconds = 120;
        return runProcess(assemblePath(), args, process);
    }

    std::string jarName() const {
        return testApp().jar.substr(testApp().jar.rfind('/') + 1);
    }

    TempDir temp;
    std::string runtime;
};

TEST_P(StartCheckOnJdk, RefusesWhatTheRuntimeRefusesInItsOwnWords) {
    const std::string jar = "app.mainjar=$APPDIR/" + jarName();
    const struct {
        std::string application;
        std::string javaOptions;
        const char* line;
    } cases[] = {
        {jar, "java-options=-Xmx512",
         "Error occurred during initialization of VM: Too small maximum heap"},
        {jar, "java-options=-XX:+NoSuchOption",
         "Unrecognized VM option 'NoSuchOption'"},
        {"app.mainmodule=java.base/vantrytest.Missing", "",
         "Error: Could not find or load main class vantrytest.Missing in "
         "module java.base"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = assemble(c.application, c.javaOptions);
        EXPECT_EQ(r.exitStatus, 1) << c.line;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "applauncher-assemble: The runtime does not start the "
                         "application (exit status 1 of a trial start with "
                         "--dry-run): " + std::string(c.line) + "\n");
        EXPECT_EQ(listDir(temp / "out"), Strings{}) << c.line;
    }
    // Skipped on request, the same output is written.
    const ProcessResult skipped =
            assemble(jar, "java-options=-Xmx512", {"--no-start-check"});
    EXPECT_EQ(skipped.exitStatus, 0) << skipped.err;
    EXPECT_EQ(listDir(temp / "out"), Strings{"App"});
}

TEST_P(StartCheckOnJdk, ThePackagersSettingsAndFilesTakeNoPart) {
    ProcessOptions process;
    process.setEnv("JAVA_TOOL_OPTIONS", "-Xmx1")
            .setEnv("_JAVA_OPTIONS", "-XX:+NoSuchOption")
            .setEnv("JDK_JAVA_OPTIONS", "--no-such-option")
            .setEnv("CLASSPATH", "/nowhere")
            .setEnv("VANTRY_DEBUG", "true");
    const ProcessResult r = assemble("app.mainjar=$APPDIR/" + jarName(),
                                     "java-options=-Dx=1", {}, process);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(listDir(temp / "out"), Strings{"App"});
    EXPECT_EQ(listDir(temp / "home"), Strings{});
    // And the check runs at all: the same settings in the description
    // are refused.
    const ProcessResult bad = assemble("app.mainjar=$APPDIR/" + jarName(),
                                       "java-options=-XX:+NoSuchOption",
                                       {"--replace"}, process);
    EXPECT_EQ(bad.exitStatus, 1);
    EXPECT_NE(bad.err.find("Unrecognized VM option 'NoSuchOption'"),
              std::string::npos) << bad.err;
}

TEST_P(StartCheckOnJdk, RunsInAnEmptyFolderAndWritesNothing) {
    // From a working folder that holds what a relative option names, the
    // check still refuses it: the launcher starts from anywhere.
    makeDirs(temp / "cwd");
    writeFile(temp / "cwd/opts", "-Xmx64m\n");
    ProcessOptions process;
    process.cwd = temp / "cwd";
    const std::string jar = "app.mainjar=$APPDIR/" + jarName();
    const ProcessResult relative = assemble(
            jar, "java-options=-XX:VMOptionsFile=opts", {}, process);
    EXPECT_EQ(relative.exitStatus, 1) << relative.err;
    EXPECT_EQ(listDir(temp / "out"), Strings{});
    // Options through which the runtime writes files leave nothing in the
    // working folder or the output.
    const ProcessResult writing = assemble(jar,
            "java-options=-Xlog:gc:file=x.log\n"
            "java-options=-XX:ArchiveClassesAtExit=$APPDIR/dyn.jsa", {},
            process);
    EXPECT_EQ(writing.exitStatus, 0) << writing.err;
    EXPECT_EQ(listDir(temp / "cwd"), Strings{"opts"});
    const Strings appFiles = listDir(temp / "out/App/lib/app");
    EXPECT_EQ(std::count(appFiles.begin(), appFiles.end(), "dyn.jsa"), 0);
    EXPECT_EQ(listDir(temp / "out"), Strings{"App"});
}

INSTANTIATE_TEST_SUITE_P(Jdks, StartCheckOnJdk, ::testing::ValuesIn(jdkParams()),
        [](const ::testing::TestParamInfo<Jdk>& info) {
            return info.param.label;
        });

} // namespace
} // namespace jdk_tests
