// Runtimes made by jlink are kept per user and reused: by a second
// assembly, by the other target and under --replace; under a lock when
// assemblies run at once; at most three are kept. A stand-in jlink records
// each call, so that the tests see when it ran.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "TestSupport.h"

using namespace testing_support;

extern char** environ;

namespace {

// jlink as the command calls it: --list-plugins, then a link into --output
// of a runtime with a release file and the substitute runtime library.
const char fakeJlink[] =
        "#!/bin/sh\n"
        "echo \"$*\" >> \"$JLINK_CALLS\"\n"
        "[ \"$1\" = --list-plugins ] && exit 0\n"
        "[ -n \"$JLINK_FAIL\" ] && { printf 'Error: %s\\n\\tat a.B(B.java)\\n' "
        "\"$JLINK_FAIL\"; exit 1; }\n"
        "[ -n \"$JLINK_SLEEP\" ] && sleep \"$JLINK_SLEEP\"\n"
        "[ -n \"$JLINK_HANG\" ] && { echo $$ > \"$JLINK_HANG.tmp\"; "
        "mv \"$JLINK_HANG.tmp\" \"$JLINK_HANG\"; exec sleep 120; }\n"
        "while [ $# -gt 0 ]; do [ \"$1\" = --output ] && out=$2; shift; done\n"
        "mkdir -p \"$out/lib\" && cp \"$FAKE_JLI\" \"$out/lib/libjli.so\" "
        "&& cp \"$(dirname \"$0\")/../release\" \"$out/release\"\n";

class Cache {
public:
    Cache() {
        writeFile(jdk() + "/release", "JAVA_VERSION=\"17.0.1\"\nOS_NAME=\"Linux\"\n"
                  "OS_ARCH=\"x86_64\"\nMODULES=\"java.base java.desktop\"\n");
        writeFile(jdk() + "/lib/modules", "modules");
        writeFile(jdk() + "/bin/jlink", fakeJlink);
        chmod((jdk() + "/bin/jlink").c_str(), 0755);
        writeFile(temp / "src/app/classes/demo/Main.class", "\xca\xfe\xba\xbe");
        makeDirs(out());
        describe("java.base");
    }

    std::string jdk() const { return temp / "jdk"; }
    std::string out() const { return temp / "out"; }
    std::string runtimes() const { return temp / "cache/applauncher/runtimes"; }

    void describe(const std::string& modules) const {
        writeFile(temp / "src/demo.cfg",
                  "[Application]\napp.mainclass=demo.Main\n"
                  "app.classpath=$APPDIR/classes\n[Bundle]\nbundle.name=Demo\n"
                  "bundle.identifier=com.example.demo\nbundle.content=app\n"
                  "bundle.modules=" + modules + "\nbundle.jdk=../jdk\n");
    }

    ProcessOptions env() const {
        ProcessOptions options;
        options.setEnv("JLINK_CALLS", temp / "calls")
                .setEnv("FAKE_JLI", fakeJliPath())
                .setEnv("XDG_CACHE_HOME", temp / "cache")
                .unsetEnv("JLINK_FAIL").unsetEnv("JLINK_SLEEP");
        return options;
    }

    ProcessResult assemble(const std::vector<std::string>& options,
                           const ProcessOptions& process) const {
        std::vector<std::string> args{"applauncher-assemble", temp / "src/demo.cfg",
                                      "--output", out()};
        args.insert(args.end(), options.begin(), options.end());
        return runProcess(assemblePath(), args, process);
    }

    ProcessResult assemble(const std::vector<std::string>& options) const {
        return assemble(options, env());
    }

    // How many times jlink linked a runtime.
    long links() const {
        std::string calls;
        try {
            calls = readFile(temp / "calls");
        } catch (...) {
            return 0;
        }
        long count = 0;
        for (std::size_t at = 0; (at = calls.find("--output", at)) != std::string::npos;
             ++at) {
            ++count;
        }
        return count;
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        const ProcessResult r = runProcess("/bin/ls", {"ls", runtimes()});
        for (std::size_t start = 0; start < r.out.size();) {
            const std::size_t end = r.out.find('\n', start);
            names.push_back(r.out.substr(start, end - start));
            start = end + 1;
        }
        return names;
    }

    TempDir temp;
};

TEST(RuntimeCache, ASecondAssemblyOfEitherTargetReusesTheLinkedRuntime) {
    Cache c;
    ProcessResult r = c.assemble({"--target", "image"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(c.links(), 1);
    r = c.assemble({"--target", "image", "--replace"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    r = c.assemble({"--target", "bundle"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(c.links(), 1);
    EXPECT_EQ(readFile(c.out() + "/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
    EXPECT_EQ(readFile(c.out() + "/Demo.app/Contents/runtime/Contents/Home/release"),
              readFile(c.jdk() + "/release"));
    EXPECT_EQ(c.entries().size(), 1u);
    // Another JDK build (its modules replaced) is linked again.
    writeFile(c.jdk() + "/lib/modules.new", "modules, rebuilt");
    ASSERT_EQ(rename((c.jdk() + "/lib/modules.new").c_str(),
                     (c.jdk() + "/lib/modules").c_str()), 0);
    r = c.assemble({"--target", "image", "--replace"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(c.links(), 2);
}

TEST(RuntimeCache, KeepsTheThreeUsedLastAndRemakesABrokenEntry) {
    Cache c;
    for (const char* modules : {"java.base", "java.desktop", "java.base\nbundle.modules=java.xml",
                                "java.sql"}) {
        c.describe(modules);
        const ProcessResult r = c.assemble({"--replace"});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }
    EXPECT_EQ(c.links(), 4);
    const std::vector<std::string> kept = c.entries();
    EXPECT_EQ(kept.size(), 3u);
    // The first one went; the last three are still there.
    c.describe("java.desktop");
    ASSERT_EQ(c.assemble({"--replace"}).exitStatus, 0);
    EXPECT_EQ(c.links(), 4);
    c.describe("java.base");
    ASSERT_EQ(c.assemble({"--replace"}).exitStatus, 0);
    EXPECT_EQ(c.links(), 5);
    // An entry whose runtime lost its release file is made again.
    c.describe("java.base");
    for (const std::string& entry : c.entries()) {
        unlink((c.runtimes() + "/" + entry + "/home/release").c_str());
    }
    ASSERT_EQ(c.assemble({"--replace"}).exitStatus, 0);
    EXPECT_EQ(c.links(), 6);
    EXPECT_EQ(readFile(c.out() + "/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
}

TEST(RuntimeCache, AssembliesAtOnceLinkOnce) {
    Cache c;
    ProcessOptions slow = c.env();
    slow.setEnv("JLINK_SLEEP", "1");
    makeDirs(c.temp / "out2");
    ProcessResult first, second;
    std::thread other([&] { first = c.assemble({}, slow); });
    second = runProcess(assemblePath(), {"applauncher-assemble",
                                         c.temp / "src/demo.cfg", "--output",
                                         c.temp / "out2"}, slow);
    other.join();
    EXPECT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(c.links(), 1);
    EXPECT_EQ(readFile(c.temp / "out2/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
    EXPECT_EQ(readFile(c.out() + "/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
}

TEST(RuntimeCache, WithoutTheCacheJlinkRunsEveryTimeAndKeepsNothing) {
    Cache c;
    ASSERT_EQ(c.assemble({"--no-runtime-cache"}).exitStatus, 0);
    ASSERT_EQ(c.assemble({"--no-runtime-cache", "--replace"}).exitStatus, 0);
    EXPECT_EQ(c.links(), 2);
    struct stat st;
    EXPECT_NE(stat((c.temp / "cache").c_str(), &st), 0);
    EXPECT_EQ(readFile(c.out() + "/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
}

TEST(RuntimeCache, ACacheFolderThatCannotBeMadeIsANote) {
    Cache c;
    writeFile(c.temp / "cache", "a file where the cache folder would be");
    const ProcessResult r = c.assemble({});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err.rfind("applauncher-assemble: note: the runtime cache "
                          "cannot be used (Cannot create the folder \"", 0), 0u)
            << r.err;
    EXPECT_NE(r.err.find("): jlink runs without it\n"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(c.links(), 1);
    EXPECT_EQ(readFile(c.out() + "/Demo/lib/runtime/release"),
              readFile(c.jdk() + "/release"));
}

TEST(RuntimeCache, AFailingJlinkIsReportedByItsErrorLineAndKeepsNothing) {
    Cache c;
    ProcessOptions failing = c.env();
    failing.setEnv("JLINK_FAIL", "Module java.nosuch not found");
    const ProcessResult r = c.assemble({}, failing);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "applauncher-assemble: jlink failed (exit status 1): "
                     "Error: Module java.nosuch not found\n");
    EXPECT_EQ(c.entries(), std::vector<std::string>{});
    const ProcessResult ls = runProcess("/bin/ls", {"ls", "-A", c.out()});
    EXPECT_EQ(ls.out, "");
}

TEST(RuntimeCache, CheckLeavesNothingAtTheOutputButFillsTheCache) {
    Cache c;
    ProcessResult r = c.assemble({"--check"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(runProcess("/bin/ls", {"ls", "-A", c.out()}).out, "");
    EXPECT_EQ(c.entries().size(), 1u);
    r = c.assemble({});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(c.links(), 1);
    // Nor does it leave an output folder it had to make.
    r = runProcess(assemblePath(), {"applauncher-assemble", c.temp / "src/demo.cfg",
                                    "--output", c.temp / "new/deeper", "--check"},
                   c.env());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    struct stat st;
    EXPECT_NE(stat((c.temp / "new").c_str(), &st), 0);
    // A check still refuses what the assembly would refuse.
    c.describe("java.base\nbundle.categories=Nonsense;");
    r = c.assemble({"--check", "--replace"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("\"Nonsense\" is not a registered"), std::string::npos)
            << r.err;
}

// The shell's quoting of one word.
std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

TEST(RuntimeCache, ATerminalSeesOneProgressLineForEachSlowStep) {
    if (access("/usr/bin/script", X_OK) != 0) {
        GTEST_SKIP() << "script (util-linux) is not installed; it gives the "
                        "command a terminal";
    }
    Cache c;
    const std::string command = quoted(assemblePath()) + " "
            + quoted(c.temp / "src/demo.cfg") + " --output " + quoted(c.out())
            + " --replace";
    ProcessOptions options = c.env();
    options.timeoutSeconds = 60;
    ProcessResult r = runProcess("/usr/bin/script",
                                 {"script", "-qec", command, "/dev/null"}, options);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("applauncher-assemble: linking the runtime with jlink..."),
              std::string::npos) << r.out;
    r = runProcess("/usr/bin/script", {"script", "-qec", command, "/dev/null"},
                   options);
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("jlink"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("applauncher-assemble: copying the runtime..."),
              std::string::npos) << r.out;
    EXPECT_EQ(c.links(), 1);
}

// True when the process `pid` has ended (gone, or a zombie not yet reaped).
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const std::size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size()
            && (line[paren + 2] == 'Z' || line[paren + 2] == 'X');
}

TEST(RuntimeCache, JlinkEndsWhenTheCommandIsKilled) {
#ifndef __linux__
    GTEST_SKIP() << "only Linux kills a child when its parent ends";
#endif
    Cache c;
    const std::string hang = c.temp / "jlink.pid";
    std::vector<std::string> env{"JLINK_CALLS=" + c.temp / "calls",
                                 "FAKE_JLI=" + fakeJliPath(),
                                 "JLINK_HANG=" + hang, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    const std::string description = c.temp / "src/demo.cfg";
    const std::string out = c.out();
    const char* argv[] = {"applauncher-assemble", description.c_str(), "--output",
                          out.c_str(), "--no-runtime-cache", nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t child;
    ASSERT_EQ(posix_spawn(&child, assemblePath().c_str(), &files, nullptr,
                          const_cast<char**>(argv), envp.data()), 0);
    posix_spawn_file_actions_destroy(&files);
    std::string pidText;
    for (int i = 0; i < 1000 && pidText.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        try {
            pidText = readFile(hang);
        } catch (...) {
        }
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(pidText.empty()) << "jlink never started";
    const pid_t jlink = static_cast<pid_t>(std::stol(pidText));
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = ended(jlink);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!gone) {
        kill(jlink, SIGKILL);
    }
    EXPECT_TRUE(gone) << "jlink went on after the command was killed";
}

} // namespace
