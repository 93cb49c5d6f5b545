// applauncher-assemble and what is at the output path before and after it:
// an earlier output it may replace and files of the user's it must leave
// alone, the output folder as the system resolves it, and every way the
// command can be ended.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#ifdef __linux__
#include <sys/mount.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "AppLayout.h"
#include "AssembleBench.h"
#include "FileChecks.h"
#include "MachOFiles.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A jar, a runtime-shaped folder and a description in a temporary folder;
// the output goes to "out" unless a test names another.
class Bench {
public:
    Bench() {
        writeFile(temp / "src/demo.jar", jarWithMainClass("demo.Main"));
        writeFakeRuntime(temp / "jdk");
        describe("");
    }

    void describe(const std::string& bundleKeys,
                  const std::string& content = "bundle.content=demo.jar\n",
                  const std::string& name = "Demo",
                  const std::string& runtime = "bundle.runtime=../jdk\n",
                  const std::string& mainJar = "$APPDIR/demo.jar") {
        writeFile(temp / "src/demo.cfg",
                  "[Application]\napp.mainjar=" + mainJar + "\n[Bundle]\n"
                  "bundle.name=" + name + "\nbundle.identifier=com.example.demo\n"
                  + content + runtime + bundleKeys);
    }

    ProcessResult assemble(const Strings& options) const {
        Strings args{"applauncher-assemble", temp / "src/demo.cfg"};
        args.insert(args.end(), options.begin(), options.end());
        ProcessOptions process;
        process.cwd = temp.path();
        return runProcess(assemblePath(), args, process);
    }

    ProcessResult image(const std::string& output, bool replace = false) const {
        Strings args{"--target", "image", "--output", output};
        if (replace) {
            args.push_back("--replace");
        }
        return assemble(args);
    }

    ProcessResult bundle(bool replace = false) const {
        Strings args{"--target", "bundle", "--launcher", launcherPath(),
                     "--output", temp / "out"};
        if (replace) {
            args.push_back("--replace");
        }
        return assemble(args);
    }

    TempDir temp;
};

// Options that preload `library` into the command; a sanitized build lets
// it come before its own runtime.
ProcessOptions preloading(const std::string& library) {
    ProcessOptions options;
    const char* asan = getenv("ASAN_OPTIONS");
    options.setEnv("LD_PRELOAD", library)
            .setEnv("ASAN_OPTIONS", std::string(asan ? asan : "")
                    + ":verify_asan_link_order=0");
    return options;
}

// One line on standard error, nothing on standard output, the status.
void expectRefusal(const ProcessResult& r, int status,
                   const std::string& message) {
    EXPECT_EQ(r.exitStatus, status) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("applauncher-assemble: ", 0), 0u) << r.err;
    EXPECT_TRUE(contains(r.err, message)) << r.err;
}

TEST(AssembleCommit, ReplaceLeavesAFolderWithALinkedStampAlone) {
    Bench b;
    ASSERT_EQ(b.image(b.temp / "first").exitStatus, 0);
    // The user's folder, whose lib/ links to a real output's lib/.
    makeDirs(b.temp / "out");
    writeFile(b.temp / "out/Demo/notes.txt", "precious");
    makeSymlink(b.temp / "first/Demo/lib", b.temp / "out/Demo/lib");
    expectRefusal(b.image(b.temp / "out", true), 1,
                  "\"" + canonicalPath(b.temp / "out") + "/Demo\" exists and "
                  "was not made by applauncher-assemble: it is left alone");
    EXPECT_EQ(readFile(b.temp / "out/Demo/notes.txt"), "precious");
    EXPECT_EQ(listDir(b.temp / "out"), Strings{"Demo"});
}

TEST(AssembleCommit, ReplacesABundleAndTheEntitlementsItWrote) {
    Bench b;
    ASSERT_EQ(b.bundle().exitStatus, 0);
    const std::string written = readFile(b.temp / "out/Demo.entitlements");
    b.describe("bundle.usage=Camera: takes pictures\n");
    const ProcessResult r = b.bundle(true);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(listDir(b.temp / "out"), (Strings{"Demo.app", "Demo.entitlements"}));
    EXPECT_NE(readFile(b.temp / "out/Demo.entitlements"), written);
    EXPECT_TRUE(contains(readFile(b.temp / "out/Demo.app/Contents/Info.plist"),
                         "takes pictures"));
}

TEST(AssembleCommit, ReplacesWhereTheFileSystemHasNoExchange) {
    Bench b;
    ASSERT_EQ(b.bundle().exitStatus, 0);
    b.describe("bundle.usage=Camera: takes pictures\n");
    Strings args{"applauncher-assemble", b.temp / "src/demo.cfg", "--target",
                 "bundle", "--launcher", launcherPath(), "--output",
                 b.temp / "out", "--replace"};
    ProcessOptions options = preloading(NO_EXCHANGE_PATH);
    options.setEnv("NO_EXCHANGE_LOG", b.temp / "refused");
    const ProcessResult r = runProcess(assemblePath(), args, options);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    // Both entries went the way of the fallback.
    EXPECT_EQ(readFile(b.temp / "refused"), "refused\nrefused\n");
    EXPECT_EQ(listDir(b.temp / "out"), (Strings{"Demo.app", "Demo.entitlements"}));
    EXPECT_TRUE(contains(readFile(b.temp / "out/Demo.app/Contents/Info.plist"),
                         "takes pictures"));
    EXPECT_TRUE(contains(readFile(b.temp / "out/Demo.entitlements"),
                         "com.apple.security.device.camera"));
    // The fallback's outputs are replaced again as the command's own.
    ProcessOptions again = options;
    EXPECT_EQ(runProcess(assemblePath(), args, again).exitStatus, 0);
}

// Where the file system has no rename that refuses to replace (NFS), a
// file the user saves at a name in the moment the command moves its own
// there stays: the command refuses, and undoes what it moved.
TEST(AssembleCommit, WithoutTheSystemsNoReplaceAFileSavedMeanwhileStays) {
    Bench b;
    ASSERT_EQ(b.assemble({"--target", "image", "--output", b.temp / "probe",
                          "--package", "tar.gz"}).exitStatus, 0);
    Strings names = listDir(b.temp / "probe");
    names.erase(std::remove(names.begin(), names.end(), "Demo"), names.end());
    ASSERT_EQ(names.size(), 1u);
    const std::string out = b.temp / "out";
    makeDirs(out);
    const std::string saved = out + "/" + names[0];
    ProcessOptions options = preloading(NO_EXCHANGE_PATH);
    options.setEnv("NO_EXCHANGE_SAVE_AT", saved);
    options.cwd = b.temp.path();
    const ProcessResult r = runProcess(
            assemblePath(),
            {"applauncher-assemble", b.temp / "src/demo.cfg", "--target",
             "image", "--output", out, "--package", "tar.gz",
             "--no-start-check"},
            options);
    expectRefusal(r, 1, "Cannot move the new \"" + names[0] + "\"");
    EXPECT_EQ(readFile(saved), "saved meanwhile\n");
    EXPECT_EQ(listDir(out), (Strings{names[0]}));
}

TEST(AssembleCommit, NeverOverwritesEntitlementsItDidNotWrite) {
    Bench b;
    const std::string mine = "<plist>my own</plist>\n";
    // Alone, without a bundle beside it.
    writeFile(b.temp / "out/Demo.entitlements", mine);
    for (const bool replace : {false, true}) {
        const ProcessResult r = b.bundle(replace);
        expectRefusal(r, 1, "Demo.entitlements\" exists and is not the file "
                            "applauncher-assemble wrote");
        EXPECT_FALSE(contains(r.err, "--replace")) << r.err;
        EXPECT_EQ(listDir(b.temp / "out"), Strings{"Demo.entitlements"});
    }
    // Edited by hand beside a bundle of the command.
    unlink((b.temp / "out/Demo.entitlements").c_str());
    ASSERT_EQ(b.bundle().exitStatus, 0);
    writeFile(b.temp / "out/Demo.entitlements", mine);
    expectRefusal(b.bundle(true), 1, "it is left alone");
    EXPECT_EQ(readFile(b.temp / "out/Demo.entitlements"), mine);
    EXPECT_EQ(listDir(b.temp / "out"), (Strings{"Demo.app", "Demo.entitlements"}));
}

TEST(AssembleCommit, RefusesAnOutputInsideWhatItCopies) {
    Bench b;
    writeFile(b.temp / "src/app/demo.jar", readFile(b.temp / "src/demo.jar"));
    b.describe("", "bundle.content=app\n");
    expectRefusal(b.image(b.temp / "src/app/dist"), 1,
                  "lies inside \"" + b.temp / "src/app\" (bundle.content)");
    expectRefusal(b.image(b.temp / "jdk/dist"), 1, "(bundle.runtime)");
    EXPECT_FALSE(exists(b.temp / "src/app/dist"));
    EXPECT_FALSE(exists(b.temp / "jdk/dist"));
}

TEST(AssembleCommit, CreatesAMissingOutputFolderAndRemovesItOnFailure) {
    Bench b;
    const ProcessResult made = b.image("dist/a/b");
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    EXPECT_EQ(listDir(b.temp / "dist/a/b"), Strings{"Demo"});
    // A failure once the folders exist: jlink fails.
    writeFile(b.temp / "jdk/bin/jlink", "#!/bin/sh\necho 'Error: no' >&2\nexit 1\n");
    chmod((b.temp / "jdk/bin/jlink").c_str(), 0755);
    b.describe("", "bundle.content=demo.jar\n", "Demo",
               "bundle.modules=java.base\nbundle.jdk=../jdk\n");
    makeDirs(b.temp / "new");
    const ProcessResult failed = b.image("new/c/d");
    EXPECT_EQ(failed.exitStatus, 1) << failed.err;
    EXPECT_TRUE(contains(failed.err, "jlink failed")) << failed.err;
    EXPECT_EQ(listDir(b.temp / "new"), Strings{}) << failed.err;
}

TEST(AssembleCommit, ResolvesTheOutputThroughTheFileSystem) {
    Bench b;
    makeDirs(b.temp / "real/sub");
    makeSymlink(b.temp / "real/sub", b.temp / "lnk");
    const ProcessResult r = b.image("lnk/..");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(listDir(b.temp / "real"), (Strings{"Demo", "sub"}));
    EXPECT_FALSE(exists(b.temp / "Demo"));
}

TEST(AssembleCommit, SaysWhatIsWrongWithTheOutputOption) {
    Bench b;
    expectRefusal(b.assemble({"--target", "image", "--output", ""}), 2,
                  "--output needs a folder, not an empty value");
    expectRefusal(b.assemble({"--target", "image", "--output="}), 2,
                  "--output needs a folder");
    writeFile(b.temp / "file", "x");
    expectRefusal(b.image("file"), 1, "The output \"" + b.temp / "file"
                  + "\" is a file");
    expectRefusal(b.image("file/sub"), 1, "is a file");
    EXPECT_EQ(readFile(b.temp / "file"), "x");
}

TEST(AssembleCommit, ReportsUnreadableContentAsUnreadable) {
    Bench b;
    makeSymlink(b.temp / "src/loop", b.temp / "src/loop");
    b.describe("", "bundle.content=demo.jar\nbundle.content=loop\n");
    expectRefusal(b.image(b.temp / "out"), 1,
                  "loop\" (bundle.content) cannot be read: ");
}

TEST(AssembleCommit, RefusesANameTooLongForTheSystemBeforeAnyWork) {
    Bench b;
    // The image's folder would fit; its build folder and its files not.
    const std::string name(240, 'D');
    b.describe("", "bundle.content=demo.jar\n", name);
    makeDirs(b.temp / "out");
    expectRefusal(b.image(b.temp / "out"), 1,
                  "The name \"" + name + "\" is too long");
    EXPECT_EQ(listDir(b.temp / "out"), Strings{});
}

TEST(AssembleCommit, CopiesWhatContentLinksOutOfTheContentName) {
    Bench b;
    writeFile(b.temp / "share/java/ant-1.10.jar", "ant");
    writeFile(b.temp / "share/modes/java.xml", "<mode/>");
    makeSymlink(b.temp / "share/java/ant-1.10.jar", b.temp / "src/app/lib/ant.jar");
    makeSymlink(b.temp / "share/java/ant-1.10.jar", b.temp / "src/app/lib/ant2.jar");
    makeSymlink("../../share/modes", b.temp / "src/app/modes");
    b.describe("", "bundle.content=demo.jar\nbundle.content=app\n");
    const ProcessResult r = b.image(b.temp / "out");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string app = b.temp / "out/Demo/lib/app";
    EXPECT_EQ(listDir(app), (Strings{"Demo.cfg", "demo.jar", "lib", "modes"}));
    EXPECT_EQ(readFile(app + "/lib/ant.jar"), "ant");
    char text[64] = {};
    ASSERT_GT(readlink((app + "/lib/ant2.jar").c_str(), text, sizeof(text) - 1), 0);
    EXPECT_EQ(std::string(text), "ant.jar");
    EXPECT_EQ(readFile(app + "/modes/java.xml"), "<mode/>");
    // A link to a folder that holds the output is refused.
    makeDirs(b.temp / "outs");
    makeSymlink(b.temp / "outs", b.temp / "src/app/all");
    expectRefusal(b.image(b.temp / "outs/out2"), 1, "/src/app/all\" points to \""
                  + canonicalPath(b.temp / "outs") + "\", which holds the output");
}

TEST(AssembleCommit, PutsContentWhereItsLineSays) {
    Bench b;
    writeFile(b.temp / "share/jedit modes/java.xml", "<mode/>");
    b.describe("bundle.content-into=my modes|../share/jedit modes\n"
               "bundle.content-into=lib/ext|demo.jar\n");
    const ProcessResult r = b.image(b.temp / "out");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string app = b.temp / "out/Demo/lib/app";
    EXPECT_EQ(listDir(app), (Strings{"Demo.cfg", "demo.jar", "lib", "my modes"}));
    EXPECT_EQ(readFile(app + "/my modes/java.xml"), "<mode/>");
    EXPECT_EQ(listDir(app + "/lib/ext"), Strings{"demo.jar"});
    b.describe("bundle.content-into=../bin|demo.jar\n");
    expectRefusal(b.image(b.temp / "out2"), 1,
                  "of bundle.content-into in \"" + b.temp / "src/demo.cfg"
                  + "\": DEST leads out of the application folder");
}

TEST(AssembleCommit, AdvisesALineThatPutsTheMainJarWhereItIsLookedFor) {
    Bench b;
    b.describe("", "bundle.content=demo.jar\n", "Demo", "bundle.runtime=../jdk\n",
               "$APPDIR/lib/demo.jar");
    const ProcessResult r = b.image(b.temp / "out");
    expectRefusal(r, 1, "copy it there with the line "
                  "\"bundle.content-into=lib|<path of demo.jar>\"");
    b.describe("", "bundle.content-into=lib|demo.jar\n", "Demo",
               "bundle.runtime=../jdk\n", "$APPDIR/lib/demo.jar");
    const ProcessResult followed = b.image(b.temp / "out");
    EXPECT_EQ(followed.exitStatus, 0) << followed.err;
    // A jar outside the application directory.
    const std::string jar = b.temp / "src/demo.jar";
    b.describe("", "bundle.content=demo.jar\n", "Demo", "bundle.runtime=../jdk\n",
               jar);
    expectRefusal(b.image(b.temp / "out2"), 1, "name it as $APPDIR/demo.jar and "
                  "copy it there with the line \"bundle.content=" + jar + "\"");
    b.describe("", "bundle.content=" + jar + "\n");
    const ProcessResult advised = b.image(b.temp / "out2");
    EXPECT_EQ(advised.exitStatus, 0) << advised.err;
}

TEST(AssembleCommit, ResolvesTheMainJarThroughTheContentsLinks) {
    Bench b;
    // $APPDIR/current/../demo.jar is $APPDIR/versions/demo.jar to the system.
    makeDirs(b.temp / "src/app/versions/2");
    makeSymlink("versions/2", b.temp / "src/app/current");
    writeFile(b.temp / "src/app/versions/demo.jar", readFile(b.temp / "src/demo.jar"));
    b.describe("", "bundle.content=app\n", "Demo", "bundle.runtime=../jdk\n",
               "$APPDIR/current/../demo.jar");
    const ProcessResult r = b.image(b.temp / "out");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
}

TEST(AssembleCommit, ErrorsNameTheOutputNotTheBuildFolder) {
    Bench b;
    writeFile(b.temp / "mac.jdk/Contents/Home/release",
              "JAVA_VERSION=\"17.0.1\"\nOS_NAME=\"Darwin\"\nOS_ARCH=\"aarch64\"\n");
    writeFile(b.temp / "mac.jdk/Contents/Home/lib/libjli.dylib", thinMachO(cpuArm64));
    writeFile(b.temp / "applauncher", thinMachO(cpuArm64) + AppLayout::bundleMark);
    // A codesign that fails on the path it is given, as the real one does.
    writeFile(b.temp / "bin/codesign", "#!/bin/sh\nfor a; do last=$a; done\n"
              "echo \"$last: code object is not signed at all\" >&2\nexit 1\n");
    chmod((b.temp / "bin/codesign").c_str(), 0755);
    b.describe("", "bundle.content=demo.jar\n", "Demo", "bundle.runtime=../mac.jdk\n");
    Strings args{"applauncher-assemble", b.temp / "src/demo.cfg", "--target",
                 "bundle", "--launcher", b.temp / "applauncher", "--sign", "-",
                 "--output", b.temp / "out"};
    ProcessOptions options;
    options.setEnv("PATH", b.temp / "bin:/usr/bin:/bin");
    makeDirs(b.temp / "out");
    const ProcessResult r = runProcess(assemblePath(), args, options);
    const std::string out = canonicalPath(b.temp / "out");
    expectRefusal(r, 1, "failed (exit status 1): the new output's Contents/runtime/");
    EXPECT_FALSE(contains(r.err, ".assemble-")) << r.err;
    EXPECT_FALSE(contains(r.err, out)) << r.err;
    EXPECT_EQ(listDir(b.temp / "out"), Strings{});
}

#ifdef __linux__
TEST(AssembleCommit, ReplaceRefusesAnEarlierOutputThatHoldsAMount) {
    Bench b;
    ASSERT_EQ(b.image(b.temp / "mp").exitStatus, 0);
    writeFile(b.temp / "precious/file1", "mine");
    chmod((b.temp / "precious").c_str(), 0755);
    const std::string point = b.temp / "mp/Demo/lib/app/data";
    makeDirs(point);
    if (mount((b.temp / "precious").c_str(), point.c_str(), nullptr, MS_BIND,
              nullptr) != 0) {
        GTEST_SKIP() << "no right to mount here";
    }
    const ProcessResult r = b.image(b.temp / "mp", true);
    umount2(point.c_str(), MNT_DETACH);
    expectRefusal(r, 1, "\"" + canonicalPath(b.temp / "mp") + "/Demo\" holds "
                  "the mount point \"" + canonicalPath(b.temp / "mp")
                  + "/Demo/lib/app/data\": unmount it");
    EXPECT_EQ(readFile(b.temp / "precious/file1"), "mine");
    struct stat st;
    ASSERT_EQ(stat((b.temp / "precious").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(listDir(b.temp / "mp"), Strings{"Demo"});
}
#endif

TEST(AssembleCommit, RefusesContentFromAnEarlierOutput) {
    Bench b;
    ASSERT_EQ(b.image(b.temp / "g").exitStatus, 0);
    const std::string root = canonicalPath(b.temp / "g") + "/Demo";
    makeDirs(b.temp / "src/c");
    makeSymlink(b.temp / "g/Demo", b.temp / "src/c/prev");
    b.describe("", "bundle.content=demo.jar\nbundle.content=c\n");
    expectRefusal(b.image(b.temp / "g", true), 1,
                  "The link \"" + canonicalPath(b.temp / "src/c") + "/prev\" "
                  "points to \"" + root + "\", inside the output");
    b.describe("", "bundle.content=demo.jar\n"
               "bundle.content-into=prev|" + b.temp / "g/Demo" + "\n");
    expectRefusal(b.image(b.temp / "g", true), 1,
                  "\"" + b.temp / "g/Demo" + "\" (bundle.content-into) lies "
                  "inside the output \"" + root + "\"");
    EXPECT_EQ(listDir(b.temp / "g"), Strings{"Demo"});
    EXPECT_FALSE(exists(b.temp / "g/Demo/lib/app/prev"));
}

TEST(AssembleCommit, NamesTheKeyOfContentThatHoldsTheOutput) {
    Bench b;
    writeFile(b.temp / "src/app/demo.jar", readFile(b.temp / "src/demo.jar"));
    b.describe("", "bundle.content-into=lib|app\n", "Demo", "bundle.runtime=../jdk\n",
               "$APPDIR/lib/demo.jar");
    expectRefusal(b.image(b.temp / "src/app/dist"), 1,
                  "lies inside \"" + b.temp / "src/app\" (bundle.content-into)");
}

TEST(AssembleCommit, RefusesAnOutputPathWithAColonBeforeAnyWork) {
    Bench b;
    makeDirs(b.temp / "a:b");
    expectRefusal(b.image(b.temp / "a:b/dist"), 1, "has a ':' in its path, "
                  "from which the runtime cannot start");
    EXPECT_EQ(listDir(b.temp / "a:b"), Strings{});
    makeSymlink(b.temp / "a:b", b.temp / "plain");
    expectRefusal(b.image(b.temp / "plain"), 1, "has a ':' in its path");
    EXPECT_EQ(b.image(b.temp / "out").exitStatus, 0);
}

TEST(AssembleCommit, RefusesAMainJarReachedThroughDotDotAfterANonFolder) {
    Bench b;
    for (const char* jar : {"$APPDIR/nosuch/../demo.jar",
                            "$APPDIR/demo.jar/../demo.jar"}) {
        b.describe("", "bundle.content=demo.jar\n", "Demo",
                   "bundle.runtime=../jdk\n", jar);
        expectRefusal(b.image(b.temp / "out"), 1, "cannot be reached: \"..\" "
                      "follows \"$APPDIR/");
    }
    EXPECT_EQ(listDir(b.temp / "out"), Strings{});
}

// The commit with a SIGTERM that arrives at one of its steps: the preloaded
// library sends it at the first call of `at`.
ProcessResult assembleSignalledAt(const Bench& b, const std::string& at) {
    Strings args{"applauncher-assemble", b.temp / "src/demo.cfg", "--target",
                 "image", "--output", b.temp / "out", "--no-start-check"};
    ProcessOptions options = preloading(SIGNAL_AT_PATH);
    options.setEnv("SIGNAL_AT", at);
    return runProcess(assemblePath(), args, options);
}

// True when a process waits in /proc/locks for the lock on the inode `ino`.
bool lockWaitedFor(ino_t ino) {
    std::ifstream locks("/proc/locks");
    const std::string suffix = ":" + std::to_string(ino) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (contains(line, " -> ") && contains(line, suffix)) {
            return true;
        }
    }
    return false;
}

// Assemblies into one folder take turns: one waits while another holds
// the folder, and then replaces what that one left.
TEST(AssembleCommit, AssembliesIntoOneFolderTakeTurns) {
    Bench b;
    const std::string out = b.temp / "out";
    ASSERT_EQ(b.image(out).exitStatus, 0);
    const int held = open(out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    const std::string newer = makeJar(
            {{"META-INF/MANIFEST.MF", "Main-Class: demo.Main\r\n"},
             {"demo/Main.class", "\xca\xfe\xba\xbe newer"}});
    writeFile(b.temp / "src/demo.jar", newer);
    ProcessResult second;
    std::thread run([&] { second = b.image(out, true); });
    bool waited = false;
    for (int i = 0; i < 3000 && !waited; ++i) {
        waited = lockWaitedFor(st.st_ino);
        usleep(10000);
    }
    const std::string before = readFile(out + "/Demo/lib/app/demo.jar");
    close(held);
    run.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(before, jarWithMainClass("demo.Main"));
    EXPECT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(readFile(out + "/Demo/lib/app/demo.jar"), newer);
}

TEST(AssembleCommit, ASignalDuringTheSyncStopsBeforeTheCommit) {
    Bench b;
    const ProcessResult r = assembleSignalledAt(b, "syncfs");
    EXPECT_EQ(r.signal, SIGTERM) << r.exitStatus << r.err;
    EXPECT_EQ(r.err, "applauncher-assemble: Interrupted by SIGTERM: nothing "
                     "was written\n");
    EXPECT_EQ(listDir(b.temp / "out"), Strings{});
}

TEST(AssembleCommit, ASignalDuringTheCommitEndsTheCommandOnceItIsComplete) {
    Bench b;
    const ProcessResult r = assembleSignalledAt(b, "fsync");
    EXPECT_EQ(r.signal, SIGTERM) << r.exitStatus << r.err;
    EXPECT_EQ(r.err, "applauncher-assemble: interrupted at the end: the "
                     "assembly had completed\n");
    EXPECT_EQ(listDir(b.temp / "out"), Strings{"Demo"});
    EXPECT_TRUE(exists(b.temp / "out/Demo/lib/app/demo.jar"));
}

// The command is ended by `signal` while it copies a runtime: it removes
// its build folder and then ends as the signal ends it.
class AssembleEnded : public ::testing::TestWithParam<int> {};

TEST_P(AssembleEnded, WhileCopyingLeavesNothing) {
    Bench b;
    for (int d = 0; d < 40; ++d) {
        for (int f = 0; f < 100; ++f) {
            writeFile(b.temp / ("jdk/lib/d" + std::to_string(d) + "/f"
                                + std::to_string(f)), std::string(2048, 'r'));
        }
    }
    const std::string out = b.temp / "out";
    makeDirs(out);
    const std::string err = b.temp / "stderr";
    const StoppedAssembly run =
            stopWhileCopying(b.temp / "src/demo.cfg", out, "Demo", err);
    ASSERT_NE(run.pid, -1);
    const int status = endStopped(run.pid, GetParam());
    ASSERT_NE(status, -1);
    ASSERT_TRUE(run.seen) << "the copy was never seen under way";
    ASSERT_EQ(run.during.size(), 1u) << "the copy had ended before the signal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << status;
    EXPECT_EQ(readFile(err), "applauncher-assemble: Interrupted by "
              + std::string(GetParam() == SIGHUP ? "SIGHUP" : "SIGQUIT")
              + ": nothing was written\n");
    EXPECT_EQ(listDir(out), Strings{});
}

INSTANTIATE_TEST_SUITE_P(Signals, AssembleEnded, ::testing::Values(SIGHUP, SIGQUIT),
        [](const ::testing::TestParamInfo<int>& info) {
            return std::string(info.param == SIGHUP ? "Hup" : "Quit");
        });

} // namespace
