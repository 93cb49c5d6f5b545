// The archive's builder on the machine's real JDKs: it is no process of the
// application's, keeps out of its way (its folder, its volume, its process
// tree), builds while a long run has time to spare, and gets the archive
// where the end of a start takes along what the start left.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "ClassDataArchiveFixture.h"
#include "JdkSupport.h"

using namespace jdk_tests;

namespace {

void pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Waits up to `seconds` for `condition`; whether it came.
bool waitFor(const std::function<bool()>& condition, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (condition()) {
            return true;
        }
        pause(10);
    }
    return condition();
}

// The contents of /proc/<pid>/<name>; empty for a process that is gone.
std::string procFile(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of /proc/<pid>/stat after the command name.
std::vector<std::string> statFields(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    const std::string::size_type name = stat.rfind(')');
    std::istringstream rest(name == std::string::npos ? std::string()
                                                      : stat.substr(name + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

// The arguments of a process, separated by blanks.
std::string commandLine(pid_t pid) {
    std::string line = procFile(pid, "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    return line;
}

} // namespace

class ArchiveBuilder : public ClassDataArchive {
protected:
    // The bundle's and the runtime's environment.
    ProcessOptions startOptions(const Bundle& bundle) const {
        ProcessOptions options = bundle.baseOptions();
        const ProcessOptions java = javaOptions();
        options.env.insert(options.env.end(), java.env.begin(),
                           java.env.end());
        return options;
    }
};

// A supervisor waits for the helpers it started: under the launcher as
// under java, it returns, and the builder, which it never started, is none
// of its children. The builder says what it is, waits in "/" at the least
// priority, and still makes the archive.
TEST_P(ArchiveBuilder, TheApplicationHasNoChildItDidNotStart) {
    CdsApp app;
    app.options = {"-Dvantrytest.children=wait"};
    const auto waiting = makeCdsBundle(app);
    const auto starts = compareStarts(*waiting, app, 2);
    ASSERT_EQ(2u, starts.size());
    EXPECT_TRUE(mapsOwnArchive(*waiting, starts[1]));

    CdsApp held;
    held.options = {"-Dvantrytest.pid=@CACHE@/../pid",
                    "-Dvantrytest.await=@CACHE@/../go"};
    const auto bundle = makeCdsBundle(held);
    const std::string pidFile = cacheDir(*bundle) + "/../pid";
    const std::string goFile = cacheDir(*bundle) + "/../go";
    ProcessResult first;
    std::thread start([&] {
        first = runProcess(bundle->executable(), {bundle->executable()},
                           startOptions(*bundle));
    });
    const bool started = waitFor([&] { return exists(pidFile); }, 30);
    pause(100);
    const std::string appPid = started ? readFile(pidFile) : "0";
    const ProcessResult children = runProcess(
            "/bin/ps", {"ps", "--ppid", appPid, "-o", "pid=,args="});
    // What the builder shows while it waits: read before the start ends,
    // which lets it go on.
    const std::vector<pid_t> builders =
            processesHolding(archiveDir(*bundle), ".lock");
    const pid_t builder = builders.empty() ? 0 : builders[0];
    const std::string builderLine = commandLine(builder);
    std::error_code ec;
    const std::string builderFolder =
            std::filesystem::read_symlink(
                    "/proc/" + std::to_string(builder) + "/cwd", ec)
                    .string();
    const std::vector<std::string> fields = statFields(builder);
    writeFile(goFile, "");
    start.join();
    waitForBuilders(*bundle);
    ASSERT_TRUE(started) << first.err;
    EXPECT_EQ(0, first.exitStatus) << first.err;
    EXPECT_EQ("", children.out);
    ASSERT_EQ(1u, builders.size());
    EXPECT_NE(std::string::npos,
              builderLine.find("--class-data-archive-builder"))
            << builderLine;
    EXPECT_EQ("/", builderFolder);
    // ppid is the second field after the name, nice the 17th, the
    // scheduling policy the 39th (5: SCHED_IDLE).
    ASSERT_GE(fields.size(), 39u);
    EXPECT_NE(appPid, fields[1]);
    EXPECT_EQ("19", fields[16]);
    EXPECT_EQ("5", fields[38]);
}

// A start that ends when it is stopped by a signal after a long run (a
// server stopped with SIGTERM) keeps its list: the next start maps the
// archive.
TEST_P(ArchiveBuilder, ASignalEndedLongRunKeepsItsList) {
    SKIP_IF_SLOW_LEFT_OUT();
    CdsApp app;
    app.options = {"-Dvantrytest.await=@CACHE@/../go"};
    const auto bundle = makeCdsBundle(app);
    const ProcessResult stopped = runProcess(
            "/bin/sh",
            {"sh", "-c",
             "\"$0\" >/dev/null & pid=$!; sleep 12; kill -TERM $pid;"
             " wait $pid",
             bundle->executable()},
            startOptions(*bundle));
    EXPECT_EQ(143, stopped.exitStatus) << stopped.err;
    waitForBuilders(*bundle);
    writeFile(cacheDir(*bundle) + "/../go", "");
    const auto after = compareStarts(*bundle, app, 1);
    ASSERT_EQ(1u, after.size());
    EXPECT_TRUE(mapsOwnArchive(*bundle, after[0]));
}

// The launcher as process 1 of a PID namespace (a container's entry point)
// would adopt its own builder: it neither records nor builds.
TEST_P(ArchiveBuilder, ProcessOneNeitherRecordsNorBuilds) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "a PID namespace needs root";
    }
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    for (int i = 0; i < 2; ++i) {
        const ProcessResult inside = runProcess(
                "/usr/bin/unshare",
                {"unshare", "--pid", "--fork", "--mount-proc",
                 bundle->executable()},
                startOptions(*bundle));
        EXPECT_EQ(0, inside.exitStatus) << inside.err;
        EXPECT_FALSE(mapsOwnArchive(*bundle, inside));
        waitForBuilders(*bundle);
    }
    for (const char* suffix : {".recording", ".classlist", ".lock", ".jsa"}) {
        EXPECT_TRUE(filesEnding(archiveDir(*bundle), suffix).empty()) << suffix;
    }
}

// Where the end of a start kills everything the start left (the first
// process of a PID namespace ends), the list waits; a later start that
// runs long has it built during its run.
TEST_P(ArchiveBuilder, AListThatWaitsIsBuiltDuringALongRun) {
    SKIP_IF_SLOW_LEFT_OUT();
    if (geteuid() != 0) {
        GTEST_SKIP() << "a PID namespace needs root";
    }
    CdsApp app;
    app.options = {"-Dvantrytest.await=@CACHE@/../go"};
    const auto bundle = makeCdsBundle(app);
    const std::string goFile = cacheDir(*bundle) + "/../go";
    const std::vector<std::string> inNamespace{
            "unshare", "--pid", "--fork", "--mount-proc", "sh", "-c",
            "\"$0\" >/dev/null; status=$?; exit $status", bundle->executable()};
    writeFile(goFile, "");
    const ProcessResult first =
            runProcess("/usr/bin/unshare", inNamespace, startOptions(*bundle));
    ASSERT_EQ(0, first.exitStatus) << first.err;
    waitForBuilders(*bundle);
    ASSERT_EQ(1u, filesEnding(archiveDir(*bundle), ".classlist").size());
    ASSERT_TRUE(filesEnding(archiveDir(*bundle), ".jsa").empty());

    std::filesystem::remove(goFile);
    ProcessResult second;
    std::thread start([&] {
        ProcessOptions options = startOptions(*bundle);
        options.timeoutSeconds = 180;
        second = runProcess("/usr/bin/unshare", inNamespace, options);
    });
    const bool builtDuringTheRun = waitFor(
            [&] { return !filesEnding(archiveDir(*bundle), ".jsa").empty(); },
            150);
    writeFile(goFile, "");
    start.join();
    waitForBuilders(*bundle);
    EXPECT_EQ(0, second.exitStatus) << second.err;
    EXPECT_TRUE(builtDuringTheRun);
    const auto after = compareStarts(*bundle, app, 1);
    ASSERT_EQ(1u, after.size());
    EXPECT_TRUE(mapsOwnArchive(*bundle, after[0]));
}

// A jar that a manifest names, replaced during the dump by one of the same
// size and modification time: no start maps an archive of the old one.
TEST_P(ArchiveBuilder, AJarReplacedDuringTheDumpDropsTheArchive) {
    CdsApp app;
    app.classPath = {"late-app.jar"};
    const auto bundle = makeCdsBundle(app);
    const std::string late = bundle->appDir() + "/late.jar";
    copyExecutable(testApp().libJar, late);
    const LaunchResult first = bundle->run({}, javaOptions());
    ASSERT_EQ(0, first.process.exitStatus) << first.process.err;
    // The class list to dump is written once the jars' identities are
    // taken, just before the runtime starts.
    const bool dumping = waitFor(
            [&] { return !filesEnding(archiveDir(*bundle), ".list").empty(); },
            60);
    struct stat before;
    ASSERT_EQ(0, stat(late.c_str(), &before));
    std::filesystem::copy_file(late, late + ".new");
    const timespec times[] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (late + ".new").c_str(), times, 0));
    ASSERT_EQ(0, rename((late + ".new").c_str(), late.c_str()));
    waitForBuilders(*bundle);
    EXPECT_TRUE(dumping);
    const auto after = compareStarts(*bundle, app, 1);
    ASSERT_EQ(1u, after.size());
    EXPECT_FALSE(mapsOwnArchive(*bundle, after[0]));
}

// An application on a removable volume gets no builder, which would keep
// the volume busy after the application quits.
TEST_P(ArchiveBuilder, NothingIsBuiltForAnApplicationOnRemovableMedia) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting needs root";
    }
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    const std::string executable = bundle->executable();
    const std::string inTemp = executable.substr(bundle->tempDir().size());
    for (int i = 0; i < 2; ++i) {
        const ProcessResult onStick = runProcess(
                "/usr/bin/unshare",
                {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                 "mount -t tmpfs none /media && mkdir /media/stick"
                 " && mount --bind \"$0\" /media/stick"
                 " && exec \"/media/stick$1\"",
                 bundle->tempDir(), inTemp},
                startOptions(*bundle));
        EXPECT_EQ(0, onStick.exitStatus) << onStick.err;
        EXPECT_FALSE(mapsOwnArchive(*bundle, onStick));
        waitForBuilders(*bundle);
    }
    for (const char* suffix : {".recording", ".classlist", ".lock", ".jsa"}) {
        EXPECT_TRUE(filesEnding(archiveDir(*bundle), suffix).empty()) << suffix;
    }
}

// A cache folder so deep that the runtime's paths would pass the system's
// limit, or the runtime's own (2048 bytes for a class list): no archive,
// no failed build, and nothing from the runtime that java does not say.
TEST_P(ArchiveBuilder, ACachePathOverTheSystemsLimitGetsNoArchive) {
    const CdsApp app;
    for (const std::size_t length : {std::size_t(1990), std::size_t(4030)}) {
        SCOPED_TRACE(std::to_string(length) + " bytes of home folder");
        const auto bundle = makeCdsBundle(app);
        std::string home = bundle->tempDir() + "/deep";
        while (home.size() < length) {
            home += "/" + std::string(200, 'd');
        }
        home.resize(length);
        std::filesystem::create_directories(home);
        ProcessOptions options;
        options.setEnv("HOME", home);
        const auto starts = compareStarts(*bundle, app, 2, options);
        ASSERT_EQ(2u, starts.size());
        const std::string dir = home + "/Library/Caches/" + bundle->name()
                                + "/" + bundle->name() + ".cds";
        for (const char* suffix : {".recording", ".classlist", ".jsa",
                                   ".buildlog", ".strikes"}) {
            EXPECT_TRUE(filesEnding(dir, suffix).empty()) << suffix;
        }
    }
}

// The dump runs with the application's java options, but for those that
// write files: an application's log is neither replaced nor rotated aside
// by the dump's, nor does the dump leave one of its own.
TEST_P(ArchiveBuilder, TheDumpWritesNoFileOfTheApplications) {
    CdsApp app;
    app.options = {"-Xlog:gc*:file=@APP@/gc-%p.log",
                   "-XX:ErrorFile=@APP@/hs_err_%p.log"};
    const auto bundle = makeCdsBundle(app);
    ProcessOptions options;
    options.setEnv("JAVA_TOOL_OPTIONS",
                   "-Xlog:safepoint:file=" + bundle->appDir() + "/sp-%p.log");
    const auto starts = compareStarts(*bundle, app, 1, options);
    ASSERT_EQ(1u, starts.size());
    ASSERT_EQ(1u, filesEnding(archiveDir(*bundle), ".jsa").size())
            << "no archive was built";
    // One of java's and one of the launcher's start; none of the dump's.
    std::size_t gcLogs = 0, safepointLogs = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(bundle->appDir())) {
        const std::string name = entry.path().filename().string();
        gcLogs += name.compare(0, 3, "gc-") == 0 ? 1 : 0;
        safepointLogs += name.compare(0, 3, "sp-") == 0 ? 1 : 0;
    }
    EXPECT_EQ(2u, gcLogs);
    EXPECT_EQ(2u, safepointLogs);
}

INSTANTIATE_TEST_SUITE_P(
        Jdks, ArchiveBuilder,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::Values(Layout::MacBundle)),
        jdkAndLayoutName);
