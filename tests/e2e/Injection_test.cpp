// Nothing outside the application image changes what runs: no variable or
// command line makes the launcher load another library or hand a word of
// the command line to the runtime as an option, and a locked application
// ignores the per-user configuration, the runtime's option variables and
// the inherited library path.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "Bundle.h"
#include "Layouts.h"
#include "OutputLines.h"

using namespace testing_support;

namespace {

std::uint64_t mix(std::uint64_t hash, std::uint64_t word) {
    hash = (hash ^ word) * 0x9e3779b97f4a7c15ull;
    return hash ^ (hash >> 29);
}

// The fingerprint of a command line that earlier launchers trusted, in a
// marker with their process id, to hand it on unchanged to the library the
// marker named.
std::string oldFingerprint(const std::vector<std::string>& args) {
    std::uint64_t hash = mix(0, args.size());
    for (const std::string& arg : args) {
        hash = mix(hash, arg.size());
        const std::size_t whole = arg.size() / 8 * 8;
        for (std::size_t i = 0; i != whole; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, arg.data() + i, sizeof(word));
            hash = mix(hash, word);
        }
        std::uint64_t tail = 0;
        for (std::size_t i = whole; i != arg.size(); ++i) {
            tail = (tail << 8) | static_cast<unsigned char>(arg[i]);
        }
        hash = mix(hash, tail);
    }
    std::string text(16, '0');
    for (std::size_t i = text.size(); i-- > 0; hash >>= 4) {
        text[i] = "0123456789abcdef"[hash & 0xf];
    }
    return text;
}

} // namespace

class ForgedReexecution : public EveryLayout {};
class LockedApplication : public EveryLayout {};

TEST_P(ForgedReexecution, NoForeignLibraryAndNoOptionFromTheCommandLine) {
    Bundle bundle(GetParam());
    bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n");
    const std::string foreign = bundle.tempDir() + "/foreign.so";
    copyExecutable(foreignLibPath(), foreign);
    const std::string mark = bundle.tempDir() + "/foreign-loaded";
    const std::string exe = bundle.executable();
    const std::string appPath = "-Dvantry.app-path=" + exe;
    const std::vector<std::string> agent{"-javaagent:/tmp/x.jar", "1"};
    const std::string fingerprint =
            oldFingerprint({exe, "-javaagent:/tmp/x.jar", "1"});
    const struct {
        const char* name;
        // The marker is this text, the process id, then `markerEnd`.
        std::string marker, markerEnd;
        std::vector<std::string> args, appArgs;
    } cases[] = {
        {"marker naming a foreign library", "",
         " " + fingerprint + " " + foreign, agent, agent},
        {"marker naming the image's own library", "",
         " " + fingerprint + " " + bundle.defaultRuntimeLibrary(), agent,
         agent},
        {"any value", "garbage ", "", agent, agent},
        {"a vector with an option of its own", "", "",
         {"-javaagent:/tmp/x.jar", appPath, "demo.Main", "1"},
         {"-javaagent:/tmp/x.jar", appPath, "demo.Main", "1"}},
        // Shaped like the runtime library's vector: taken as one, with the
        // archive options dropped, since the launcher prepares its own.
        {"a vector with archive options", "", "",
         {"-XX:SharedArchiveFile=/tmp/x.jsa", "-Xlog:cds=off", appPath,
          "demo.Main", "1"},
         {"1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv{
                "sh", "-c",
                "VANTRY_LAUNCHER_REEXEC=\"$MARKER$$$MARKER_END\" exec \"$0\""
                " \"$@\"",
                exe};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessOptions options;
        options.setEnv("MARKER", c.marker)
                .setEnv("MARKER_END", c.markerEnd)
                .setEnv("FOREIGN_LOADED", mark);
        const LaunchResult launch =
                bundle.runProgram("/bin/sh", argv, options);
        EXPECT_NE(0, access(mark.c_str(), F_OK)) << "foreign library loaded";
        ASSERT_EQ(1u, launch.calls.size()) << launch.process.err;
        std::vector<std::string> expected{exe, appPath, "demo.Main"};
        expected.insert(expected.end(), c.appArgs.begin(), c.appArgs.end());
        EXPECT_EQ(expected, launch.calls[0].args);
    }
}

namespace {

const char* const runtimeVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS",
                                        "JDK_JAVA_OPTIONS", "CLASSPATH"};

// An image whose runtime looks able to keep a class data archive, with a
// per-user configuration file beside its own.
void writeImage(const Bundle& bundle, const std::string& locked) {
    bundle.writeArchiveCapableRuntime();
    bundle.writePackage("com.example.demo\n");
    bundle.writeConfig("[Application]\n" + locked
                       + "app.cds=auto\napp.mainclass=demo.Main\n"
                         "[ArgOptions]\narguments=own\n");
    writeFile(bundle.userConfigBase() + "/com.example.demo/Demo.cfg",
              "[Application]\napp.mainclass=demo.Main\n"
              "[ArgOptions]\narguments=per-user\n");
}

ProcessOptions injectedEnvironment(const Bundle& bundle) {
    ProcessOptions options;
    std::string names = bundle.libEnvVariable();
    for (const char* name : runtimeVariables) {
        options.setEnv(name, "-Dinjected=yes");
        names += std::string(",") + name;
    }
    options.setEnv(bundle.libEnvVariable(), "/inherited")
            .setEnv("FAKE_JLI_ENV", names);
    return options;
}

bool hasArchiveOption(const FakeJliCall& call) {
    for (const std::string& arg : call.args) {
        if (arg.find("-XX:DumpLoadedClassList=") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

// A process started with the archive's build request is its builder,
// whatever the request holds: a forged one builds nothing and fails,
// naming the variable, and no request ever starts the application, not
// even invisibly in the background.
TEST_P(ForgedReexecution, ABuildRequestNeverStartsTheApplication) {
    Bundle bundle(GetParam());
    writeFile(bundle.homeDir() + "/lock", "0123456789abcdef0123456789abcdef");
    bundle.writeConfig("[Application]\napp.mainclass=demo.Main\n"
                       "app.cds=auto\n");
    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* redirect;
    } cases[] = {
        {"no lock", {}, ""},
        {"a file of the user's as the lock", {}, " 3<\"$HOME/lock\""},
        {"arguments", {"a", "b"}, ""},
        {"the builder's argument", {"--class-data-archive-builder"}, ""},
        {"the builder's argument and a file of the user's as the lock",
         {"--class-data-archive-builder"}, " 3<\"$HOME/lock\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv{"sh", "-c",
                                      std::string("exec \"$0\" \"$@\"")
                                              + c.redirect,
                                      bundle.executable()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessOptions options;
        options.setEnv("VANTRY_CDS_BUILD", "0123456789abcdef0123456789abcdef");
        const LaunchResult launch =
                bundle.runProgram("/bin/sh", argv, options);
        // Set by hand, the variable would make every start end without a
        // word: the one line names it.
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_TRUE(launch.calls.empty());
        EXPECT_EQ("", launch.process.out);
        const auto lines = e2e::splitLines(launch.process.err);
        ASSERT_EQ(1u, lines.size()) << launch.process.err;
        EXPECT_NE(std::string::npos, lines[0].find("VANTRY_CDS_BUILD"));
        EXPECT_NE(std::string::npos, lines[0].find("unset"));
    }
}

TEST_P(LockedApplication, NothingOutsideTheImageReachesTheRuntime) {
    Bundle bundle(GetParam());
    writeImage(bundle, "app.locked=true\n");
    ProcessOptions options = injectedEnvironment(bundle);
    options.setEnv("VANTRY_DEBUG", "true");
    const LaunchResult launch = bundle.run({}, options);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
    ASSERT_EQ(1u, launch.calls.size());
    FakeJliCall call = launch.calls[0];
    // No agent through the attach mechanism; on macOS no library from the
    // folders that the runtime adds after the library variable.
    std::vector<std::string> expected{bundle.executable(),
                                      "-XX:+DisableAttachMechanism"};
    if (bundle.layout() == Layout::MacBundle) {
        expected.push_back("-Djava.library.path=" + bundle.appDir());
    }
    expected.insert(expected.end(),
                    {"-Dvantry.app-path=" + bundle.executable(), "demo.Main",
                     "own"});
    EXPECT_EQ(expected, call.args);
    EXPECT_EQ(bundle.appDir(), call.fields["env " + bundle.libEnvVariable()]);
    for (const char* name : runtimeVariables) {
        EXPECT_TRUE(call.nullFields["env " + std::string(name)]) << name;
    }
    EXPECT_NE(std::string::npos, launch.process.err.find(
            "The application is locked: no per-user configuration file or"
            " class data archive; removed from the environment:"
            " JAVA_TOOL_OPTIONS, _JAVA_OPTIONS, JDK_JAVA_OPTIONS, CLASSPATH"))
            << launch.process.err;
}

TEST_P(LockedApplication, ItsOwnJavaOptionsDecideAttachAndLibraryPath) {
    Bundle bundle(GetParam());
    bundle.writeConfig("[Application]\napp.locked=true\napp.mainclass=M\n"
                       "[JavaOptions]\njava-options=-XX:-DisableAttachMechanism"
                       "\njava-options=-Djava.library.path=/opt/lib\n");
    const LaunchResult launch = bundle.run();
    ASSERT_EQ(1u, launch.calls.size()) << launch.process.err;
    EXPECT_EQ((std::vector<std::string>{
                      bundle.executable(), "-XX:-DisableAttachMechanism",
                      "-Djava.library.path=/opt/lib",
                      "-Dvantry.app-path=" + bundle.executable(), "M"}),
              launch.calls[0].args);
}

TEST_P(LockedApplication, OpenApplicationTakesWhatItIsGiven) {
    for (const char* locked : {"", "app.locked=false\n"}) {
        SCOPED_TRACE(locked);
        Bundle bundle(GetParam());
        writeImage(bundle, locked);
        // The per-user file replaces the image's, which it may not lock.
        // A class path of its own: the working directory's would rule the
        // archive out.
        writeFile(bundle.userConfigBase() + "/com.example.demo/Demo.cfg",
                  "[Application]\napp.locked=true\napp.cds=auto\n"
                  "app.classpath=$APPDIR/demo.jar\n"
                  "app.mainclass=demo.Main\n[ArgOptions]\narguments=per-user\n");
        const LaunchResult launch =
                bundle.run({}, injectedEnvironment(bundle));
        ASSERT_EQ(1u, launch.calls.size()) << launch.process.err;
        FakeJliCall call = launch.calls[0];
        EXPECT_EQ("per-user", call.args.back());
        EXPECT_TRUE(hasArchiveOption(call));
        EXPECT_EQ("/inherited:" + bundle.appDir(),
                  call.fields["env " + bundle.libEnvVariable()]);
        for (const char* name : runtimeVariables) {
            EXPECT_EQ("-Dinjected=yes", call.fields["env " + std::string(name)]);
        }
    }
}

TEST_P(LockedApplication, AnyOtherValueIsAnError) {
    Bundle bundle(GetParam());
    for (const char* value : {"yes", "True", "1", "", "true "}) {
        SCOPED_TRACE(value);
        bundle.writeConfig("[Application]\napp.locked=" + std::string(value)
                           + "\napp.mainclass=demo.Main\n");
        const LaunchResult launch = bundle.run();
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_TRUE(launch.calls.empty());
        EXPECT_EQ("Invalid value \"" + std::string(value)
                          + "\" of the \"app.locked\" property in \""
                          + bundle.cfgPath()
                          + "\": it must be \"true\" or \"false\"\n",
                  launch.process.err);
    }
}

INSTANTIATE_FOR_EVERY_LAYOUT(ForgedReexecution);
INSTANTIATE_FOR_EVERY_LAYOUT(LockedApplication);
