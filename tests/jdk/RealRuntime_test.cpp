// The launcher starting a real Java application on every JDK of the machine,
// in every layout. The image's runtime directory reaches the JDK through a
// link named like the layout's library (Contents/Home/lib/libjli.dylib or
// lib/libjli.so -> <jdk>/lib/libjli.so); the JDK's launcher library finds
// its Java home from its own real path.
#include <gtest/gtest.h>

#include <algorithm>

#include "JdkSupport.h"

using namespace jdk_tests;

TEST_P(RealRuntime, JarApplicationGetsArgumentsAndPropertiesExactly) {
    const std::string option = "option with  spaces \xc3\xbc \"q\"";
    const auto bundle = makeBundle(
            "[Application]\n"
            "app.mainjar=$APPDIR/app.jar\n"
            "[JavaOptions]\n"
            "java-options=-Dvantry.test=" + option + "\n"
            "[ArgOptions]\n"
            "arguments=configured $APPDIR\n");

    const std::vector<std::string> args{
            "plain",
            "two  spaces",
            " leading and trailing ",
            "",
            "\"double\" 'single'",
            "back\\slash",
            "\xc3\xbc" "n" "\xc3\xaf" "c" "\xc3\xb6" "d" "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
            "$APPDIR",
            "*",
            "-Dnot.an.option=1"};
    const LaunchResult launch = bundle->run(args, javaOptions());
    ASSERT_FALSE(launch.process.timedOut);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;

    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ(0, out.unparsed) << launch.process.out;
    EXPECT_EQ(args, out.args);
    EXPECT_EQ(bundle->executable(), out.props["vantry.app-path"]);
    EXPECT_EQ(option, out.props["vantry.test"]);
    EXPECT_EQ(bundle->appDir() + "/app.jar", out.props["java.class.path"]);
    EXPECT_EQ(jdk().home, realPath(out.props["java.home"]));

    // No arguments: the configured ones, expanded.
    const LaunchResult configured = bundle->run({}, javaOptions());
    ASSERT_EQ(0, configured.process.exitStatus) << configured.process.err;
    EXPECT_EQ(std::vector<std::string>{"configured " + bundle->appDir()},
              parseOutput(configured.process.out).args);
}

TEST_P(RealRuntime, ClassPathApplicationThroughLinkWithExitStatus) {
    const auto bundle = makeBundle(
            "[Application]\n"
            "app.classpath=$APPDIR/app.jar\n"
            "app.classpath=$APPDIR/extra\n"
            "app.mainclass=vantrytest.Main\n"
            "[JavaOptions]\n"
            "java-options=-Dvantry.test=cp\n"
            "java-options=-Dvantrytest.exit=3\n");
    const std::string link = bundle->tempDir() + "/bin/demo";
    makeSymlink("../" + bundle->executableFromParent(), link);

    ProcessOptions options = javaOptions();
    options.cwd = "/";
    const LaunchResult launch =
            bundle->runProgram(link, {"demo", "one", "two"}, options);
    ASSERT_FALSE(launch.process.timedOut);
    EXPECT_EQ(3, launch.process.exitStatus) << launch.process.err;

    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), out.args);
    EXPECT_EQ("cp", out.props["vantry.test"]);
    // Links are followed: the path is the image's executable, absolute,
    // and the application directory is found beside it.
    const std::string appPath = out.props["vantry.app-path"];
    ASSERT_FALSE(appPath.empty());
    EXPECT_EQ('/', appPath[0]) << appPath;
    EXPECT_EQ(realPath(bundle->executable()), realPath(appPath)) << appPath;
    const std::string classPath = out.props["java.class.path"];
    const std::string::size_type colon = classPath.find(':');
    ASSERT_NE(std::string::npos, colon) << classPath;
    EXPECT_EQ(realPath(bundle->appDir() + "/app.jar"),
              realPath(classPath.substr(0, colon)));
    EXPECT_EQ(realPath(bundle->appDir() + "/extra"),
              realPath(classPath.substr(colon + 1)));
}

// Another JDK's libjvm.so on LD_LIBRARY_PATH: the JDK's launcher library
// executes the launcher again, with the whole runtime vector, first.
TEST_P(RealRuntime, AnotherJdkOnLibraryPathLeavesArgumentsAlone) {
    const auto other = std::find_if(
            machineJdks().begin(), machineJdks().end(),
            [this](const Jdk& j) { return j.home != jdk().home; });
    if (other == machineJdks().end()) {
        GTEST_SKIP() << "Needs a second JDK";
    }
    const auto bundle = makeBundle("[Application]\n"
                                   "app.mainjar=$APPDIR/app.jar\n"
                                   "[JavaOptions]\njava-options=-Xmx64m\n");
    ProcessOptions options = javaOptions();
    options.setEnv("LD_LIBRARY_PATH", other->home + "/lib/server");
    const LaunchResult launch = bundle->run({"1", "-Xmx8m"}, options);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ((std::vector<std::string>{"1", "-Xmx8m"}), out.args);
    EXPECT_EQ(bundle->executable(), out.props["vantry.app-path"]);
    EXPECT_EQ(jdk().home, realPath(out.props["java.home"]));
}

// A locked application does not see what the runtime's option variables
// would inject; an open one sees it exactly as `java` does.
TEST_P(RealRuntime, LockedApplicationIgnoresJavaToolOptions) {
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "locked" : "open");
        const auto bundle = makeBundle(
                std::string("[Application]\n")
                + (locked ? "app.locked=true\n" : "")
                + "app.classpath=$APPDIR/app.jar\n"
                  "app.mainclass=vantrytest.Main\n");
        ProcessOptions options = javaOptions();
        options.setEnv("JAVA_TOOL_OPTIONS", "-Dvantry.test=injected");
        const LaunchResult launch = bundle->run({}, options);
        ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
        if (locked) {
            EXPECT_EQ("<unset>",
                      parseOutput(launch.process.out).props["vantry.test"]);
            EXPECT_EQ("", launch.process.err);
            continue;
        }
        const ProcessResult java = runJava(
                *bundle,
                {"-classpath", bundle->appDir() + "/app.jar",
                 "-Dvantry.app-path=" + bundle->executable(),
                 "vantrytest.Main"},
                options);
        EXPECT_EQ("injected",
                  parseOutput(launch.process.out).props["vantry.test"]);
        EXPECT_EQ(java.out, launch.process.out);
        EXPECT_EQ(java.err, launch.process.err);
    }
}

// Any process of the user can attach to an open application and load an
// agent into it; nobody can attach to a locked one.
TEST_P(RealRuntime, LockedApplicationCannotBeAttached) {
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "locked" : "open");
        const auto bundle = makeBundle(
                std::string("[Application]\n")
                + (locked ? "app.locked=true\n" : "")
                + "app.classpath=$APPDIR/app.jar\n"
                  "app.mainclass=vantrytest.Main\n"
                  "[JavaOptions]\njava-options=-Dvantrytest.sleep=20000\n"
                  "java-options=-Dvantrytest.pid=$APPDIR/pid\n");
        ProcessOptions options = bundle->baseOptions();
        const ProcessOptions java = javaOptions();
        options.env.insert(options.env.end(), java.env.begin(),
                           java.env.end());
        // The application runs until the attempt is over, then is ended.
        const ProcessResult attempt = runProcess(
                "/bin/sh",
                {"sh", "-c",
                 "\"$0\" >/dev/null 2>&1 & app=$!; i=0;"
                 " while [ ! -s \"$1\" ] && [ $i -lt 400 ]; do"
                 " sleep 0.05; i=$((i+1)); done;"
                 " \"$2\" -cp \"$3\" vantrytest.Attach \"$(cat \"$1\")\";"
                 " kill $app; wait $app",
                 bundle->executable(), bundle->appDir() + "/pid",
                 jdk().home + "/bin/java", bundle->appDir() + "/app.jar"},
                options);
        EXPECT_EQ(locked ? "com.sun.tools.attach.AttachNotSupportedException\n"
                         : "attached\n",
                  attempt.out)
                << attempt.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
        Jdks, RealRuntime,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::ValuesIn(allLayouts())),
        jdkAndLayoutName);
