// What the launcher knows of its own process: the command line, environment
// variables, symbolic link resolution and the executable's path.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "ExecutablePath.h"
#include "SysInfo.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// Sets SysInfo::argc/argv for the life of the object.
class CommandLine {
public:
    explicit CommandLine(std::vector<std::string> args)
        : storage(std::move(args)), savedArgc(SysInfo::argc),
          savedArgv(SysInfo::argv) {
        for (std::string& s : storage) {
            pointers.push_back(&s[0]);
        }
        pointers.push_back(nullptr);
        SysInfo::argc = static_cast<int>(storage.size());
        SysInfo::argv = pointers.data();
    }
    ~CommandLine() {
        SysInfo::argc = savedArgc;
        SysInfo::argv = savedArgv;
    }

private:
    std::vector<std::string> storage;
    std::vector<char*> pointers;
    int savedArgc;
    char** savedArgv;
};


// getRealPath takes the path with its terminating zero, as the executable
// path query delivers it.
std::string realPath(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return SysInfo::getRealPath(buffer);
}

// The raw message of the launcher error that `f` throws.
std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    } catch (...) {
        return "<foreign exception>";
    }
    return "<no exception>";
}

// Creates a file whose absolute path is exactly `length` bytes long under
// `base`, through directories with long names, and returns that path.
std::string makeFileWithPathLength(const std::string& base,
                                   std::size_t length) {
    std::string path = base;
    while (length - path.size() > 250) {
        path += "/" + std::string(200, 'd');
    }
    path += "/" + std::string(length - path.size() - 1, 'f');
    writeFile(path, "x");
    return path;
}

std::string canonicalDir(const TempDir& tmp) {
    return fs::canonical(tmp.path()).string();
}

} // namespace

TEST(SysInfo, CommandArgsDropPsnArgumentsAtEveryPosition) {
    const auto keep = SysInfo::KEEP_PROGRAM_NAME;
    const auto skip = SysInfo::SKIP_PROGRAM_NAME;
    {
        const CommandLine cl({"Demo", "-psn_0_12345", "a", "-psn_", "b"});
        EXPECT_EQ((StringArray{"a", "b"}), SysInfo::getCommandArgs(skip));
        EXPECT_EQ((StringArray{"a", "b"}), SysInfo::getCommandArgs());
        EXPECT_EQ((StringArray{"Demo", "a", "b"}),
                  SysInfo::getCommandArgs(keep));
        // Any mode other than skipping keeps the program name.
        EXPECT_EQ((StringArray{"Demo", "a", "b"}),
                  SysInfo::getCommandArgs(
                          static_cast<SysInfo::CommandArgProgramNameMode>(2)));
    }
    {
        const CommandLine cl({"-psn_1", "-psnx", "-PSN_1", "x-psn_1", "",
                              "-psn_9"});
        EXPECT_EQ((StringArray{"-psnx", "-PSN_1", "x-psn_1", ""}),
                  SysInfo::getCommandArgs(keep));
        EXPECT_EQ((StringArray{"-psnx", "-PSN_1", "x-psn_1", ""}),
                  SysInfo::getCommandArgs(skip));
    }
    {
        const CommandLine cl({"Demo"});
        EXPECT_TRUE(SysInfo::getCommandArgs(skip).empty());
        EXPECT_EQ((StringArray{"Demo"}), SysInfo::getCommandArgs(keep));
    }
    {
        const CommandLine cl({});
        EXPECT_TRUE(SysInfo::getCommandArgs(skip).empty());
        EXPECT_TRUE(SysInfo::getCommandArgs(keep).empty());
    }
}

TEST(SysInfo, EnvironmentVariables) {
    const std::string name = "APPLAUNCHER_SYSINFO_TEST_VAR";
    ScopedEnv env(name, nullptr);
    EXPECT_EQ("getenv(" + name + ") failed. Variable not set",
              errorOf([&] { SysInfo::getEnvVariable(name); }));
    EXPECT_EQ("fallback",
              SysInfo::getEnvVariable(std::nothrow, name, "fallback"));

    env.set(name, "");
    EXPECT_EQ("", SysInfo::getEnvVariable(name));
    EXPECT_EQ("", SysInfo::getEnvVariable(std::nothrow, name, "fallback"));

    // The environment is read at each call.
    env.set(name, "a value=with:marks");
    EXPECT_EQ("a value=with:marks", SysInfo::getEnvVariable(name));
    EXPECT_EQ("a value=with:marks",
              SysInfo::getEnvVariable(std::nothrow, name, "fallback"));
}

TEST(SysInfo, RealPathFollowsLinksAgainstTheirOwnDirectory) {
    TempDir tmp;
    const std::string d = canonicalDir(tmp);
    const std::string prog = d + "/real/prog";
    writeFile(prog, "x");
    makeDirs(d + "/bin");
    makeDirs(d + "/lib");
    makeDirs(d + "/other");

    EXPECT_EQ(prog, realPath(prog));
    // The path ends at the first zero byte of the buffer.
    std::vector<char> padded(prog.begin(), prog.end());
    padded.resize(padded.size() + 3, '\0');
    EXPECT_EQ(prog, SysInfo::getRealPath(padded));

    makeSymlink(prog, d + "/bin/abs");
    makeSymlink("../real/prog", d + "/bin/rel");
    makeSymlink("c2", d + "/bin/c1");
    makeSymlink("../lib/c3", d + "/bin/c2");
    makeSymlink("../real/./prog", d + "/lib/c3");
    makeSymlink(d + "/bin/rel", d + "/lib/toRel");

    const ScopedCwd cwd(d + "/other");
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {d + "/bin/abs", prog},
        {d + "/bin/rel", d + "/bin/../real/prog"},
        {"../bin/rel", "../bin/../real/prog"},
        {d + "/bin/c1", d + "/bin/../lib/../real/./prog"},
        {"../bin/c1", "../bin/../lib/../real/./prog"},
        {d + "/lib/toRel", d + "/bin/../real/prog"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, realPath(c.path)) << c.path;
        EXPECT_EQ(fs::canonical(prog), fs::canonical(realPath(c.path)))
                << c.path;
    }
    {
        const ScopedCwd inBin(d + "/bin");
        EXPECT_EQ("../real/prog", realPath("rel"));
    }
}

TEST(SysInfo, RealPathReadsLongLinkTargetsWhole) {
    TempDir tmp;
    const std::string d = canonicalDir(tmp);
    for (std::size_t length : {1023u, 1024u, 1025u, 2048u, 2049u, 4000u}) {
        SCOPED_TRACE(length);
        TempDir sub;
        const std::string base = canonicalDir(sub);
        const std::string target = makeFileWithPathLength(base, length);
        ASSERT_EQ(length, target.size());
        makeSymlink(target, d + "/long");
        EXPECT_EQ(target, realPath(d + "/long"));
        fs::remove(d + "/long");
    }
    // A long relative target, resolved against the link's directory.
    const std::string target = makeFileWithPathLength(d, 1500);
    makeSymlink(target.substr(d.size() + 1), d + "/longRel");
    EXPECT_EQ(target, realPath(d + "/longRel"));
}

TEST(SysInfo, RealPathFailuresNameTheirCause) {
    TempDir tmp;
    const std::string d = canonicalDir(tmp);
    writeFile(d + "/file", "x");

    EXPECT_EQ("lstat(" + d + "/nope) failed. Error: No such file or directory",
              errorOf([&] { realPath(d + "/nope"); }));
    EXPECT_EQ("lstat(" + d + "/file/x) failed. Error: Not a directory",
              errorOf([&] { realPath(d + "/file/x"); }));
    EXPECT_EQ("lstat() failed. Error: No such file or directory",
              errorOf([&] { SysInfo::getRealPath(std::vector<char>()); }));

    // A dangling link names the missing target, resolved like any other.
    makeDirs(d + "/links");
    makeSymlink("../missing/file", d + "/links/dangling");
    EXPECT_EQ("lstat(" + d + "/links/../missing/file) failed. Error: "
              "No such file or directory",
              errorOf([&] { realPath(d + "/links/dangling"); }));

    // Chains are followed up to 40 links; a longer chain or a loop fails.
    for (int i = 0; i <= 40; ++i) {
        if (i < 40) {
            makeSymlink(i == 39 ? "file" : "l" + std::to_string(i + 1),
                        d + "/l" + std::to_string(i));
        }
        makeSymlink(i == 40 ? "file" : "m" + std::to_string(i + 1),
                    d + "/m" + std::to_string(i));
    }
    EXPECT_EQ(d + "/file", realPath(d + "/l0"));
    EXPECT_EQ("Failed to resolve \"" + d + "/m0\": more than 40 symbolic links",
              errorOf([&] { realPath(d + "/m0"); }));

    makeSymlink("loopB", d + "/loopA");
    makeSymlink(d + "/loopA", d + "/loopB");
    makeSymlink("self", d + "/self");
    EXPECT_EQ("Failed to resolve \"" + d
              + "/loopA\": more than 40 symbolic links",
              errorOf([&] { realPath(d + "/loopA"); }));
    EXPECT_EQ("Failed to resolve \"self\": more than 40 symbolic links",
              errorOf([&] {
                  const ScopedCwd cwd(d);
                  realPath("self");
              }));
}

TEST(SysInfo, ExecutablePathQueryReportsTheNeededSize) {
    std::uint32_t size = 0;
    ASSERT_EQ(-1, queryExecutablePath(nullptr, &size));
    ASSERT_GT(size, 1u);
    const std::uint32_t needed = size;

    std::vector<char> small(needed - 1, 'x');
    size = needed - 1;
    EXPECT_EQ(-1, queryExecutablePath(small.data(), &size));
    EXPECT_EQ(needed, size);
    EXPECT_EQ(std::vector<char>(needed - 1, 'x'), small);

    std::vector<char> exact(needed, 'x');
    size = needed;
    ASSERT_EQ(0, queryExecutablePath(exact.data(), &size));
    EXPECT_EQ('\0', exact.back());
    const std::string path(exact.data());
    EXPECT_EQ(needed - 1, path.size());
    EXPECT_EQ(fs::read_symlink("/proc/self/exe"), fs::canonical(path));

    std::vector<char> large(needed + 10, 'x');
    size = needed + 10;
    ASSERT_EQ(0, queryExecutablePath(large.data(), &size));
    EXPECT_EQ(path, std::string(large.data()));

    EXPECT_EQ(fs::read_symlink("/proc/self/exe"),
              fs::canonical(SysInfo::getProcessModulePath()));
}

TEST(SysInfo, ProcessModulePathOfProgramsStartedInManyWays) {
    TempDir tmp;
    const std::string d = canonicalDir(tmp);
    const std::string prog = d + "/app/bin/prog";
    copyExecutable(PRINT_MODULE_PATH, prog);
    makeDirs(d + "/other");
    makeDirs(d + "/links");
    makeSymlink(prog, d + "/links/abs");
    makeSymlink("../app/bin/prog", d + "/links/rel");
    makeSymlink("rel", d + "/links/chain1");
    makeSymlink(d + "/links/chain1", d + "/links/chain2");

    const std::string other = d + "/other";
    const struct {
        std::string program;
        std::string cwd;
    } cases[] = {
        {prog, other},
        {"app/bin/prog", d},
        {"../app/bin/prog", other},
        {"./prog", d + "/app/bin"},
        {d + "/links/abs", other},
        {"../links/abs", other},
        {d + "/links/rel", other},
        {"../links/rel", other},
        {"../links/chain2", other},
        {"links/chain1", d},
        {d + "/other/../links/./rel", d + "/links"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + " from " + c.cwd);
        ProcessOptions options;
        options.cwd = c.cwd;
        // argv[0] is not where the path comes from.
        const ProcessResult r =
                runProcess(c.program, {"not-the-program", "-psn_0_1"}, options);
        EXPECT_EQ(0, r.exitStatus) << r.out << r.err;
        // The canonical path, however the program was reached.
        EXPECT_EQ(prog + "\n", r.out);
        EXPECT_EQ("", r.err);
    }
}
