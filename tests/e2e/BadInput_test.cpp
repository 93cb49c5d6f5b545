// The launcher executable fed with damaged, odd or hostile input: every case
// either launches with exactly the arguments the rules give, or fails with
// exit status 1 and exactly one line on standard error. In no case does it
// write to standard output, die of a signal or hang. Under
// APPLAUNCHER_TEST_WRAPPER (valgrind in CI) every launch also has to leave
// the memory checker silent.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>

#include "Bundle.h"
#include "LogCapture.h"

using namespace testing_support;

namespace {

const char* const minimalConfig = "[Application]\napp.mainclass=demo.Main\n";

/// What a case expects of the launch.
struct Outcome {
    /// The short error line of a failed launch; empty for a successful one.
    std::string errorLine;
    /// A successful launch: the runtime's complete argument vector.
    std::vector<std::string> args;

    static Outcome failure(const std::string& line) {
        return Outcome{line, {}};
    }
    static Outcome success(std::vector<std::string> args) {
        return Outcome{std::string(), std::move(args)};
    }
};

/// How one case starts the launcher.
struct Start {
    std::vector<std::string> args;
    ProcessOptions options;
};

struct BadInput {
    const char* name;
    std::function<Outcome(Bundle&, Start&)> prepare;
    bool withRuntime = true;
    /// The directory the bundle is built in, inside the temporary one.
    const char* subdir = "";
};

// The arguments the runtime gets from any configuration: its own path and
// the application path property.
std::vector<std::string> defaultArgs(const Bundle& bundle) {
    return {bundle.executable(), "-Dvantry.app-path=" + bundle.executable()};
}

std::vector<std::string> withArgs(std::vector<std::string> head,
                                  const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Arguments can be megabytes long: a mismatch shows where, not everything.
std::string describe(const std::vector<std::string>& args) {
    std::ostringstream out;
    out << args.size() << " arguments:";
    for (std::size_t i = 0; i < args.size() && i < 20; ++i) {
        out << "\n  [" << i << "] (" << args[i].size() << " bytes) "
            << args[i].substr(0, 120);
    }
    return out.str();
}

// Deterministic bytes of every value but "[", so that no line is a section
// header; lines are a few dozen bytes long on average.
std::string junk(std::size_t size, std::uint32_t seed) {
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        char c = static_cast<char>(seed >> 24);
        if (c == '[') {
            c = '\0';
        }
        bytes += c;
    }
    return bytes;
}

void check(const BadInput& c) {
    SCOPED_TRACE(c.name);
    Bundle bundle("Demo", c.subdir, c.withRuntime);
    Start start;
    const Outcome expected = c.prepare(bundle, start);
    const LaunchResult launch = bundle.run(start.args, start.options);

    EXPECT_FALSE(launch.process.timedOut);
    EXPECT_EQ(0, launch.process.signal);
    EXPECT_EQ("", launch.process.out);
    if (expected.errorLine.empty()) {
        EXPECT_EQ(0, launch.process.exitStatus);
        EXPECT_EQ("", launch.process.err);
        ASSERT_EQ(1u, launch.calls.size());
        EXPECT_TRUE(expected.args == launch.calls[0].args)
                << "expected " << describe(expected.args) << "\nreceived "
                << describe(launch.calls[0].args);
    } else {
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_EQ(expected.errorLine + "\n", launch.process.err);
        EXPECT_TRUE(launch.calls.empty());
    }
}

} // namespace

TEST(BadInput, ConfigurationFile) {
    const std::vector<BadInput> cases{
            {"empty: only the default arguments",
             [](Bundle& b, Start&) {
                 b.writeConfig("");
                 return Outcome::success(defaultArgs(b));
             }},
            {"binary junk without any section header",
             [](Bundle& b, Start&) {
                 b.writeConfig(junk(64 * 1024, 1));
                 return Outcome::success(defaultArgs(b));
             }},
            {"binary junk inside a recognized section",
             [](Bundle& b, Start& s) {
                 b.writeConfig(std::string(minimalConfig) + junk(64 * 1024, 2)
                               + "\n[ArgOptions]\narguments=after\n");
                 s.args = {"given"};
                 return Outcome::success(
                         withArgs(defaultArgs(b), {"demo.Main", "given"}));
             }},
            {"a line of 10 MB",
             [](Bundle& b, Start&) {
                 const std::string huge(10 << 20, 'm');
                 b.writeConfig("[Application]\napp.mainclass=" + huge
                               + "\n[ArgOptions]\narguments=after\n");
                 return Outcome::success(
                         withArgs(defaultArgs(b), {huge, "after"}));
             }},
            {"CRLF line ends: every value keeps its carriage return",
             [](Bundle& b, Start&) {
                 b.writeConfig("[Application]\r\n"
                               "app.mainjar=$APPDIR/x.jar\r\n"
                               "[JavaOptions]\r\n"
                               "java-options=-Dk=v\r\n"
                               "[ArgOptions]\r\n"
                               "arguments=a\r\n");
                 return Outcome::success(
                         {b.executable(), "-Dk=v\r",
                          "-Dvantry.app-path=" + b.executable(), "-jar",
                          b.appDir() + "/x.jar\r", "a\r"});
             }},
            {"CRLF line ends: the runtime directory is not found",
             [](Bundle& b, Start&) {
                 b.writeConfig("[Application]\r\n"
                               "app.runtime=$ROOTDIR/Contents/runtime\r\n"
                               "app.mainclass=demo.Main\r\n");
                 return Outcome::failure("Failed to find JVM in \"" + b.root()
                                         + "/Contents/runtime\r\" directory.");
             }},
            {"byte-order mark: the first header is not recognized",
             [](Bundle& b, Start&) {
                 b.writeConfig("\xEF\xBB\xBF[Application]\n"
                               "app.mainclass=demo.Main\n"
                               "[ArgOptions]\n"
                               "arguments=a\n");
                 return Outcome::success(withArgs(defaultArgs(b), {"a"}));
             }},
            {"header without ']' far into a long file",
             [](Bundle& b, Start&) {
                 std::string text = minimalConfig;
                 for (int i = 0; i < 100000; ++i) {
                     text += "; comment\n";
                 }
                 b.writeConfig(text + "[ArgOptions\n");
                 return Outcome::failure("Error parsing [" + b.cfgPath()
                                         + "] file at 100003: Missing ']' "
                                           "character");
             }},
            {"installed under \"$APPDIR\", configuration without macros",
             [](Bundle& b, Start&) {
                 b.writeConfig(minimalConfig);
                 return Outcome::success(
                         withArgs(defaultArgs(b), {"demo.Main"}));
             },
             true, "$APPDIR"},
            {"installed under \"$ROOTDIR\", configuration with a macro",
             [](Bundle& b, Start&) {
                 b.writeConfig("[JavaOptions]\njava-options=-Dbin=$BINDIR\n");
                 return Outcome::failure(
                         "Macros in the value of the \"java-options\" property "
                         "of the \"JavaOptions\" section do not settle: "
                         "\"-Dbin=$BINDIR\"");
             },
             true, "$ROOTDIR"},
            {"installed under a name with dollars that are no macro",
             [](Bundle& b, Start&) {
                 b.writeConfig("[Application]\napp.mainjar=$APPDIR/a.jar\n");
                 return Outcome::success(withArgs(
                         defaultArgs(b), {"-jar", b.appDir() + "/a.jar"}));
             },
             true, "$ $APP $appdir $APPDI"},
    };
    for (const BadInput& c : cases) {
        check(c);
    }
}

TEST(BadInput, RuntimeDirectoryAndLibrary) {
    const std::vector<BadInput> cases{
            {"app.runtime names a missing directory",
             [](Bundle& b, Start&) {
                 b.writeConfig("[Application]\n"
                               "app.runtime=$ROOTDIR/Contents/missing\n"
                               "app.mainclass=demo.Main\n");
                 return Outcome::failure("Failed to find JVM in \"" + b.root()
                                         + "/Contents/missing\" directory.");
             }},
            {"app.runtime names a file",
             [](Bundle& b, Start&) {
                 writeFile(b.root() + "/Contents/a-file", "x\n");
                 b.writeConfig("[Application]\n"
                               "app.runtime=$ROOTDIR/Contents/a-file\n"
                               "app.mainclass=demo.Main\n");
                 return Outcome::failure("Failed to find JVM in \"" + b.root()
                                         + "/Contents/a-file\" directory.");
             }},
            {"app.runtime is empty: the working directory is not searched",
             [](Bundle& b, Start& s) {
                 b.writeConfig("[Application]\n"
                               "app.runtime=\n"
                               "app.mainclass=demo.Main\n");
                 // A runtime library right under the working directory.
                 s.options.cwd = b.runtimeDir();
                 return Outcome::failure(
                         "Failed to find JVM in \"\" directory.");
             }},
            {"libjli.dylib is an empty file",
             [](Bundle& b, Start&) {
                 b.writeConfig(minimalConfig);
                 const std::string lib = b.defaultRuntimeLibrary();
                 writeFile(lib, "");
                 return Outcome::failure("dlopen(" + lib + ") failed. Error: "
                                         + dlopenError(lib));
             },
             false},
            {"libjli.dylib is a directory",
             [](Bundle& b, Start&) {
                 b.writeConfig(minimalConfig);
                 const std::string lib = b.defaultRuntimeLibrary();
                 makeDirs(lib);
                 return Outcome::failure("dlopen(" + lib + ") failed. Error: "
                                         + dlopenError(lib));
             },
             false},
            {"libjli.dylib is a dangling link, the only candidate",
             [](Bundle& b, Start&) {
                 b.writeConfig(minimalConfig);
                 b.linkRuntimeLibrary(b.runtimeDir(),
                                      b.tempDir() + "/no-such-library");
                 return Outcome::failure("Failed to find JVM in \""
                                         + b.runtimeDir() + "\" directory.");
             },
             false},
    };
    for (const BadInput& c : cases) {
        check(c);
    }
}

TEST(BadInput, PackageFileAndHome) {
    // A per-user file where an empty package name would lead, and one for
    // the package name below: which one is read shows in the argument.
    const auto prepare = [](Bundle& b) {
        b.writeConfig(std::string(minimalConfig)
                      + "[ArgOptions]\narguments=bundle\n");
        const std::string support =
                b.homeDir() + "/Library/Application Support";
        writeFile(support + "/Demo.cfg",
                  std::string(minimalConfig) + "[ArgOptions]\narguments=a\n");
        writeFile(support + "/com.example.demo/Demo.cfg",
                  std::string(minimalConfig) + "[ArgOptions]\narguments=b\n");
        return Outcome::success(
                withArgs(defaultArgs(b), {"demo.Main", "bundle"}));
    };
    const std::vector<BadInput> cases{
            {".package is a directory",
             [prepare](Bundle& b, Start&) {
                 makeDirs(b.packagePath());
                 return prepare(b);
             }},
            {".package is empty",
             [prepare](Bundle& b, Start&) {
                 b.writePackage("");
                 return prepare(b);
             }},
            {".package holds only a line feed",
             [prepare](Bundle& b, Start&) {
                 b.writePackage("\n");
                 return prepare(b);
             }},
            {"HOME names a missing directory",
             [prepare](Bundle& b, Start& s) {
                 b.writePackage("com.example.demo\n");
                 s.options.setEnv("HOME", b.tempDir() + "/no-such-home");
                 return prepare(b);
             }},
            {"HOME names a file",
             [prepare](Bundle& b, Start& s) {
                 b.writePackage("com.example.demo\n");
                 writeFile(b.tempDir() + "/home-file", "");
                 s.options.setEnv("HOME", b.tempDir() + "/home-file");
                 return prepare(b);
             }},
    };
    for (const BadInput& c : cases) {
        check(c);
    }
}

TEST(BadInput, CommandLine) {
    const std::vector<BadInput> cases{
            {"100,000 arguments",
             [](Bundle& b, Start& s) {
                 b.writeConfig(minimalConfig);
                 for (int i = 0; i < 100000; ++i) {
                     s.args.push_back("a" + std::to_string(i));
                 }
                 s.options.timeoutSeconds = 600;
                 return Outcome::success(
                         withArgs(withArgs(defaultArgs(b), {"demo.Main"}),
                                  s.args));
             }},
            {"odd bytes pass unchanged, \"-psn_\" arguments are dropped",
             [](Bundle& b, Start& s) {
                 b.writeConfig(std::string(minimalConfig)
                               + "[ArgOptions]\narguments=configured\n");
                 const std::vector<std::string> kept{
                         "two  spaces", " ", "\"double\" 'single' `back`",
                         "new\nline", "\n", "\r\n", "$APPDIR", "$ROOTDIR/x",
                         "${APPDIR}", "\xff\xfe", "\xc3\x28", "\xed\xa0\x80",
                         "\xc0\xaf", "\xf4\x90\x80\x80", "\x80", "\x1b[31m",
                         "-psn", "-PSN_1", "x-psn_", "="};
                 s.args = kept;
                 s.args.insert(s.args.begin() + 3, "-psn_");
                 s.args.insert(s.args.begin(), "-psn_0_12345");
                 s.args.push_back("-psn_\n");
                 return Outcome::success(
                         withArgs(withArgs(defaultArgs(b), {"demo.Main"}),
                                  kept));
             }},
            {"one argument of 128 KiB, the largest the system passes",
             [](Bundle& b, Start& s) {
                 b.writeConfig(minimalConfig);
                 s.args = {std::string(128 * 1024 - 1, 'w')};
                 return Outcome::success(withArgs(
                         withArgs(defaultArgs(b), {"demo.Main"}), s.args));
             }},
    };
    for (const BadInput& c : cases) {
        check(c);
    }
}

TEST(BadInput, StartedThroughLinks) {
    Bundle bundle;
    bundle.writeConfig(minimalConfig);
    const std::string dir = bundle.tempDir() + "/links";
    makeDirs(dir);

    // A chain of 40 relative links, the most the system follows: the
    // launcher follows it to its end as well.
    for (int i = 0; i < 40; ++i) {
        makeSymlink(i == 39 ? "../Demo.app/Contents/MacOS/Demo"
                            : "l" + std::to_string(i + 1),
                    dir + "/l" + std::to_string(i));
    }
    ProcessOptions inDir;
    inDir.cwd = dir;
    const LaunchResult chained =
            bundle.runProgram("./l0", {"l0", "arg"}, inDir);
    EXPECT_FALSE(chained.process.timedOut);
    EXPECT_EQ(0, chained.process.exitStatus) << chained.process.err;
    EXPECT_EQ("", chained.process.err);
    EXPECT_EQ("", chained.process.out);
    ASSERT_EQ(1u, chained.calls.size());
    ASSERT_EQ(4u, chained.calls[0].args.size());
    const std::string& path = chained.calls[0].args[0];
    struct stat st;
    ASSERT_EQ(0, lstat(path.c_str(), &st)) << path;
    EXPECT_FALSE(S_ISLNK(st.st_mode)) << path;
    EXPECT_EQ(canonicalPath(bundle.executable()), path);
    EXPECT_EQ("arg", chained.calls[0].args[3]);

    // Chains the system cannot follow: the exec call fails before the
    // launcher runs (runProcess's child then exits with 127), so there is
    // nothing of the launcher's to check but that it left no trace.
    makeSymlink("l0", dir + "/l41");
    makeSymlink("m1", dir + "/m0");
    makeSymlink("missing", dir + "/m1");
    makeSymlink("n1", dir + "/n0");
    makeSymlink("gone", dir + "/n1");
    makeSymlink("../Demo.app/Contents/MacOS/Demo", dir + "/n2");
    struct Broken {
        const char* name;
        const char* link;
        int error;
    };
    for (const Broken& b : {Broken{"a chain of 41 links", "l41", ELOOP},
                            Broken{"a chain ending in nothing", "m0", ENOENT},
                            Broken{"the executable exists, a middle link is "
                                   "dangling", "n0", ENOENT}}) {
        SCOPED_TRACE(b.name);
        const std::string link = dir + "/" + b.link;
        errno = 0;
        EXPECT_NE(0, access(link.c_str(), X_OK));
        EXPECT_EQ(b.error, errno);
        std::remove(bundle.recordPath().c_str());
        ProcessOptions options = bundle.baseOptions();
        options.cwd = dir;
        // Not through the memory checker: there is no launcher to check.
        const ProcessResult result = runProcess(link, {link}, options);
        EXPECT_EQ(127, result.exitStatus);
        EXPECT_EQ("", result.err);
        EXPECT_EQ("", result.out);
        EXPECT_NE(0, access(bundle.recordPath().c_str(), F_OK));
    }
}
