// The class data archive on the machine's real JDKs: a start records the
// classes it loads, the builder makes the archive, later starts map it (as
// the running process itself sees in /proc/self/maps), and nothing the
// archive does makes a start differ from plain `java` with the same
// options.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "ClassDataArchiveFixture.h"
#include "JdkSupport.h"

using namespace jdk_tests;

TEST_P(ClassDataArchive, RecordBuildMapAlsoAfterTheRuntimeExecutesAgain) {
    CdsApp moduleApp;
    moduleApp.classPath.clear();
    moduleApp.modulePath = "app.jar";
    moduleApp.mainModule = "app/vantrytest.Main";
    for (const CdsApp& app : {CdsApp(), moduleApp}) {
        SCOPED_TRACE(app.mainModule.empty() ? "class path" : "module");
        const auto bundle = makeCdsBundle(app);
        const auto starts = compareStarts(*bundle, app, 3);
        ASSERT_EQ(3u, starts.size());
        EXPECT_FALSE(mapsOwnArchive(*bundle, starts[0]));
        EXPECT_TRUE(mapsOwnArchive(*bundle, starts[1])) << starts[1].out;
        EXPECT_TRUE(mapsOwnArchive(*bundle, starts[2])) << starts[2].out;
        EXPECT_EQ(1u, filesEnding(archiveDir(*bundle), ".jsa").size());
    }

    // Another JDK's lib/server on LD_LIBRARY_PATH: the runtime library
    // executes the launcher again, which maps the archive all the same.
    const auto other = std::find_if(
            machineJdks().begin(), machineJdks().end(),
            [this](const Jdk& j) { return j.home != jdk().home; });
    if (other == machineJdks().end()) {
        return;
    }
    const auto bundle = makeCdsBundle(CdsApp());
    ProcessOptions options = javaOptions();
    options.setEnv("LD_LIBRARY_PATH", other->home + "/lib/server");
    for (int i = 0; i < 3; ++i) {
        const LaunchResult launch = bundle->run({"1", "-Xmx8m"}, options);
        waitForBuilders(*bundle);
        ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ((std::vector<std::string>{"1", "-Xmx8m"}),
                  parseOutput(launch.process.out).args);
        EXPECT_EQ(i > 0, mapsOwnArchive(*bundle, launch.process)) << i;
    }
    for (const char* left : {".tmp", ".use", ".recording", ".list", ".new"}) {
        EXPECT_TRUE(filesEnding(archiveDir(*bundle), left).empty()) << left;
    }
}

TEST_P(ClassDataArchive, ConcurrentStartsWhileTheBuilderRuns) {
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    const ProcessResult java =
            runJava(*bundle, javaArgs(*bundle, app), javaOptions());
    // Four first starts at once, then four more at once, likely while the
    // builder runs; then four with the archive.
    for (int round = 0; round < 3; ++round) {
        const ProcessResult all = runProcess(
                "/bin/sh",
                {"sh", "-c",
                 "for i in 1 2 3 4; do (\"$0\" >\"$1/out.$i\""
                 " 2>\"$1/err.$i\"; echo $? >\"$1/status.$i\") & done; wait",
                 bundle->executable(), bundle->tempDir()},
                [&] {
                    ProcessOptions o = bundle->baseOptions();
                    const ProcessOptions j = javaOptions();
                    o.env.insert(o.env.end(), j.env.begin(), j.env.end());
                    return o;
                }());
        ASSERT_EQ(0, all.exitStatus) << all.err;
        if (round == 1) {
            waitForBuilders(*bundle);
        }
        for (int i = 1; i <= 4; ++i) {
            const std::string n = std::to_string(i);
            EXPECT_EQ("0\n", readFile(bundle->tempDir() + "/status." + n));
            EXPECT_EQ(withoutMaps(java.out),
                      withoutMaps(readFile(bundle->tempDir() + "/out." + n)));
            EXPECT_EQ("", readFile(bundle->tempDir() + "/err." + n));
        }
    }
    waitForBuilders(*bundle);
    EXPECT_EQ(1u, filesEnding(archiveDir(*bundle), ".jsa").size());
}

// The cases of the table run in two tests, every other case each, so that
// they can run side by side.
void ClassDataArchiveFaults::noStartDiffersFromJava(int part) const {
    const bool root = geteuid() == 0;
    CdsApp late;
    late.classPath = {"late-app.jar"};
    CdsApp withDirectory;
    withDirectory.classPath = {"app.jar", "extra"};
    withDirectory.options = {"-Dvantrytest.touch=@APP@/extra/new.txt"};
    const auto options = [](std::vector<std::string> o) {
        CdsApp app;
        app.options = std::move(o);
        return app;
    };
    const auto classPath = [](std::vector<std::string> entries) {
        CdsApp app;
        app.classPath = std::move(entries);
        return app;
    };
    typedef std::function<void(const Bundle&, int, ProcessOptions&)> Hook;
    const Hook none;
    const struct {
        const char* name;
        CdsApp app;
        Hook before;
        int archive;
    } cases[] = {
        {"object alignment", options({"-XX:ObjectAlignmentInBytes=16"}), none,
         0},
        {"no compressed class pointers",
         options({"-XX:-UseCompressedClassPointers"}), none, 0},
        {"dynamic dump information", options({"-XX:+RecordDynamicDumpInfo"}),
         none, 0},
        {"security manager", options({"-Dvantrytest.security=install"}), none,
         -1},
        {"class loading reported", options({"-verbose:class"}), none, 0},
        {"class loading logged", options({"-Xlog:class+load"}), none, 0},
        {"flags printed", options({"-XX:+PrintCommandLineFlags"}), none, 0},
        {"cache directory deleted during the run",
         options({"-Dvantrytest.delete=@CACHE@"}), none, 0},
        {"class path directory that gains a file", withDirectory, none, -1},
        {"file size limit", CdsApp(),
         [](const Bundle&, int, ProcessOptions& o) {
             o.setEnv("SHELL_PREFIX", "ulimit -f 100000;");
         },
         0},
        {"home directory that does not exist", CdsApp(),
         [](const Bundle& b, int, ProcessOptions& o) {
             EXPECT_FALSE(exists(b.tempDir() + "/nothing"));
             o.setEnv("HOME", b.tempDir() + "/nothing/home");
         },
         0},
        {"relative home directory", CdsApp(),
         [](const Bundle& b, int, ProcessOptions& o) {
             o.setEnv("HOME", "home");
             o.cwd = b.tempDir() + "/cwd";
             makeDirs(o.cwd);
             EXPECT_FALSE(exists(o.cwd + "/home"));
         },
         0},
        {"colon in the cache path", CdsApp(),
         [](const Bundle& b, int, ProcessOptions& o) {
             makeDirs(b.tempDir() + "/a:b");
             o.setEnv("HOME", b.tempDir() + "/a:b");
         },
         0},
        {"working directory of each start", CdsApp(),
         [](const Bundle& b, int i, ProcessOptions& o) {
             o.cwd = i % 2 == 0 ? b.appDir() : b.tempDir();
         },
         1},
        {"jar that a manifest names appears", late,
         [](const Bundle& b, int i, ProcessOptions&) {
             if (i == 2) {
                 // The builder read the manifest: the missing jar is known.
                 const auto deps = filesEnding(archiveDir(b), ".deps");
                 ASSERT_EQ(1u, deps.size());
                 EXPECT_EQ("-\t" + b.appDir() + "/late.jar\n",
                           readFile(archiveDir(b) + "/" + deps[0]));
                 copyExecutable(b.appDir() + "/app.jar",
                                b.appDir() + "/late.jar");
             }
         },
         -1},
        {"jar replaced by a copy with its size and time", CdsApp(),
         [](const Bundle& b, int i, ProcessOptions&) {
             if (i == 2) {
                 runProcess("/bin/cp", {"cp", "-p", b.appDir() + "/app.jar",
                                        b.tempDir() + "/copy.jar"});
                 rename((b.tempDir() + "/copy.jar").c_str(),
                        (b.appDir() + "/app.jar").c_str());
             }
         },
         0},
        {"FIFO in place of the archive", CdsApp(),
         [](const Bundle& b, int i, ProcessOptions&) {
             for (const std::string& name :
                  filesEnding(archiveDir(b), ".jsa")) {
                 const std::string path = archiveDir(b) + "/" + name;
                 if (i == 2 && unlink(path.c_str()) == 0) {
                     mkfifo(path.c_str(), 0600);
                 }
             }
         },
         0},
        {"archive path with %p, %t and a double quote", CdsApp(),
         [](const Bundle& b, int, ProcessOptions& o) {
             makeDirs(b.tempDir() + "/%p %t \"q\"");
             o.setEnv("HOME", b.tempDir() + "/%p %t \"q\"");
         },
         1},
        {"jar behind a launch script", classPath({"prefixed.jar"}), none, 1},
        {"jar whose manifest is over 1 MiB", classPath({"big-manifest.jar"}),
         none, 1},
        // The application's classes of a second jar load only after it
        // installed a security manager (which JDK 18 and later refuse).
        {"security manager installed before a jar's classes load",
         [] {
             CdsApp app;
             app.classPath = {"app.jar", "lib.jar"};
             app.options = {"-Dvantrytest.security=install"};
             return app;
         }(),
         none, -1},
        {"home mounted read-only once the archive is there", CdsApp(),
         [root](const Bundle& b, int i, ProcessOptions& o) {
             if (root && i == 2) {
                 o.wrapper = readOnly(b.homeDir());
             }
         },
         0},
        {"archive folder that its owner may not write, as another user",
         CdsApp(),
         [root](const Bundle& b, int i, ProcessOptions& o) {
             if (root) {
                 o.wrapper = asNobody(b);
             }
             if (root && i == 2) {
                 EXPECT_EQ(0, chmod(archiveDir(b).c_str(), 0500));
             }
         },
         root ? 0 : 1},
        {"cache directory of another user", CdsApp(),
         [root](const Bundle& b, int i, ProcessOptions&) {
             makeDirs(cacheDir(b));
             if (i == 0 && root) {
                 EXPECT_EQ(0, chown(cacheDir(b).c_str(), 65534, 65534));
             }
         },
         root ? 0 : 1},
    };
    for (std::size_t i = static_cast<std::size_t>(part);
         i < sizeof(cases) / sizeof(cases[0]); i += 2) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        const auto bundle = makeCdsBundle(c.app);
        const Bundle& b = *bundle;
        const auto starts = compareStarts(
                b, c.app, 3, ProcessOptions(),
                [&](int i, ProcessOptions& o) {
                    if (c.before) {
                        c.before(b, i, o);
                    }
                });
        if (c.archive >= 0 && starts.size() == 3) {
            EXPECT_EQ(c.archive == 1, mapsOwnArchive(b, starts[2]));
        }
    }
}

TEST_P(ClassDataArchiveFaults, NoStartDiffersFromJavaPart1) {
    noStartDiffersFromJava(0);
}

TEST_P(ClassDataArchiveFaults, NoStartDiffersFromJavaPart2) {
    noStartDiffersFromJava(1);
}

TEST_P(ClassDataArchiveFaults, AnArchiveNeverFailsTwoStarts) {
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    compareStarts(*bundle, app, 2);
    const std::vector<std::string> archives =
            filesEnding(archiveDir(*bundle), ".jsa");
    ASSERT_EQ(1u, archives.size());
    // Damaged pages: the start that maps them may crash, but only that one.
    const std::string path = archiveDir(*bundle) + "/" + archives[0];
    chmod(path.c_str(), 0600);
    const int fd = open(path.c_str(), O_WRONLY);
    const std::string garbage(16384, '\xa5');
    for (const off_t at : {1 << 20, 2 << 20, 4 << 20}) {
        ASSERT_EQ(16384, pwrite(fd, garbage.data(), garbage.size(), at));
    }
    close(fd);
    // A crash report goes to the working directory.
    ProcessOptions inTemp = javaOptions();
    inTemp.cwd = bundle->tempDir();
    const LaunchResult damaged = bundle->run({}, inTemp);
    const auto after = compareStarts(*bundle, app, 2);
    // Dropped at once, and rebuilt: one crash does not end the archives.
    if (damaged.process.exitStatus != 0 && after.size() == 2) {
        EXPECT_FALSE(mapsOwnArchive(*bundle, after[0]));
        EXPECT_TRUE(mapsOwnArchive(*bundle, after[1]));
    }
}

// A tool's answer to a typo is an exception out of main: it drops the
// archive that its start mapped, but the next complete start records anew.
TEST_P(ClassDataArchiveFaults, AnExceptionOutOfMainDoesNotEndTheArchive) {
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    const auto starts = compareStarts(
            *bundle, app, 5, ProcessOptions(), [](int i, ProcessOptions& o) {
                o.unsetEnv("VANTRYTEST_THROW");
                if (i == 2) {
                    o.setEnv("VANTRYTEST_THROW", "typo");
                }
            });
    ASSERT_EQ(5u, starts.size());
    EXPECT_TRUE(mapsOwnArchive(*bundle, starts[1]));
    EXPECT_FALSE(mapsOwnArchive(*bundle, starts[3]));
    EXPECT_TRUE(mapsOwnArchive(*bundle, starts[4]));
}

// A builder killed during its dump (a logout, a shutdown, the OOM killer)
// leaves its class list to the next builder.
TEST_P(ClassDataArchiveFaults, AnInterruptedBuildIsTriedAgain) {
    const CdsApp app;
    const auto bundle = makeCdsBundle(app);
    ProcessOptions options = javaOptions();
    const LaunchResult first = bundle->run({}, options);
    ASSERT_EQ(0, first.process.exitStatus) << first.process.err;
    // The builder and its dump hold the runtime's output once the dump
    // has begun.
    std::vector<pid_t> builders;
    for (int i = 0; i < 2000 && builders.empty(); ++i) {
        builders = processesHolding(archiveDir(*bundle), ".build");
    }
    ASSERT_FALSE(builders.empty()) << "no builder found";
    for (const pid_t pid : builders) {
        kill(pid, SIGKILL);
    }
    waitForBuilders(*bundle);
    const auto starts = compareStarts(*bundle, app, 2);
    ASSERT_EQ(2u, starts.size());
    EXPECT_FALSE(mapsOwnArchive(*bundle, starts[0]));
    EXPECT_TRUE(mapsOwnArchive(*bundle, starts[1]));
}

// A start in another PID namespace (a container or sandbox sharing the
// home folder) maps the archive while a start outside runs: neither takes
// the other for a crash.
TEST_P(ClassDataArchiveFaults, StartsInAnotherPidNamespaceAreNoCrash) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "a PID namespace needs root";
    }
    CdsApp app;
    app.options = {"-Dvantrytest.sleep=3000"};
    const auto bundle = makeCdsBundle(app);
    compareStarts(*bundle, app, 2);
    ProcessOptions options = bundle->baseOptions();
    const ProcessOptions java = javaOptions();
    options.env.insert(options.env.end(), java.env.begin(), java.env.end());
    // Inside, the launcher gets a process id that no process outside has
    // (the namespace's first 400 go to short-lived processes first); it is
    // neither the namespace's process 1, which gets no archive, nor a child
    // of it, which would be a start by the system.
    const ProcessResult both = runProcess(
            "/bin/sh",
            {"sh", "-c",
             "unshare --pid --fork --mount-proc sh -c 'for i in $(seq 400);"
             " do /bin/true; done; (\"$0\"; exit $?); exit $?' \"$0\" >\"$1/inside\" &"
             " inside=$!; sleep 1; \"$0\" >\"$1/outside\"; wait $inside",
             bundle->executable(), bundle->tempDir()},
            options);
    ASSERT_EQ(0, both.exitStatus) << both.err;
    waitForBuilders(*bundle);
    ProcessResult inside, outside;
    inside.out = readFile(bundle->tempDir() + "/inside");
    outside.out = readFile(bundle->tempDir() + "/outside");
    EXPECT_TRUE(mapsOwnArchive(*bundle, inside)) << inside.out;
    EXPECT_TRUE(mapsOwnArchive(*bundle, outside)) << outside.out;
    const auto after = compareStarts(*bundle, app, 1);
    ASSERT_EQ(1u, after.size());
    EXPECT_TRUE(mapsOwnArchive(*bundle, after[0]));
}

TEST_P(ClassDataArchiveFaults, AnInterruptedFirstStartKeepsNoClassList) {
    CdsApp app;
    app.options = {"-Dvantrytest.sleep=20000"};
    const auto bundle = makeCdsBundle(app);
    ProcessOptions options = bundle->baseOptions();
    const ProcessOptions java = javaOptions();
    options.env.insert(options.env.end(), java.env.begin(), java.env.end());
    const ProcessResult interrupted = runProcess(
            "/bin/sh",
            {"sh", "-c",
             "\"$0\" >/dev/null & pid=$!; sleep 2; kill -TERM $pid; wait $pid",
             bundle->executable()},
            options);
    EXPECT_EQ(143, interrupted.exitStatus) << interrupted.err;
    waitForBuilders(*bundle);
    EXPECT_TRUE(filesEnding(archiveDir(*bundle), ".classlist").empty());
    EXPECT_TRUE(filesEnding(archiveDir(*bundle), ".recording").empty());
    EXPECT_TRUE(filesEnding(archiveDir(*bundle), ".jsa").empty());
}

// Two applications with the same executable name and no package share
// the archive directory, and each keeps its archive.
TEST_P(ClassDataArchiveFaults, LaunchersSharingACacheDirectoryKeepTheirs) {
    const CdsApp app;
    const auto first = makeCdsBundle(app);
    const auto second = makeCdsBundle(app);
    ProcessOptions options = javaOptions();
    options.setEnv("HOME", first->homeDir());
    for (int i = 0; i < 3; ++i) {
        for (const Bundle* bundle : {first.get(), second.get()}) {
            const LaunchResult launch = bundle->run({}, options);
            waitForBuilders(*first);
            EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
            EXPECT_EQ(i > 0, mapsOwnArchive(*first, launch.process)) << i;
        }
    }
    EXPECT_EQ(2u, filesEnding(archiveDir(*first), ".jsa").size());
}

INSTANTIATE_TEST_SUITE_P(
        Jdks, ClassDataArchive,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::ValuesIn(allLayouts())),
        jdkAndLayoutName);

INSTANTIATE_TEST_SUITE_P(
        Jdks, ClassDataArchiveFaults,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::Values(Layout::MacBundle)),
        jdkAndLayoutName);
