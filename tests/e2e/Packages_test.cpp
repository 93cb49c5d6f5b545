// The packages that applauncher-assemble writes, read by other tools: tar
// and zipinfo list them, tar and unzip extract them, dpkg installs the deb
// into a throwaway root (or, in CI as root, into the system) and removes
// it, rpm installs the rpm into a throwaway root; the application in each
// starts on the substitute runtime library. The Mac's tools (hdiutil,
// pkgbuild, productbuild, xcrun, codesign) are stand-ins that log their
// commands.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "AppLayout.h"
#include "AssembleBench.h"
#include "Bundle.h"
#include "FileChecks.h"
#include "OutputLines.h"
#include "TestImages.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;
using e2e::splitLines;

namespace {

typedef std::vector<std::string> Strings;

const long long sourceDate = 1796794853;  // 2026-12-09 05:40:53 UTC

bool hasLine(const std::string& text, const std::string& line) {
    const Strings all = splitLines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
}

ProcessResult run(const Strings& args, ProcessOptions options = ProcessOptions()) {
    options.timeoutSeconds = 120;
    return runProcess(findTool(args[0]), args, options);
}

// A description (My Demo: a blank in its name) with the package metadata,
// its jar, a link and an executable script in its content, and a runtime
// of the substitute library, in a temporary folder.
class Bench {
public:
    Bench() {
        makeDirs(out());
        writeFile(temp / "src/target/demo.jar", jarWithMainClass("demo.Main"));
        writeFile(temp / "src/target/tool.sh", "#!/bin/sh\n");
        chmod((temp / "src/target/tool.sh").c_str(), 0750);
        makeSymlink("demo.jar", temp / "src/target/latest.jar");
        writeFile(temp / "src/COPYING", "Copyright 2026 Example\nLicence: MIT\n");
        writeFakeRuntime(temp / "jdk");
        describe("");
    }

    void describe(const std::string& keys) const {
        writeFile(description(), "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
                  "[Bundle]\nbundle.name=My Demo\nbundle.identifier=com.example.demo\n"
                  "bundle.version=1.2.3\nbundle.content=target\nbundle.runtime=../jdk\n"
                  "bundle.maintainer=Jane Doe <jane@example.com>\n"
                  "bundle.description=Demonstration of a packaged application\n"
                  "bundle.copyright=COPYING\nbundle.package-name=applauncher-test-demo\n"
                  + keys);
    }

    std::string out() const { return temp / "out"; }
    std::string description() const { return temp / "src/demo.cfg"; }

    ProcessResult assemble(const Strings& options, ProcessOptions process = ProcessOptions(),
                           const std::string& outDir = "") const {
        Strings args{"applauncher-assemble", description(), "--output",
                     outDir.empty() ? out() : outDir};
        args.insert(args.end(), options.begin(), options.end());
        process.setEnv("SOURCE_DATE_EPOCH", std::to_string(sourceDate));
        process.timeoutSeconds = 120;
        return runProcess(assemblePath(), args, process);
    }

    // Starts a launcher on the substitute runtime library; the arguments
    // it hands the runtime.
    Strings start(const std::string& executable) const {
        const LaunchResult r = startAssembled(executable, temp.path());
        EXPECT_EQ(r.process.exitStatus, 0) << executable << ": " << r.process.err;
        return r.calls.size() == 1 ? r.calls[0].args : Strings();
    }

    TempDir temp;
};

// The runtime arguments end with -jar and the jar under `appDir`.
void expectStartedFrom(const Strings& args, const std::string& appDir) {
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(Strings(args.end() - 2, args.end()), (Strings{"-jar", appDir + "/demo.jar"}));
}

TEST(PackagesImage, TarGzIsListedAndExtractedByTarKeepsLinksAndModesAndStarts) {
    Bench b;
    const ProcessResult r = b.assemble({"--package", "tar.gz"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string name = "My Demo-1.2.3-linux-x86_64.tar.gz";
    EXPECT_EQ(listDir(b.out()), (Strings{"My Demo", name}));
    const std::string tarball = b.out() + "/" + name;

    const ProcessResult list = run({"tar", "-tvzf", tarball});
    ASSERT_EQ(list.exitStatus, 0) << list.err;
    for (const std::string& line : splitLines(list.out)) {
        EXPECT_NE(line.find(" root/root "), std::string::npos) << line;
        EXPECT_NE(line.find(" 2026-12-09 "), std::string::npos) << line;
        EXPECT_NE(line.find(" My Demo/"), std::string::npos) << line;
    }
    const std::size_t link = list.out.find("latest.jar");
    ASSERT_NE(link, std::string::npos) << list.out;
    const std::string linkLine = list.out.substr(list.out.rfind('\n', link) + 1,
                                                 list.out.find('\n', link) - list.out.rfind('\n', link) - 1);
    EXPECT_EQ(linkLine.rfind("lrwxrwxrwx root/root ", 0), 0u) << linkLine;
    EXPECT_NE(linkLine.find(" My Demo/lib/app/latest.jar -> demo.jar"), std::string::npos) << linkLine;
    // The gzip header: the time, no name.
    const std::string gz = readFile(tarball);
    EXPECT_EQ(gz[3] & 0x08, 0);
    EXPECT_EQ(gz.substr(4, 4), std::string("\xe5\xe9\x18\x6b", 4));

    const std::string into = b.temp / "x";
    makeDirs(into);
    const ProcessResult x = run({"tar", "-xzf", tarball, "-C", into});
    ASSERT_EQ(x.exitStatus, 0) << x.err;
    EXPECT_EQ(linkText(into + "/My Demo/lib/app/latest.jar"), "demo.jar");
    EXPECT_EQ(modeOf(into + "/My Demo/lib/app/tool.sh"), 0750u);
    EXPECT_EQ(modeOf(into + "/My Demo/bin/My Demo"), 0755u);
    EXPECT_EQ(readFile(into + "/My Demo/lib/runtime/lib/libjli.so"), readFile(fakeJliPath()));
    expectStartedFrom(b.start(into + "/My Demo/bin/My Demo"), into + "/My Demo/lib/app");

    // Again from the same input, elsewhere: the same bytes.
    makeDirs(b.temp / "again");
    ASSERT_EQ(b.assemble({"--package", "tar.gz"}, ProcessOptions(), b.temp / "again").exitStatus, 0);
    EXPECT_TRUE(readFile(b.temp / "again/" + name) == gz);
}

// A dpkg admin folder of its own below `root`.
void prepareDpkgRoot(const std::string& root) {
    for (const char* dir : {"var/lib/dpkg/info", "var/lib/dpkg/updates",
                            "var/lib/dpkg/triggers"}) {
        makeDirs(root + "/" + dir);
    }
    writeFile(root + "/var/lib/dpkg/status", "");
}

TEST(PackagesImage, DebInstallsStartsValidatesAndIsRemovedCompletely) {
    if (findTool("dpkg").empty() || findTool("dpkg-deb").empty()) {
        GTEST_SKIP() << "dpkg is not installed: the deb is checked on Debian";
    }
    Bench b;
    const std::string icon = pngImage(64, 64);
    writeFile(b.temp / "src/icon.png", icon);
    b.describe("bundle.section=java\nbundle.icon=icon.png\n");
    const ProcessResult r = b.assemble({"--package", "deb"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string deb = b.out() + "/applauncher-test-demo_1.2.3-1_amd64.deb";
    EXPECT_EQ(listDir(b.out()), (Strings{"My Demo", "applauncher-test-demo_1.2.3-1_amd64.deb"}));

    const ProcessResult info = run({"dpkg-deb", "--field", deb});
    ASSERT_EQ(info.exitStatus, 0) << info.err;
    for (const char* field : {"Package: applauncher-test-demo", "Version: 1.2.3-1",
                              "Architecture: amd64", "Maintainer: Jane Doe <jane@example.com>",
                              "Section: java", "Priority: optional",
                              "Description: Demonstration of a packaged application"}) {
        EXPECT_TRUE(hasLine(info.out, field)) << field << "\n" << info.out;
    }
    // The C library, with the version its symbols need, among the
    // dependencies (a sanitizer build needs its runtimes too).
    const std::size_t depends = info.out.find("\nDepends: ");
    ASSERT_NE(depends, std::string::npos) << info.out;
    const std::string dependsLine =
            info.out.substr(depends + 1, info.out.find('\n', depends + 1) - depends - 1);
    EXPECT_NE(dependsLine.find(" libc6 (>= "), std::string::npos) << dependsLine;
    EXPECT_NE(info.out.find("\nInstalled-Size: "), std::string::npos) << info.out;

    const bool system = getuid() == 0 && getenv("CI") != nullptr;
    const std::string root = system ? std::string() : b.temp / "root";
    Strings dpkg{"dpkg"};
    if (!system) {
        prepareDpkgRoot(root);
        dpkg.insert(dpkg.end(), {"--root=" + root, "--force-depends"});
    }
    Strings install = dpkg;
    install.insert(install.end(), {"-i", deb});
    const ProcessResult installed = run(install);
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    const std::string app = root + "/opt/My Demo";
    EXPECT_EQ(modeOf(app + "/bin/My Demo"), 0755u);
    EXPECT_EQ(linkText(app + "/lib/app/latest.jar"), "demo.jar");
    expectStartedFrom(b.start(app + "/bin/My Demo"), app + "/lib/app");
    const std::string entry = root + "/usr/share/applications/My Demo.desktop";
    EXPECT_TRUE(hasLine(readFile(entry), "Exec=\"/opt/My Demo/bin/My Demo\"")) << readFile(entry);
    EXPECT_TRUE(hasLine(readFile(entry), "Icon=My Demo")) << readFile(entry);
    const std::string themed = root + "/usr/share/icons/hicolor/64x64/apps/My Demo.png";
    EXPECT_EQ(readFile(themed), icon);
    EXPECT_EQ(readFile(root + "/usr/share/doc/applauncher-test-demo/copyright"),
              readFile(b.temp / "src/COPYING"));
    const std::string validate = findTool("desktop-file-validate");
    if (!validate.empty()) {
        const ProcessResult v = runProcess(validate, {"desktop-file-validate", entry});
        EXPECT_EQ(v.exitStatus, 0) << v.out << v.err;
    }

    Strings remove = dpkg;
    remove.insert(remove.end(), {"-r", "applauncher-test-demo"});
    const ProcessResult removed = run(remove);
    EXPECT_EQ(removed.exitStatus, 0) << removed.out << removed.err;
    EXPECT_FALSE(exists(app));
    EXPECT_FALSE(exists(entry));
    EXPECT_FALSE(exists(themed));
    EXPECT_FALSE(exists(root + "/usr/share/doc/applauncher-test-demo"));

    // The same input makes the same bytes.
    makeDirs(b.temp / "again");
    ASSERT_EQ(b.assemble({"--package", "deb"}, ProcessOptions(), b.temp / "again").exitStatus, 0);
    EXPECT_TRUE(readFile(b.temp / "again/applauncher-test-demo_1.2.3-1_amd64.deb") == readFile(deb));
}

TEST(PackagesImage, RpmListsItsFilesAndInstallsIntoARootWhereItStarts) {
    if (findTool("rpm").empty() || findTool("rpmbuild").empty()) {
        GTEST_SKIP() << "rpm and rpmbuild are not installed (Debian: rpm); .ci/run installs them";
    }
    Bench b;
    const ProcessResult r = b.assemble({"--package", "rpm"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string rpm = b.out() + "/applauncher-test-demo-1.2.3-1.x86_64.rpm";
    const ProcessResult list = run({"rpm", "-qlp", rpm});
    ASSERT_EQ(list.exitStatus, 0) << list.err;
    for (const char* file : {"/opt/My Demo/bin/My Demo", "/opt/My Demo/lib/app/demo.jar",
                             "/opt/My Demo/lib/app/latest.jar",
                             "/opt/My Demo/lib/runtime/lib/libjli.so",
                             "/usr/share/applications/My Demo.desktop",
                             "/usr/share/doc/applauncher-test-demo/copyright"}) {
        EXPECT_TRUE(hasLine(list.out, file)) << file << "\n" << list.out;
    }
    const ProcessResult requires = run({"rpm", "-qp", "--requires", rpm});
    EXPECT_NE(requires.out.find("libc.so.6()(64bit)"), std::string::npos) << requires.out;
    EXPECT_EQ(requires.out.find("libjli.so"), std::string::npos) << requires.out;

    const std::string root = b.temp / "root";
    const ProcessResult installed = run({"rpm", "-i", "--root", root, "--nodeps",
                                         "--noscripts", rpm});
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    const std::string app = root + "/opt/My Demo";
    EXPECT_EQ(linkText(app + "/lib/app/latest.jar"), "demo.jar");
    expectStartedFrom(b.start(app + "/bin/My Demo"), app + "/lib/app");
}

TEST(PackagesBundle, ZipHoldsOneBundleWithLinksAndModesAndStarts) {
    if (findTool("zipinfo").empty() || findTool("unzip").empty()) {
        GTEST_SKIP() << "zipinfo and unzip are not installed (Debian: unzip)";
    }
    Bench b;
    const ProcessResult r = b.assemble({"--target", "bundle", "--package", "zip"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string zip = b.out() + "/My Demo-1.2.3.zip";
    const ProcessResult list = run({"zipinfo", zip});
    ASSERT_EQ(list.exitStatus, 0) << list.err;
    EXPECT_EQ(list.out.find("__MACOSX"), std::string::npos);
    for (const std::string& line : splitLines(list.out)) {
        if (line.size() > 10 && (line[0] == '-' || line[0] == 'd' || line[0] == 'l')) {
            EXPECT_NE(line.find(" My Demo.app/"), std::string::npos) << line;
        }
    }
    const std::string into = b.temp / "x";
    const ProcessResult x = run({"unzip", "-q", zip, "-d", into});
    ASSERT_EQ(x.exitStatus, 0) << x.err;
    const std::string app = into + "/My Demo.app/Contents";
    EXPECT_EQ(linkText(app + "/app/latest.jar"), "demo.jar");
    EXPECT_EQ(modeOf(app + "/app/tool.sh"), 0750u);
    EXPECT_EQ(modeOf(app + "/MacOS/My Demo"), 0755u);
    expectStartedFrom(b.start(app + "/MacOS/My Demo"), app + "/app");

    // The same input makes the same bytes.
    makeDirs(b.temp / "again");
    ASSERT_EQ(b.assemble({"--target", "bundle", "--package", "zip"}, ProcessOptions(),
                         b.temp / "again").exitStatus, 0);
    EXPECT_TRUE(readFile(b.temp / "again/My Demo-1.2.3.zip") == readFile(zip));
}

// Stand-ins for the Mac's tools: each logs its name and arguments; xcrun's
// notarytool prints what $NOTARY_STATUS says.
void writeStandIns(const std::string& bin) {
    const std::string log =
            "printf '%s' \"$(basename \"$0\")\" >> \"$TOOL_LOG\"\n"
            "for a in \"$@\"; do printf '|%s' \"$a\"; done >> \"$TOOL_LOG\"\n"
            "echo >> \"$TOOL_LOG\"\n";
    for (const char* tool : {"hdiutil", "pkgbuild", "productbuild", "codesign"}) {
        writeFile(bin + "/" + tool, "#!/bin/sh\n" + log
                  + "for last; do :; done\n"
                    "case \"$(basename \"$0\")\" in hdiutil|pkgbuild|productbuild) "
                    "echo made > \"$last\";; esac\n");
        chmod((bin + "/" + tool).c_str(), 0755);
    }
    writeFile(bin + "/xcrun", "#!/bin/sh\n" + log +
              "case \"$2\" in\n"
              "submit) echo '{\"id\": \"42-abc\", \"status\": \"'\"$NOTARY_STATUS\"'\"}';;\n"
              "log) echo '{\"issues\": [{\"severity\": \"error\", \"message\": "
              "\"The signature of the binary is invalid.\"}]}';;\n"
              "esac\n");
    chmod((bin + "/xcrun").c_str(), 0755);
}

TEST(PackagesBundle, DmgPkgAndNotarisationRunTheMacToolsInOrder) {
    Bench b;
    const std::string bin = b.temp / "bin";
    writeStandIns(bin);
    writeMacInputs(b.temp.path(), AppLayout::bundleMark);
    b.describe("bundle.runtime=../mac.jdk\n");
    ProcessOptions options;
    options.setEnv("PATH", bin + ":/usr/bin:/bin").setEnv("TOOL_LOG", b.temp / "log")
            .setEnv("NOTARY_STATUS", "Accepted");
    const std::string id = "Developer ID Application: Example (T1)";
    const std::string installer = "Developer ID Installer: Example (T1)";
    const ProcessResult r = b.assemble({"--target", "bundle", "--launcher",
                                        b.temp / "applauncher", "--sign", id,
                                        "--package", "pkg,dmg,zip", "--installer-sign",
                                        installer, "--notarize", "demo-profile"}, options);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(listDir(b.out()), (Strings{"My Demo-1.2.3.dmg", "My Demo-1.2.3.pkg",
                                         "My Demo-1.2.3.zip", "My Demo.app",
                                         "My Demo.entitlements"}));
    Strings commands;
    std::string ws;
    for (std::string line : splitLines(readFile(b.temp / "log"))) {
        if (line.rfind("codesign|--force|--timestamp|--options", 0) == 0) {
            continue;  // the bundle's own signing, checked elsewhere
        }
        if (ws.empty() && line.find("/.My Demo.app.assemble-") != std::string::npos) {
            const std::size_t from = line.find(b.out());
            ws = line.substr(from, line.find('/', from + b.out().size() + 1) - from);
        }
        for (std::size_t at; !ws.empty() && (at = line.find(ws)) != std::string::npos;) {
            line.replace(at, ws.size(), "WS");
        }
        commands.push_back(line);
    }
    const std::string notary = "xcrun|notarytool|submit|";
    const std::string profile = "|--keychain-profile|demo-profile";
    EXPECT_EQ(commands, (Strings{
            "codesign|--verify|--deep|--strict|--verbose=2|WS/My Demo.app",
            notary + "WS/My Demo-1.2.3.zip" + profile + "|--wait|--output-format|json",
            "xcrun|stapler|staple|WS/My Demo.app",
            "hdiutil|create|-volname|My Demo|-srcfolder|WS/.dmg|-ov|-fs|HFS+|-format|UDZO|"
            "WS/My Demo-1.2.3.dmg",
            "codesign|--force|--timestamp|--sign|" + id + "|WS/My Demo-1.2.3.dmg",
            notary + "WS/My Demo-1.2.3.dmg" + profile + "|--wait|--output-format|json",
            "xcrun|stapler|staple|WS/My Demo-1.2.3.dmg",
            "pkgbuild|--component|WS/My Demo.app|--install-location|/Applications|"
            "--identifier|com.example.demo|--version|1.2.3|WS/.component.pkg",
            "productbuild|--package|WS/.component.pkg|--sign|" + installer
                    + "|--timestamp|WS/My Demo-1.2.3.pkg",
            notary + "WS/My Demo-1.2.3.pkg" + profile + "|--wait|--output-format|json",
            "xcrun|stapler|staple|WS/My Demo-1.2.3.pkg"}));

    // Rejected: the log's first error, and nothing left behind.
    Bench failing;
    failing.describe("bundle.runtime=" + b.temp / "mac.jdk\n");
    options.setEnv("NOTARY_STATUS", "Invalid");
    const ProcessResult rejected = failing.assemble({"--target", "bundle", "--launcher",
            b.temp / "applauncher", "--sign", id, "--package", "dmg", "--notarize",
            "demo-profile"}, options);
    EXPECT_EQ(rejected.exitStatus, 1);
    EXPECT_EQ(rejected.err, "applauncher-assemble: Notarisation of My Demo-1.2.3.dmg failed "
                            "(Invalid): The signature of the binary is invalid.\n");
    EXPECT_EQ(listDir(failing.out()), Strings());
}

struct Refusal {
    const char* name;
    Strings options;
    std::string keys;
    int status;
    const char* message;
};

TEST(Packages, RefusedBeforeAnythingIsWritten) {
    const Refusal refusals[] = {
        {"dmg without hdiutil", {"--target", "bundle", "--package", "dmg"}, "", 2,
         "applauncher-assemble: a dmg package needs macOS's hdiutil, which is not on PATH"},
        {"pkg on an image", {"--package", "pkg"}, "", 2,
         "applauncher-assemble: A pkg package (--package) is made from a bundle"},
        {"notarising unsigned", {"--target", "bundle", "--package", "zip", "--notarize", "p"},
         "", 2, "applauncher-assemble: --notarize needs --sign"},
        {"deb without maintainer", {"--package", "deb"}, "bundle.maintainer=\n", 1,
         "applauncher-assemble: Invalid value \"\" of bundle.maintainer"},
        {"unknown format in the description", {}, "bundle.formats=deb,msi\n", 1,
         "applauncher-assemble: Unknown package format \"msi\" in bundle.formats"},
        {"copyright that is missing", {"--package", "deb"}, "bundle.copyright=NOPE\n", 1,
         "applauncher-assemble: The copyright file"},
    };
    for (const Refusal& c : refusals) {
        Bench b;
        b.describe(c.keys);
        ProcessOptions options;
        options.setEnv("PATH", "/usr/bin:/bin");
        const ProcessResult r = b.assemble(c.options, options);
        EXPECT_EQ(r.exitStatus, c.status) << c.name << ": " << r.err;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.name << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name;
        EXPECT_EQ(listDir(b.out()), Strings()) << c.name;
    }
}

// A missing tool ends the command alike whether --package or
// bundle.formats asks for the format: macOS's tools with status 2 (the
// command runs on the wrong system), the others with status 1.
TEST(Packages, AMissingToolEndsTheCommandAlikeWhoeverAskedForTheFormat) {
    struct Case {
        Strings options;
        std::string keys;
        int status;
        std::string message;
    };
    const std::string dmg = "a dmg package needs macOS's hdiutil, which is not on PATH";
    const std::string rpm = "A rpm package needs strip, which is not on PATH";
    const Case cases[] = {
        {{"--target", "bundle", "--package", "dmg"}, "", 2, dmg},
        {{"--target", "bundle"}, "bundle.formats=zip,dmg\n", 2,
         "a dmg package (bundle.formats) needs macOS's hdiutil, which is not on PATH"},
        {{"--package", "rpm"}, "", 1, rpm},
        {{}, "bundle.formats=rpm\n", 1, rpm},
    };
    for (const Case& c : cases) {
        Bench b;
        b.describe(c.keys);
        makeDirs(b.temp / "empty");
        ProcessOptions options;
        options.setEnv("PATH", b.temp / "empty");
        const ProcessResult r = b.assemble(c.options, options);
        EXPECT_EQ(r.exitStatus, c.status) << c.message << ": " << r.err;
        EXPECT_EQ(r.err.rfind("applauncher-assemble: " + c.message, 0), 0u) << r.err;
        EXPECT_EQ(listDir(b.out()), Strings()) << c.message;
    }
}

TEST(Packages, ReplacesOnlyPackagesItMade) {
    Bench b;
    const std::string tarball = b.out() + "/My Demo-1.2.3-linux-x86_64.tar.gz";
    writeFile(tarball, "someone else's");
    ProcessResult r = b.assemble({"--package", "tar.gz", "--replace"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("was not made by applauncher-assemble"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(tarball), "someone else's");
    EXPECT_EQ(listDir(b.out()), (Strings{"My Demo-1.2.3-linux-x86_64.tar.gz"}));

    unlink(tarball.c_str());
    ASSERT_EQ(b.assemble({"--package", "tar.gz"}).exitStatus, 0);
    r = b.assemble({"--package", "tar.gz"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("give --replace"), std::string::npos) << r.err;
    r = b.assemble({"--package", "tar.gz", "--replace"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(listDir(b.out()), (Strings{"My Demo", "My Demo-1.2.3-linux-x86_64.tar.gz"}));

    // Replaced without packages, the output still knows its tarball as its
    // own: a later run replaces it.
    ASSERT_EQ(b.assemble({"--replace"}).exitStatus, 0);
    r = b.assemble({"--package", "tar.gz", "--replace"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
}

} // namespace
