// The per-user launch log of an application that the system started (a
// child of process 1, standard error no terminal), with the real runtime:
// what it holds, its rotation, when it cannot be used, and the alert that
// shows the runtime's last words.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "JdkSupport.h"

using namespace jdk_tests;

namespace {

const std::string::size_type npos = std::string::npos;

// A start as by the system: a child of process 1, standard error no
// terminal. In a new PID namespace the shell is process 1 and runs the
// launcher as its child; where user namespaces allow, as a user other than
// root, for whom a read-only directory is one. Empty when neither works.
const std::pair<std::vector<std::string>, bool>& systemStart() {
    static const std::pair<std::vector<std::string>, bool> found = [] {
        for (const bool asUser : {true, false}) {
            std::vector<std::string> wrapper{
                    exists("/usr/bin/unshare") ? "/usr/bin/unshare"
                                               : "/bin/unshare",
                    "--kill-child", "--pid", "--fork", "/bin/sh", "-c",
                    "\"$0\" \"$@\"; exit $?"};
            if (asUser) {
                wrapper.insert(wrapper.begin() + 1, "--map-user=1000");
            }
            ProcessOptions options;
            options.wrapper = wrapper;
            if (runProcess("/bin/sh", {"sh", "-c", "test $PPID = 1"}, options)
                        .exitStatus == 0) {
                return std::make_pair(wrapper, asUser || geteuid() != 0);
            }
        }
        return std::make_pair(std::vector<std::string>(), false);
    }();
    return found;
}

// The text that the Linux host wrote in place of an alert; empty when none.
std::string alertIn(const std::string& text) {
    const std::string open = "--- alert: Demo ---\n";
    const std::string::size_type start = text.find(open);
    return start == npos
            ? std::string()
            : text.substr(start + open.size(),
                          text.find("\n--- end of alert ---\n", start)
                                  - start - open.size());
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Waits, a minute at most, until `ready` returns true; returns its last
// answer.
template <typename Ready>
bool waitUntil(Ready ready) {
    for (int i = 0; i != 6000; ++i) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ready();
}

const char* const jarApp = "[Application]\napp.mainjar=$APPDIR/app.jar\n";
const char* const throwingApp =
        "[Application]\napp.classpath=$APPDIR/app.jar\n"
        "app.mainclass=vantrytest.Main\n"
        "[JavaOptions]\njava-options=-Dvantrytest.throw=no config\n";

} // namespace

// Started by the system (bundle only: the Linux image keeps no log).
class RealRuntimeFromSystem : public RealRuntime {
protected:
    void SetUp() override {
        RealRuntime::SetUp();
        if (!IsSkipped() && !HasFatalFailure()
                && systemStart().first.empty()) {
            GTEST_SKIP() << "Cannot start the launcher as a child of process "
                            "1: unshare --pid --fork needs root or user "
                            "namespaces";
        }
    }

    static LaunchResult runAsSystem(const Bundle& bundle,
                                    const std::vector<std::string>& args,
                                    ProcessOptions options = javaOptions()) {
        options.wrapper = systemStart().first;
        return bundle.run(args, options);
    }

    static std::string logDir(const Bundle& bundle) {
        return bundle.homeDir() + "/Library/Logs/Demo";
    }
};

TEST_P(RealRuntime, FromAPipeThereIsNoLogAndNoAlert) {
    const auto bundle = makeBundle(throwingApp);
    const LaunchResult launch = bundle->run({}, javaOptions());
    EXPECT_EQ(1, launch.process.exitStatus);
    EXPECT_NE(npos, launch.process.err.find("IllegalStateException: no config"))
            << launch.process.err;
    EXPECT_EQ("", alertIn(launch.process.err)) << launch.process.err;
    EXPECT_FALSE(exists(bundle->homeDir() + "/Library"));
}

TEST_P(RealRuntimeFromSystem, FailuresAreInTheLogAndTheAlert) {
    // A missing main class makes the runtime end the process itself
    // (status 1) before control returns to the launcher, which tells from
    // its exit handler; an exception out of main returns a failure.
    const struct {
        std::string config;
        const char* said;
        bool alert;
    } cases[] = {
        {"[Application]\napp.classpath=$APPDIR/app.jar\n"
         "app.mainclass=vantrytest.Missing\n",
         "Error: Could not find or load main class vantrytest.Missing\n",
         true},
        {throwingApp, "Exception in thread \"main\" "
                      "java.lang.IllegalStateException: no config\n", true},
        {"[Application]\napp.runtime=$ROOTDIR/none\n",
         "Failed to find JVM in \"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        const auto bundle = makeBundle(c.config);
        const LaunchResult launch = runAsSystem(*bundle, {});
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_EQ("", launch.process.out + launch.process.err);
        const std::string log = readFile(logDir(*bundle) + "/Demo.log");
        const std::string alert = alertIn(log);
        EXPECT_NE(npos, log.find(c.said)) << log;
        EXPECT_EQ(c.alert, alert.find(c.said) != npos) << log;
        EXPECT_EQ(c.alert, alert.find(logDir(*bundle) + "/Demo.log") != npos);
        EXPECT_EQ(npos, alert.find("Failed to launch JVM")) << alert;
    }
}

TEST_P(RealRuntimeFromSystem, StartsAppendToThePrivateLogRotatedPast10MiB) {
    const auto bundle = makeBundle(jarApp);
    const std::string dir = logDir(*bundle);
    const auto startWith = [&](const std::string& arg) {
        const LaunchResult launch = runAsSystem(*bundle, {arg});
        EXPECT_EQ(0, launch.process.exitStatus);
        EXPECT_EQ("", launch.process.out + launch.process.err);
        return parseOutput(readFile(dir + "/Demo.log")).args;
    };
    EXPECT_EQ(std::vector<std::string>{"first"}, startWith("first"));
    EXPECT_EQ(040700u, modeOf(dir));
    EXPECT_EQ(0100600u, modeOf(dir + "/Demo.log"));
    const std::string first = readFile(dir + "/Demo.log");
    EXPECT_EQ(0u, first.find("=== started ")) << first;
    EXPECT_EQ("", alertIn(first));

    const std::string large = first + std::string(10 << 20, 'x');
    writeFile(dir + "/Demo.log", large);
    writeFile(dir + "/Demo.1.log", "older\n");
    EXPECT_EQ(std::vector<std::string>{"second"}, startWith("second"));
    EXPECT_EQ((std::vector<std::string>{"second", "third"}),
              startWith("third"));
    EXPECT_EQ(large, readFile(dir + "/Demo.1.log"));
    std::error_code ec;
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(dir, ec),
                               std::filesystem::directory_iterator()));
}

TEST_P(RealRuntimeFromSystem, AnUnusableLogLeavesTheStartAsItWas) {
    // What spoils the log: a mode for its directory, a link in its place,
    // or no HOME. Root writes into read-only directories.
    const struct {
        mode_t dirMode;
        bool linked;
        bool home;
    } cases[] = {{0500, false, true}, {0777, false, true},
                 {0700, true, true}, {0700, false, false}};
    for (const auto& c : cases) {
        if (c.dirMode == 0500 && !systemStart().second) {
            continue;
        }
        SCOPED_TRACE(::testing::Message() << std::oct << c.dirMode << " "
                                          << c.linked << c.home);
        const auto bundle = makeBundle(jarApp);
        const std::string dir = logDir(*bundle);
        const std::string elsewhere = bundle->tempDir() + "/elsewhere";
        makeDirs(dir);
        chmod(dir.c_str(), c.dirMode);
        writeFile(elsewhere, "keep\n");
        if (c.linked) {
            makeSymlink(elsewhere, dir + "/Demo.log");
        }
        ProcessOptions options = javaOptions();
        if (!c.home) {
            options.unsetEnv("HOME");
        }
        const LaunchResult launch = runAsSystem(*bundle, {"arg"}, options);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ(std::vector<std::string>{"arg"},
                  parseOutput(launch.process.out).args);
        EXPECT_EQ("", launch.process.err);
        EXPECT_FALSE(S_ISREG(modeOf(dir + "/Demo.log")));
        EXPECT_EQ("keep\n", readFile(elsewhere));
        chmod(dir.c_str(), 0700);
    }
}

TEST_P(RealRuntimeFromSystem, TwoStartsThatFindTheLogLargeRotateItOnce) {
    // The first start is held just before it renames the log; the second
    // runs meanwhile (or waits for the first's turn).
    const auto bundle = makeBundle(jarApp);
    const std::string dir = logDir(*bundle);
    const std::string large = std::string(10 << 20, 'x') + "\n";
    writeFile(dir + "/Demo.log", large);
    writeFile(dir + "/Demo.1.log", "older\n");
    const std::string sync = bundle->tempDir() + "/sync";
    makeDirs(sync);
    ProcessOptions held = javaOptions();
    const char* asan = std::getenv("ASAN_OPTIONS");
    held.setEnv("LD_PRELOAD", HOLD_RENAME_PATH)
            .setEnv("HOLD_RENAME_DIR", sync)
            .setEnv("ASAN_OPTIONS", std::string(asan ? asan : "")
                                            + ":verify_asan_link_order=0");
    auto first = std::async(std::launch::async, [&] {
        return runAsSystem(*bundle, {"first"}, held);
    });
    EXPECT_TRUE(waitUntil([&] { return exists(sync + "/held"); }));
    auto second = std::async(std::launch::async, [&] {
        return runAsSystem(*bundle, {"second"});
    });
    second.wait_for(std::chrono::seconds(1));
    writeFile(sync + "/go", "");
    EXPECT_EQ(0, first.get().process.exitStatus);
    EXPECT_EQ(0, second.get().process.exitStatus);

    EXPECT_TRUE(large == readFile(dir + "/Demo.1.log"));
    std::vector<std::string> args =
            parseOutput(readFile(dir + "/Demo.log")).args;
    std::sort(args.begin(), args.end());
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), args);
}

TEST_P(RealRuntimeFromSystem, AnAlertShowsNoLinesOfAnotherStart) {
    // The first start waits in main until the second has written into the
    // log, then fails; the lines of the two cannot be told apart.
    const auto bundle = makeBundle(
            "[Application]\napp.classpath=$APPDIR/app.jar\n"
            "app.mainclass=vantrytest.Main\n");
    const std::string log = logDir(*bundle) + "/Demo.log";
    const std::string written = bundle->tempDir() + "/written";
    ProcessOptions failing = javaOptions();
    failing.setEnv("JAVA_TOOL_OPTIONS", "-Dvantrytest.await=" + written
                                                + " -Dvantrytest.throw=first");
    auto first = std::async(std::launch::async, [&] {
        return runAsSystem(*bundle, {}, failing);
    });
    EXPECT_TRUE(waitUntil([&] { return exists(log); }));
    ProcessOptions other = javaOptions();
    other.setEnv("JAVA_TOOL_OPTIONS", "-Dvantrytest.touch=" + written);
    EXPECT_EQ(0, runAsSystem(*bundle, {"second"}, other).process.exitStatus);
    EXPECT_EQ(1, first.get().process.exitStatus);

    const std::string text = readFile(log);
    EXPECT_NE(npos, text.find("IllegalStateException: first")) << text;
    EXPECT_EQ("Failed to launch JVM\n\nLog: " + log, alertIn(text)) << text;
}

INSTANTIATE_TEST_SUITE_P(
        Jdks, RealRuntimeFromSystem,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::Values(Layout::MacBundle)),
        jdkAndLayoutName);
