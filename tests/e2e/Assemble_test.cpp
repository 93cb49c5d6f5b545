// applauncher-assemble on descriptions written into a temporary folder,
// with a folder shaped like a Java runtime (a release file and the
// substitute runtime library as its libjli): what the bundle and the image
// hold, read back by independent tools where the machine has them
// (python3's plistlib, icns2png, desktop-file-validate, llvm-lipo), the
// launcher in them started, and every refused input leaving nothing behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "AppLayout.h"
#include "AssembleBench.h"
#include "Bundle.h"
#include "FileChecks.h"
#include "MachOFiles.h"
#include "OutputLines.h"
#include "TestImages.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;
using e2e::splitLines;

namespace {

typedef std::vector<std::string> Strings;

std::string tstringsReplace(std::string text, const std::string& from,
                            const std::string& to) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
        text.replace(at, from.size(), to);
    }
    return text;
}

const char* const defaultApplication =
        "[Application]\napp.mainjar=$APPDIR/demo.jar\n\n"
        "[JavaOptions]\njava-options=-Ddemo.x=1\n";

// A description folder (src), an output folder (out) and a runtime-shaped
// folder (jdk) in a temporary folder; the command runs with that folder as
// its working directory, so relative paths only work from the
// description's folder.
class Workbench {
public:
    Workbench() {
        makeDirs(out());
        writeFile(src() + "/target/demo.jar", jarWithMainClass("demo.Main"));
        writeFakeRuntime(runtime());
    }

    std::string src() const { return temp / "src"; }
    std::string out() const { return temp / "out"; }
    std::string runtime() const { return temp / "jdk"; }
    std::string description() const { return src() + "/demo.cfg"; }

    void describe(const std::string& bundleKeys,
                  const std::string& application = defaultApplication) const {
        writeFile(description(), application
                  + "\n[Bundle]\nbundle.name=Demo\n"
                    "bundle.identifier=com.example.demo\n"
                    "bundle.content=target/demo.jar\n"
                    "bundle.runtime=../jdk\n" + bundleKeys);
    }

    ProcessResult assemble(const Strings& options,
                           ProcessOptions process = ProcessOptions()) const {
        Strings args{"applauncher-assemble", description(), "--output", out()};
        args.insert(args.end(), options.begin(), options.end());
        process.cwd = temp.path();
        return runProcess(assemblePath(), args, process);
    }

    // Starts an assembled launcher on the substitute runtime library.
    std::vector<FakeJliCall> start(const std::string& executable) const {
        const LaunchResult r = startAssembled(executable, temp.path());
        EXPECT_EQ(r.process.exitStatus, 0) << r.process.err;
        return r.calls;
    }

    TempDir temp;
};

// --- What the bundle and the image hold ---

struct TargetCase {
    const char* target;
    const char* root;
    const char* app;
    const char* runtime;
    const char* executable;
};

void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.target;
}

class AssembleTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(AssembleTarget, HoldsTheContentTheConfigurationAndTheRuntimeAndStarts) {
    const TargetCase& c = GetParam();
    Workbench w;
    writeFile(w.src() + "/target/lib/a.jar", "a");
    chmod((w.src() + "/target/lib/a.jar").c_str(), 0640);
    writeFile(w.src() + "/target/lib/sub/b.txt", "b");
    makeSymlink("a.jar", w.src() + "/target/lib/latest.jar");
    makeSymlink(w.src() + "/target/lib/sub/b.txt", w.src() + "/target/lib/abs.txt");
    writeFile(w.temp / "etc/java.security", "security");
    writeFile(w.temp / "etc/fonts/f.txt", "font");
    makeSymlink(w.temp / "etc/java.security", w.runtime() + "/conf/java.security");
    makeSymlink("../../etc/fonts", w.runtime() + "/lib/fonts");
    makeSymlink("../../nowhere/src.zip", w.runtime() + "/lib/src.zip");
    // [Bundle] between two sections; a comment and no line feed at the end
    // stay as they are in the configuration; notes before the first section
    // are left out.
    const std::string notes = "Demo, packaged\n; by hand\n";
    const std::string before = "[Application]\n; demo\napp.mainjar=$APPDIR/demo.jar\n"
                               "app.splash=$APPDIR/a.jar\n\n";
    const std::string after = "[JavaOptions]\njava-options=-Ddemo.x=1\n"
                              "[ArgOptions]\narguments=one";
    writeFile(w.description(), notes + before + "[Bundle]\nbundle.name=Demo\n"
              "bundle.identifier=com.example.demo\nbundle.content=target/demo.jar\n"
              "bundle.content=target/lib\nbundle.runtime=../jdk\n"
              "bundle.package=com.example.pkg\n" + after);

    const ProcessResult r = w.assemble({"--target", c.target,
                                        "--no-start-check"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string root = w.out() + "/" + c.root;
    const std::string app = root + "/" + c.app;
    const std::string home = root + "/" + c.runtime;
    EXPECT_EQ(readFile(app + "/Demo.cfg"), before + after);
    EXPECT_EQ(readFile(app + "/.package"), "com.example.pkg\n");
    EXPECT_EQ(modeOf(root + "/" + c.executable), 0755u);
    EXPECT_EQ(readFile(root + "/" + c.executable),
              readFile(std::string(c.target) == "bundle"
                               ? launcherPath()
                               : assemblePath().substr(0, assemblePath().rfind('/'))
                                         + "/applauncher-linux"));
    EXPECT_EQ(modeOf(app + "/a.jar"), 0640u);
    EXPECT_EQ(linkText(app + "/latest.jar"), "a.jar");
    EXPECT_EQ(linkText(app + "/abs.txt"), "sub/b.txt");
    EXPECT_EQ(readFile(app + "/sub/b.txt"), "b");
    // Links out of the runtime became copies; one that names nothing is gone.
    EXPECT_TRUE(isRegular(home + "/conf/java.security"));
    EXPECT_EQ(readFile(home + "/conf/java.security"), "security");
    EXPECT_EQ(readFile(home + "/lib/fonts/f.txt"), "font");
    EXPECT_EQ(modeOf(home + "/lib/src.zip"), 0u);
    EXPECT_EQ(readFile(home + "/release"), readFile(w.runtime() + "/release"));

    const std::vector<FakeJliCall> calls = w.start(root + "/" + c.executable);
    ASSERT_EQ(calls.size(), 1u);
    const Strings& args = calls[0].args;
    const Strings tail(args.end() - 3, args.end());
    EXPECT_EQ(tail, (Strings{"-jar", app + "/demo.jar", "one"}));
    EXPECT_NE(std::find(args.begin(), args.end(), "-Ddemo.x=1"), args.end());
    if (std::string(c.target) == "bundle") {
        EXPECT_EQ(linkText(home + "/lib/libjli.dylib"), "libjli.so");
        EXPECT_EQ(readFile(root + "/Contents/PkgInfo"), "APPL????");
        // Without usage texts: the template that cmake --install installs.
        EXPECT_EQ(readFile(w.out() + "/Demo.entitlements"),
                  readFile(sourceDir() + "/src/macosx/resources/applauncher.entitlements"));
        EXPECT_EQ(listDir(w.out()), (Strings{"Demo.app", "Demo.entitlements"}));
    } else {
        EXPECT_EQ(listDir(w.out()), (Strings{"Demo"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, AssembleTarget, ::testing::Values(
        TargetCase{"bundle", "Demo.app", "Contents/app",
                   "Contents/runtime/Contents/Home", "Contents/MacOS/Demo"},
        TargetCase{"image", "Demo", "lib/app", "lib/runtime", "bin/Demo"}),
        [](const ::testing::TestParamInfo<TargetCase>& info) {
            return std::string(info.param.target);
        });

// The property list as plistlib reads it, as sorted JSON.
std::string plistAsJson(const std::string& path) {
    const ProcessResult r = runProcess("/usr/bin/env", {"env", "python3", "-c",
            "import json, plistlib, sys\n"
            "print(json.dumps(plistlib.load(open(sys.argv[1], 'rb')),"
            " sort_keys=True, ensure_ascii=False))", path});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
}

TEST(AssembleImage, ARuntimeWithoutJavaLeavesTheStartUncheckedWithANote) {
    Workbench w;
    w.describe("");
    const ProcessResult r = w.assemble({"--target", "image"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "applauncher-assemble: note: the start was not checked: "
                     "the runtime has no bin/java to ask (linked with "
                     "--strip-native-commands?)\n");
    // Skipped on request, there is nothing to say.
    const ProcessResult skipped = w.assemble(
            {"--target", "image", "--replace", "--no-start-check"});
    ASSERT_EQ(skipped.exitStatus, 0) << skipped.err;
    EXPECT_EQ(skipped.err, "");
}

TEST(AssembleBundle, InfoPlistReadByPlistlib) {
    if (findTool("python3").empty()) {
        GTEST_SKIP() << "python3 is not installed (its plistlib reads the "
                        "Info.plist); .ci/run installs it";
    }
    Workbench w;
    w.describe("bundle.version=2.5\n"
               "bundle.display-name=D\xc3\xa9mo & <Co> \"1\"\n"
               "bundle.file-type=Demo <doc>|demo,dmo|application/x-demo|Editor\n"
               "bundle.url-scheme=demo\n"
               "bundle.usage=Camera: Scans <paper> & more\n");
    const ProcessResult r = w.assemble({"--target", "bundle"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(plistAsJson(w.out() + "/Demo.app/Contents/Info.plist"),
              "{\"CFBundleDevelopmentRegion\": \"en\", "
              "\"CFBundleDisplayName\": \"D\xc3\xa9mo & <Co> \\\"1\\\"\", "
              "\"CFBundleDocumentTypes\": [{\"CFBundleTypeExtensions\": "
              "[\"demo\", \"dmo\"], \"CFBundleTypeMIMETypes\": "
              "[\"application/x-demo\"], \"CFBundleTypeName\": \"Demo <doc>\", "
              "\"CFBundleTypeRole\": \"Editor\"}], "
              "\"CFBundleExecutable\": \"Demo\", "
              "\"CFBundleIdentifier\": \"com.example.demo\", "
              "\"CFBundleInfoDictionaryVersion\": \"6.0\", "
              "\"CFBundleName\": \"Demo\", \"CFBundlePackageType\": \"APPL\", "
              "\"CFBundleShortVersionString\": \"2.5\", "
              "\"CFBundleURLTypes\": [{\"CFBundleURLName\": \"com.example.demo\", "
              "\"CFBundleURLSchemes\": [\"demo\"]}], "
              "\"CFBundleVersion\": \"2.5\", "
              "\"LSArchitecturePriority\": [\"x86_64\"], "
              "\"LSMinimumSystemVersion\": \"10.15\", "
              "\"NSCameraUsageDescription\": \"Scans <paper> & more\", "
              "\"NSHighResolutionCapable\": true}\n");
    const std::string entitlements = readFile(w.out() + "/Demo.entitlements");
    EXPECT_NE(entitlements.find("com.apple.security.device.camera"),
              std::string::npos);
}

TEST(AssembleBundle, IconReadByIcns2png) {
    const std::string icns2png = findTool("icns2png");
    if (icns2png.empty()) {
        GTEST_SKIP() << "icns2png is not installed (Debian: icnsutils); "
                        ".ci/run installs it";
    }
    Workbench w;
    writeFile(w.src() + "/art/icon.png", pngImage(256, 256));
    writeFile(w.src() + "/art/small.png", pngImage(32, 32));
    writeFile(w.src() + "/art/linux.png", pngImage(48, 48));
    w.describe("bundle.icon=art/icon.png\nbundle.icon=art/linux.png\n"
               "bundle.icon=art/small.png\n");
    const ProcessResult made = w.assemble({"--target", "bundle"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    EXPECT_NE(made.err.find("note: the icon \"" + w.src() + "/art/linux.png\" "
                            "(48x48 pixels) is left out"), std::string::npos)
            << made.err;
    const std::string icns = w.out() + "/Demo.app/Contents/Resources/Demo.icns";
    const ProcessResult r = runProcess(icns2png, {"icns2png", "-l", icns});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("'ic08' 256x256 32-bit icon"), std::string::npos)
            << r.out;
    // libicns does not tell the size of the small PNG types.
    EXPECT_NE(r.out.find("'icp5' 0x0 0-bit (" + std::to_string(pngImage(32, 32).size())
                         + " bytes)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 elements total"), std::string::npos) << r.out;
    EXPECT_NE(readFile(w.out() + "/Demo.app/Contents/Info.plist")
                      .find("<key>CFBundleIconFile</key>\n  <string>Demo.icns"),
              std::string::npos);
}

TEST(AssembleImage, DesktopEntryValidates) {
    const std::string validate = findTool("desktop-file-validate");
    if (validate.empty()) {
        GTEST_SKIP() << "desktop-file-validate is not installed (Debian: "
                        "desktop-file-utils); .ci/run installs it";
    }
    Workbench w;
    writeFile(w.src() + "/art/icon.png", pngImage(64, 64));
    writeFile(w.src() + "/art/small.png", pngImage(16, 16));
    writeFile(w.description(), std::string(defaultApplication)
              + "[Bundle]\nbundle.name=My Demo\nbundle.content=target/demo.jar\n"
                "bundle.runtime=../jdk\nbundle.icon=art/icon.png\n"
                "bundle.icon=art/small.png\n"
                "bundle.comment=Edits demo documents\n"
                "bundle.keywords=demo;sample editor\n"
                "bundle.install-dir=/opt/my $demo\n"
                "bundle.file-type=Demo doc|demo|application/x-demo\n"
                "bundle.url-scheme=demo\nbundle.categories=Development;IDE\n");
    ASSERT_EQ(w.assemble({"--target", "image"}).exitStatus, 0);
    const std::string entry = w.out() + "/My Demo/lib/My Demo.desktop";
    const ProcessResult r = runProcess(validate, {"desktop-file-validate", entry});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out + r.err, "");
    const Strings expected{
            "[Desktop Entry]", "Type=Application", "Version=1.0",
            "Name=My Demo", "Comment=Edits demo documents",
            "Exec=\"/opt/my \\\\$demo/bin/My Demo\" %U",
            "Icon=/opt/my $demo/lib/My Demo.png", "Terminal=false",
            "StartupWMClass=demo-Main", "Categories=Development;IDE;",
            "Keywords=demo;sample editor;",
            "MimeType=application/x-demo;x-scheme-handler/demo;"};
    EXPECT_EQ(splitLines(readFile(entry)), expected);
    EXPECT_EQ(readFile(w.out() + "/My Demo/lib/My Demo.png"), pngImage(64, 64));
    const std::string hicolor = w.out() + "/My Demo/share/icons/hicolor";
    EXPECT_EQ(listDir(hicolor), (Strings{"16x16", "64x64"}));
    EXPECT_EQ(readFile(hicolor + "/16x16/apps/My Demo.png"), pngImage(16, 16));
    EXPECT_EQ(readFile(hicolor + "/64x64/apps/My Demo.png"), pngImage(64, 64));
}

TEST(AssembleImage, AnIdentifierNamesTheEntryAndItsIcons) {
    Workbench w;
    writeFile(w.src() + "/art/a.png", pngImage(22, 22));
    writeFile(w.src() + "/art/b.png", pngImage(512, 512));
    writeFile(w.src() + "/art/c.png", pngImage(20, 20));
    w.describe("bundle.identifier=org.example.Demo-App\n"
               "bundle.icon=art/b.png\nbundle.icon=art/a.png\nbundle.icon=art/c.png\n");
    const ProcessResult r = w.assemble({"--target", "image", "--no-start-check"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    // Standard error is no terminal: the note and no progress line.
    EXPECT_EQ(r.err, "applauncher-assemble: note: the icon \"" + w.src()
              + "/art/c.png\" (20x20 pixels) is left out: the hicolor icon "
                "theme has no folder of that size\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listDir(w.out() + "/Demo/lib"),
              (Strings{".applauncher-assemble", "Demo.png", "app",
                       "org.example.Demo-App.desktop", "runtime"}));
    EXPECT_EQ(readFile(w.out() + "/Demo/lib/Demo.png"), pngImage(512, 512));
    const std::string apps = w.out() + "/Demo/share/icons/hicolor/";
    EXPECT_EQ(listDir(apps), (Strings{"22x22", "512x512"}));
    EXPECT_EQ(readFile(apps + "22x22/apps/org.example.Demo-App.png"), pngImage(22, 22));
    EXPECT_EQ(readFile(apps + "512x512/apps/org.example.Demo-App.png"),
              pngImage(512, 512));
    EXPECT_NE(readFile(w.out() + "/Demo/lib/org.example.Demo-App.desktop")
                      .find("\nIcon=/opt/Demo/lib/Demo.png\n"), std::string::npos);
}

// --- A bundle for a Mac, assembled here ---

struct CrossCase {
    const char* name;
    std::vector<std::uint32_t> launcherCpus;
    const char* runtimeArch;
    Strings priority;
    const char* minimumSystem;
};

void PrintTo(const CrossCase& c, std::ostream* os) {
    *os << c.name;
}

class CrossAssembled : public ::testing::TestWithParam<CrossCase> {};

TEST_P(CrossAssembled, ListsTheArchitecturesOfBothLauncherAndRuntime) {
    const CrossCase& c = GetParam();
    Workbench w;
    // The launcher that tools/macos-crosscheck.sh builds, when there is one;
    // else a Mach-O file of the same shape.
    std::string launcher = sourceDir() + "/build-mac-universal/applauncher";
    Strings expected = c.priority;
    const std::string lipo = findFirstTool({"llvm-lipo-19", "llvm-lipo", "lipo"});
    if (c.launcherCpus.size() != 2 || !isRegular(launcher)) {
        launcher = w.temp / "applauncher";
        writeFile(launcher, (c.launcherCpus.size() == 1
                                     ? thinMachO(c.launcherCpus[0])
                                     : fatMachO(c.launcherCpus))
                                    + AppLayout::bundleMark);
    }
    if (!lipo.empty()) {
        // What lipo reads, kept where the runtime has it too.
        const ProcessResult archs = runProcess(lipo, {"lipo", "-archs", launcher});
        ASSERT_EQ(archs.exitStatus, 0) << archs.err;
        const std::string runtimeArch = std::string(c.runtimeArch) == "aarch64"
                ? "arm64" : c.runtimeArch;
        expected.clear();
        if (archs.out.find(runtimeArch) != std::string::npos) {
            expected.push_back(runtimeArch);
        }
    }
    writeFakeRuntime(w.temp / "mac.jdk/Contents/Home", "Darwin",
                           c.runtimeArch, "lib/libjli.dylib");
    w.describe("", "[Application]\napp.mainclass=demo.Main\n"
                   "app.classpath=$APPDIR/demo.jar\n");
    writeFile(w.description(), readFile(w.description()) + "bundle.runtime=../mac.jdk\n");
    const ProcessResult r = w.assemble({"--target", "bundle", "--launcher", launcher});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    if (findTool("python3").empty()) {
        GTEST_SKIP() << "python3 is not installed (its plistlib reads the "
                        "Info.plist); .ci/run installs it";
    }
    const std::string json = plistAsJson(w.out() + "/Demo.app/Contents/Info.plist");
    std::string list;
    for (const std::string& arch : expected) {
        list += (list.empty() ? "\"" : ", \"") + arch + "\"";
    }
    EXPECT_NE(json.find("\"LSArchitecturePriority\": [" + list + "]"),
              std::string::npos) << json;
    EXPECT_NE(json.find(std::string("\"LSMinimumSystemVersion\": \"")
                        + c.minimumSystem + "\""), std::string::npos) << json;
    EXPECT_TRUE(isRegular(w.out() + "/Demo.app/Contents/runtime/Contents/Home/lib/libjli.dylib"));
}

INSTANTIATE_TEST_SUITE_P(Launchers, CrossAssembled, ::testing::Values(
        CrossCase{"UniversalArmRuntime", {cpuX86_64, cpuArm64}, "aarch64",
                  {"arm64"}, "10.15"},
        CrossCase{"UniversalIntelRuntime", {cpuX86_64, cpuArm64}, "x86_64",
                  {"x86_64"}, "10.15"},
        CrossCase{"ArmOnly", {cpuArm64}, "aarch64", {"arm64"}, "11.0"}),
        [](const ::testing::TestParamInfo<CrossCase>& info) {
            return std::string(info.param.name);
        });

TEST(AssembleBundle, SignsInsideOutThroughCodesign) {
    for (const char* identity : {"Developer ID Application: Example (T1)", "-"}) {
        Workbench w;
        const std::string jdk = w.temp / "mac.jdk";
        writeFakeRuntime(jdk + "/Contents/Home", "Darwin", "aarch64",
                               "lib/libjli.dylib");
        writeFile(jdk + "/Contents/Home/lib/libjli.dylib", thinMachO(cpuArm64));
        writeFile(jdk + "/Contents/Home/lib/server/libjvm.dylib", thinMachO(cpuArm64));
        writeFile(jdk + "/Contents/Info.plist", "<plist/>");
        makeSymlink("../Home/lib/libjli.dylib", jdk + "/Contents/MacOS/libjli.dylib");
        writeFile(w.src() + "/target/native/libdemo.dylib", fatMachO({cpuArm64}));
        writeFile(w.temp / "applauncher",
                  thinMachO(cpuArm64) + AppLayout::bundleMark);
        writeFile(w.temp / "bin/codesign",
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done >> \"$CODESIGN_LOG\"\n"
                  "echo >> \"$CODESIGN_LOG\"\n");
        chmod((w.temp / "bin/codesign").c_str(), 0755);
        w.describe("bundle.runtime=../mac.jdk\nbundle.content=target/native\n");
        ProcessOptions options;
        options.setEnv("PATH", w.temp / "bin:/usr/bin:/bin")
                .setEnv("CODESIGN_LOG", w.temp / "codesign.log");
        const ProcessResult r = w.assemble({"--target", "bundle", "--launcher",
                                            w.temp / "applauncher", "--sign",
                                            identity}, options);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        Strings commands = splitLines(readFile(w.temp / "codesign.log"));
        ASSERT_EQ(commands.size(), 7u);
        // Paths in the workspace, where signing happens before the move,
        // are shown relative to the bundle.
        const std::string verify = commands.back();
        const std::size_t from = verify.rfind('|', verify.size() - 2) + 1;
        const std::string bundle = verify.substr(from, verify.size() - 1 - from);
        for (std::string& command : commands) {
            for (std::size_t at; (at = command.find(bundle)) != std::string::npos;) {
                command.replace(at, bundle.size(), "APP");
            }
        }
        const std::string entitlements =
                bundle.substr(0, bundle.rfind('/')) + "/Demo.entitlements";
        std::string ts = std::string(identity) == "-" ? "" : "--timestamp|";
        std::string sign = "--force|" + ts + "--options|runtime|";
        const std::string id = std::string("--sign|") + identity + "|";
        const std::string ent = "--entitlements|" + entitlements + "|";
        EXPECT_EQ(commands, (Strings{
                sign + id + "APP/Contents/runtime/Contents/Home/lib/libjli.dylib|",
                sign + id + "APP/Contents/runtime/Contents/Home/lib/server/libjvm.dylib|",
                sign + id + "APP/Contents/app/libdemo.dylib|",
                sign + id + "APP/Contents/runtime|",
                sign + ent + id + "APP/Contents/MacOS/Demo|",
                sign + ent + id + "APP|",
                "--verify|--deep|--strict|--verbose=2|APP|"}))
                << identity;
        EXPECT_EQ(listDir(w.out()), (Strings{"Demo.app", "Demo.entitlements"}));
    }
}

TEST(AssembleImage, ReplacesOnlyItsOwnEarlierOutput) {
    Workbench w;
    w.describe("bundle.version=1\n");
    ASSERT_EQ(w.assemble({}).exitStatus, 0);
    writeFile(w.out() + "/Demo/lib/app/left-over", "x");
    chmod((w.out() + "/Demo/lib/app").c_str(), 0555);
    const std::string second = makeJar({{"META-INF/MANIFEST.MF", "Main-Class: demo.Main\r\n"},
                                      {"demo/Main.class", "2"}});
    writeFile(w.src() + "/target/demo.jar", second);
    const ProcessResult r = w.assemble({"--replace"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(listDir(w.out()), (Strings{"Demo"}));
    EXPECT_EQ(listDir(w.out() + "/Demo/lib/app"), (Strings{"Demo.cfg", "demo.jar"}));
    EXPECT_EQ(readFile(w.out() + "/Demo/lib/app/demo.jar"), second);
}

// A class path beside the main jar that its manifest reaches anyway: the
// output starts, and a note on standard error says it is redundant.
TEST(AssembleImage, ARedundantClassPathIsANote) {
    Workbench w;
    writeFile(w.src() + "/target/demo.jar",
              makeJar({{"META-INF/MANIFEST.MF", "Main-Class: demo.Main\r\n"
                                              "Class-Path: dep.jar\r\n"},
                     {"demo/Main.class", "\xca\xfe\xba\xbe"}}));
    writeFile(w.src() + "/target/lib/dep.jar", makeJar({{"d/D.class", "d"}}));
    w.describe("bundle.content=target/lib\n",
               "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
               "app.classpath=$APPDIR/demo.jar:$APPDIR/dep.jar\n");
    const ProcessResult r = w.assemble({"--target", "image", "--no-start-check"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(splitLines(r.err), (Strings{"applauncher-assemble: note: app.classpath "
                                     "is redundant: with app.mainjar the runtime "
                                     "ignores it, and the main jar's manifest "
                                     "already names every entry of it"}));
    EXPECT_EQ(listDir(w.out()), (Strings{"Demo"}));
}

// An archive asked for that no start would ever have: the output is
// written, and a note says why the archive cannot take effect.
TEST(AssembleImage, AnArchiveThatCannotTakeEffectIsANote) {
    Workbench w;
    w.describe("", "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
                   "app.cds=auto\n\n[JavaOptions]\n"
                   "java-options=-Djava.security.manager=allow\n");
    const ProcessResult r = w.assemble({"--target", "image", "--no-start-check"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(splitLines(r.err), (Strings{"applauncher-assemble: note: app.cds=auto "
                                     "cannot take effect: the java option "
                                     "\"-Djava.security.manager=allow\" rules "
                                     "the archive out"}));
    EXPECT_EQ(listDir(w.out()), (Strings{"Demo"}));
}

// --- Refused input: one line, status 1 (2 for usage), nothing written ---

struct BadCase {
    const char* name;
    std::function<Strings(Workbench&)> prepare;
    int status;
    const char* message;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

Strings image(Workbench&) {
    return {"--target", "image"};
}

const BadCase badCases[] = {
    {"Unparsable", [](Workbench& w) {
         writeFile(w.description(), "[Application\napp.mainjar=x\n");
         return image(w); }, 1, "Missing ']' character"},
    {"NoName", [](Workbench& w) {
         writeFile(w.description(), "[Bundle]\nbundle.content=target/demo.jar\n");
         return image(w); }, 1, "has no bundle.name"},
    {"BadName", [](Workbench& w) {
         writeFile(w.description(), "[Bundle]\nbundle.name=-Demo\n");
         return image(w); }, 1, "Invalid value \"-Demo\" of bundle.name"},
    {"NameWithCarriageReturn", [](Workbench& w) {
         writeFile(w.description(), "[Bundle]\r\nbundle.name=Demo\r\n");
         return image(w); }, 1, "has a carriage return at line 1"},
    {"ByteOrderMark", [](Workbench& w) {
         w.describe("");
         writeFile(w.description(), "\xef\xbb\xbf" + readFile(w.description()));
         return image(w); }, 1, "starts with a byte-order mark"},
    {"IdentifierNotADbusName", [](Workbench& w) {
         w.describe("bundle.identifier=com.example.3d\n");
         return image(w); }, 1, "no part of it may start with a digit"},
    {"UnregisteredCategory", [](Workbench& w) {
         w.describe("bundle.categories=Development;Tools;\n");
         return image(w); }, 1, "\"Tools\" is not a registered desktop menu category"},
    {"IconWithBadCrc", [](Workbench& w) {
         std::string bad = pngImage(32, 32);
         bad[bad.size() - 20] ^= 0x40;
         writeFile(w.src() + "/icon.png", bad);
         w.describe("bundle.icon=icon.png\n");
         return image(w); }, 1, "the CRC of its IDAT chunk does not match"},
    {"NoIconFitsABundle", [](Workbench& w) {
         writeFile(w.src() + "/a.png", pngImage(48, 48));
         writeFile(w.src() + "/b.png", pngImage(22, 22));
         w.describe("bundle.icon=a.png\nbundle.icon=b.png\n");
         return Strings{"--target", "bundle"}; }, 1, "No icon fits a bundle"},
    {"UnknownKey", [](Workbench& w) {
         w.describe("bundle.identifer=com.example.x\n");
         return image(w); }, 1, "Unknown key \"bundle.identifer\" in the [Bundle] section"},
    {"BadIdentifier", [](Workbench& w) {
         w.describe("bundle.identifier=demo\n");
         return image(w); }, 1, "Invalid value \"demo\" of bundle.identifier"},
    {"NoIdentifierForBundle", [](Workbench& w) {
         writeFile(w.description(), std::string(defaultApplication)
                   + "[Bundle]\nbundle.name=Demo\nbundle.content=target/demo.jar\n"
                     "bundle.runtime=../jdk\n");
         return Strings{"--target", "bundle"}; }, 1, "has no bundle.identifier"},
    {"BadVersion", [](Workbench& w) {
         w.describe("bundle.version=1.2.3.4\n");
         return image(w); }, 1, "Invalid value \"1.2.3.4\" of bundle.version"},
    {"BadFileType", [](Workbench& w) {
         w.describe("bundle.file-type=Doc|.doc|text\n");
         return image(w); }, 1, "of bundle.file-type"},
    {"BadUsage", [](Workbench& w) {
         w.describe("bundle.usage=Telepathy: reads minds\n");
         return image(w); }, 1, "of bundle.usage"},
    {"RuntimeAndModules", [](Workbench& w) {
         w.describe("bundle.modules=java.base\n");
         return image(w); }, 1, "gives both bundle.runtime and bundle.modules"},
    {"MissingContent", [](Workbench& w) {
         w.describe("bundle.content=target/missing.jar\n");
         return image(w); }, 1, "target/missing.jar\" (bundle.content) does not exist"},
    {"ContentLinkToNothing", [](Workbench& w) {
         makeSymlink(w.temp / "jdk/gone", w.src() + "/target/lib/gone");
         w.describe("bundle.content=target/lib\n");
         return image(w); }, 1, "target/lib/gone\" points to"},
    {"ContentTwice", [](Workbench& w) {
         writeFile(w.src() + "/other/demo.jar", "x");
         w.describe("bundle.content=other/demo.jar\n");
         return image(w); }, 1, "would both be copied to lib/app/demo.jar"},
    {"MissingIcon", [](Workbench& w) {
         w.describe("bundle.icon=art/none.png\n");
         return image(w); }, 1, "art/none.png\" (bundle.icon) is not a file"},
    {"IconNotPng", [](Workbench& w) {
         writeFile(w.src() + "/icon.png", "GIF89a......................");
         w.describe("bundle.icon=icon.png\n");
         return image(w); }, 1, "is not a PNG image"},
    {"IconSizeFitsNoEntry", [](Workbench& w) {
         writeFile(w.src() + "/icon.png", pngImage(100, 100));
         w.describe("bundle.icon=icon.png\n");
         return image(w); }, 1, "is 100x100 pixels"},
    {"MainJarNotInContent", [](Workbench& w) {
         w.describe("", "[Application]\napp.mainjar=$APPDIR/other.jar\n");
         return image(w); }, 1, "main jar \"" },
    {"MainJarWithoutMainClass", [](Workbench& w) {
         writeFile(w.src() + "/target/demo.jar", jarWithMainClass(""));
         w.describe("");
         return image(w); }, 1, "names no Main-Class in its manifest"},
    {"MainClassMissing", [](Workbench& w) {
         writeFile(w.src() + "/target/classes/demo/Other.class", "x");
         w.describe("bundle.content=target/classes\n",
                    "[Application]\napp.mainclass=demo.Main\napp.classpath=$APPDIR\n");
         writeFile(w.description(), tstringsReplace(readFile(w.description()),
                   "bundle.content=target/demo.jar\n", ""));
         return image(w); }, 1, "main class \"demo.Main\" is not among the content"},
    {"MainClassNotInTheJar", [](Workbench& w) {
         writeFile(w.src() + "/target/demo.jar", jarWithMainClass("demo.Other"));
         w.describe("");
         return image(w); }, 1, "main class \"demo.Other\" is not among the content"},
    {"MainModuleMissing", [](Workbench& w) {
         w.describe("", "[Application]\napp.mainmodule=demo.app/demo.Main\n"
                        "app.modulepath=$APPDIR/mods\n");
         return image(w); }, 1, "main module \"demo.app\""},
    {"NothingToStart", [](Workbench& w) {
         w.describe("", "[JavaOptions]\njava-options=-Dx=1\n");
         return image(w); }, 1, "names nothing to start"},
    {"RuntimeWithoutJli", [](Workbench& w) {
         unlink((w.runtime() + "/lib/libjli.so").c_str());
         w.describe("");
         return image(w); }, 1, "has no lib/libjli.so or lib/jli/libjli.so"},
    {"RuntimeOfAnotherSystem", [](Workbench& w) {
         writeFakeRuntime(w.temp / "mac", "Darwin", "x86_64");
         w.describe("bundle.runtime=../mac\n");
         return image(w); }, 1, "is built for Darwin x86_64, but the launcher"},
    {"RuntimeOfAnotherArchitecture", [](Workbench& w) {
         writeFakeRuntime(w.temp / "arm", "Linux", "aarch64");
         w.describe("bundle.runtime=../arm\n");
         return image(w); }, 1, "is built for Linux arm64, but the launcher"},
    {"OutputExists", [](Workbench& w) {
         makeDirs(w.out() + "/Demo");
         w.describe("");
         return image(w); }, 1, "Demo\" exists: remove it, or give --replace"},
    {"ReplaceNotOurs", [](Workbench& w) {
         writeFile(w.out() + "/Demo/mine.txt", "x");
         w.describe("");
         return Strings{"--replace", "--target", "image"}; }, 1,
     "exists and was not made by applauncher-assemble"},
    {"MainJarWithMainClass", [](Workbench& w) {
         w.describe("", "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
                        "app.mainclass=demo.Main\n");
         return image(w); }, 1, "app.mainjar and app.mainclass are both set"},
    {"LockedNeitherTrueNorFalse", [](Workbench& w) {
         w.describe("", std::string(defaultApplication) + "[Application]\n"
                        "app.locked=true \n");
         return image(w); }, 1, "Invalid value \"true \" of app.locked"},
    {"BundleLauncherForAnImage", [](Workbench& w) {
         w.describe("");
         return Strings{"--target", "image", "--launcher", launcherPath()}; }, 1,
     "is the launcher of a bundle, which cannot start an image"},
    {"LauncherWithoutMark", [](Workbench& w) {
         copyExecutable("/bin/true", w.temp / "applauncher-linux");
         w.describe("");
         return Strings{"--target", "image", "--launcher",
                        w.temp / "applauncher-linux"}; }, 1, "carries no mark"},
    {"SignWithoutCodesign", [](Workbench& w) {
         w.describe("");
         return Strings{"--target", "bundle", "--sign", "-"}; }, 2,
     "--sign needs macOS's codesign"},
    {"UnknownOption", [](Workbench& w) {
         w.describe("");
         return Strings{"--taget", "image"}; }, 2, "unknown option \"--taget\""},
    {"BadTarget", [](Workbench& w) {
         w.describe("");
         return Strings{"--target", "app"}; }, 2, "--target takes bundle or image"},
};

class AssembleBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(AssembleBadInput, IsOneLineAndLeavesNothing) {
    Workbench w;
    const Strings args = GetParam().prepare(w);
    const Strings before = listDir(w.out());
    ProcessOptions options;
    options.setEnv("PATH", "/usr/bin:/bin");
    const ProcessResult r = w.assemble(args, options);
    EXPECT_EQ(r.exitStatus, GetParam().status);
    EXPECT_EQ(r.out, "");
    const Strings errors = splitLines(r.err);
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_EQ(errors[0].rfind("applauncher-assemble: ", 0), 0u) << r.err;
    EXPECT_NE(errors[0].find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(listDir(w.out()), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, AssembleBadInput, ::testing::ValuesIn(badCases),
        [](const ::testing::TestParamInfo<BadCase>& info) {
            return std::string(info.param.name);
        });

// SIGTERM while the runtime is being copied: the command ends as the
// signal ends it, after removing its workspace.
TEST(AssembleImage, SigtermWhileCopyingTheRuntimeLeavesNothing) {
    Workbench w;
    for (int d = 0; d < 40; ++d) {
        for (int f = 0; f < 100; ++f) {
            writeFile(w.runtime() + "/lib/d" + std::to_string(d) + "/f"
                      + std::to_string(f), std::string(2048, 'r'));
        }
    }
    w.describe("");
    const std::string err = w.temp / "stderr";
    // Stopped as soon as the first copied runtime folder shows.
    const StoppedAssembly run =
            stopWhileCopying(w.description(), w.out(), "Demo", err);
    ASSERT_NE(run.pid, -1);
    const int status = endStopped(run.pid, SIGTERM);
    ASSERT_NE(status, -1);
    ASSERT_TRUE(run.seen) << "the copy was never seen under way";
    ASSERT_EQ(run.during.size(), 1u) << "the copy had ended before the signal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(splitLines(readFile(err)),
              (Strings{"applauncher-assemble: Interrupted by SIGTERM: nothing was written"}));
    EXPECT_EQ(listDir(w.out()), Strings{});
}

} // namespace
