// The packages' decisions that need no tools: format lists, Debian and RPM
// names and texts, shlibs files and sonames, the dynamic section of a real
// library, the macOS tool commands and what the notary tool prints.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <set>

#include "Commit.h"
#include "Description.h"
#include "ElfDependencies.h"
#include "ErrorHandling.h"
#include "MacPackages.h"
#include "PackageArchive.h"
#include "PackageInfo.h"
#include "Packages.h"
#include "SystemPackage.h"
#include "TestSupport.h"
#include "ThrownErrors.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

TEST(PackageFormats, ListsAreReadPerTargetEachFormatOnce) {
    std::vector<PackageFormat> formats;
    addPackageFormats(" deb ,tar.gz,deb", Target::Image, "--package", formats);
    addPackageFormats("rpm", Target::Image, "bundle.formats", formats);
    EXPECT_EQ(formats, (std::vector<PackageFormat>{
            PackageFormat::Deb, PackageFormat::TarGz, PackageFormat::Rpm}));
    std::vector<PackageFormat> mac;
    addPackageFormats("pkg,zip,dmg", Target::Bundle, "--package", mac);
    EXPECT_EQ(mac.size(), 3u);

    std::vector<PackageFormat> none;
    EXPECT_NE(errorOf([&] { addPackageFormats("deb,", Target::Image, "x", none); })
                      .find("Unknown package format \"\""), std::string::npos);
    EXPECT_NE(errorOf([&] { addPackageFormats("tgz", Target::Image, "x", none); })
                      .find("Unknown package format \"tgz\""), std::string::npos);
    EXPECT_NE(errorOf([&] { addPackageFormats("dmg", Target::Image, "--package", none); })
                      .find("give --target bundle"), std::string::npos);
    EXPECT_NE(errorOf([&] { addPackageFormats("deb", Target::Bundle, "--package", none); })
                      .find("give --target image"), std::string::npos);
}

TEST(PackageNames, DerivedInLowerCaseAndCheckedAgainstDebiansRules) {
    EXPECT_EQ(derivedPackageName("My Demo_App.2"), "my-demo-app.2");
    for (const char* good : {"demo", "d2", "0ad", "g++", "my-app.x"}) {
        EXPECT_TRUE(isDebianPackageName(good)) << good;
    }
    for (const char* bad : {"d", "-demo", ".demo", "Demo", "de mo", "de_mo", ""}) {
        EXPECT_FALSE(isDebianPackageName(bad)) << bad;
    }
    EXPECT_TRUE(isMaintainer("Jane Doe <jane@example.com>"));
    for (const char* bad : {"Jane Doe", "<jane@example.com>", "Jane <jane>",
                            "Jane <jane@example.com", "Jane <ja ne@x.org>",
                            "Jane, Joe <j@x.org>", "Jane <@x.org>"}) {
        EXPECT_FALSE(isMaintainer(bad)) << bad;
    }
}

class DescriptionFile : public ::testing::Test {
protected:
    Description read(const std::string& keys) {
        writeFile(temp / "d.cfg", "[Application]\napp.mainjar=$APPDIR/a.jar\n"
                  "[Bundle]\nbundle.name=My App\nbundle.version=2.1\n"
                  "bundle.content=a.jar\nbundle.runtime=jdk\n" + keys);
        return readDescription(temp / "d.cfg");
    }
    TempDir temp;
};

TEST_F(DescriptionFile, PackageKeysAreReadAndASystemPackageNeedsItsMetadata) {
    const std::string all = "bundle.maintainer=Jane Doe <jane@example.com>\n"
            "bundle.description=A demo\nbundle.description=Long text.\n"
            "bundle.copyright=COPYING\nbundle.formats=tar.gz\n";
    const PackageInfo info = readPackageInfo(
            read(all), Target::Image, {PackageFormat::Deb});
    EXPECT_EQ(info.formats, (std::vector<PackageFormat>{
            PackageFormat::Deb, PackageFormat::TarGz}));
    EXPECT_EQ(info.packageName, "my-app");
    EXPECT_EQ(info.version, "2.1");
    EXPECT_EQ(info.release, "1");
    EXPECT_EQ(info.summary, "A demo");
    EXPECT_EQ(info.paragraphs, (Strings{"Long text."}));
    EXPECT_EQ(info.copyrightFile, temp / "COPYING");
    EXPECT_EQ(info.section, "misc");

    // A tarball needs none of it; a deb or an rpm names the key it lacks.
    EXPECT_NO_THROW(readPackageInfo(read(""), Target::Image, {PackageFormat::TarGz}));
    EXPECT_NE(errorOf([&] { readPackageInfo(read(""), Target::Image,
                                            {PackageFormat::Rpm}); })
                      .find("has no bundle.maintainer, which a rpm package needs"),
              std::string::npos);
    const Description noCopyright = read(
            "bundle.maintainer=J <j@x.org>\nbundle.description=A demo\n");
    EXPECT_NE(errorOf([&] { readPackageInfo(noCopyright, Target::Image,
                                            {PackageFormat::Deb}); })
                      .find("has no bundle.copyright"), std::string::npos);

    const struct {
        std::string keys;
        const char* key;
    } refused[] = {
        {"bundle.package-name=My_App\n", "bundle.package-name"},
        {"bundle.release=1a\n", "bundle.release"},
        {"bundle.maintainer=Jane\n", "bundle.maintainer"},
        {"bundle.section=Java Apps\n", "bundle.section"},
        {"bundle.homepage=example.com\n", "bundle.homepage"},
        {"bundle.formats=dmg\n", "--target bundle"},
        {"bundle.description=" + std::string(81, 'x') + "\n",
         "at most 80 characters"},
    };
    for (const auto& c : refused) {
        const std::string error = errorOf([&] {
            readPackageInfo(read(c.keys), Target::Image, {});
        });
        EXPECT_NE(error.find(c.key), std::string::npos) << c.keys << error;
    }
    EXPECT_NE(errorOf([&] { read("bundle.format=deb\n"); })
                      .find("Unknown key \"bundle.format\""), std::string::npos);
}

PackageInfo sampleInfo() {
    PackageInfo info;
    info.packageName = "demo";
    info.version = "1.2.3";
    info.release = "4";
    info.maintainer = "Jane Doe <jane@example.com>";
    info.summary = "Demonstration of a packaged application";
    info.section = "java";
    return info;
}

TEST(DebianTexts, ControlDescriptionAndChangelogFollowDebiansFormat) {
    PackageInfo info = sampleInfo();
    // A line of its own "." would end the paragraph; longer ones are
    // broken at blanks, a word longer than a line is kept whole.
    info.paragraphs = {std::string("word ") + std::string(90, 'w') + " "
                               + std::string(78, 'x') + " .",
                       "Second."};
    EXPECT_EQ(debianDescription(info, "unused"),
              "Demonstration of a packaged application\n word\n "
              + std::string(90, 'w') + "\n " + std::string(78, 'x')
              + "\n ..\n .\n Second.");
    info.paragraphs.clear();
    EXPECT_EQ(debianControl(info, "amd64", 1234, "libc6 (>= 2.36)", "Fallback."),
              "Package: demo\nVersion: 1.2.3-4\nArchitecture: amd64\n"
              "Maintainer: Jane Doe <jane@example.com>\nInstalled-Size: 1234\n"
              "Depends: libc6 (>= 2.36)\nSection: java\nPriority: optional\n"
              "Description: Demonstration of a packaged application\n"
              " Fallback.\n");
    EXPECT_EQ(debianControl(info, "arm64", 1, "", "F.").find("Depends"),
              std::string::npos);
    // 2026-12-09 05:40:53 UTC, a Wednesday.
    EXPECT_EQ(rfc2822Date(1796794853), "Wed, 09 Dec 2026 05:40:53 +0000");
    EXPECT_EQ(rfc2822Date(0), "Thu, 01 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(rpmChangelogDate(1796794853), "Wed Dec 09 2026");
    EXPECT_EQ(debianChangelog(info, 0),
              "demo (1.2.3-4) unstable; urgency=medium\n\n"
              "  * Release 1.2.3 of the application.\n\n"
              " -- Jane Doe <jane@example.com>  Thu, 01 Jan 1970 00:00:00 +0000\n");
    EXPECT_EQ(debFileName(info, "amd64"), "demo_1.2.3-4_amd64.deb");
    EXPECT_EQ(rpmFileName(info, "aarch64"), "demo-1.2.3-4.aarch64.rpm");
}

TEST(DebianTexts, ArchitecturesSizesAndDependencies) {
    EXPECT_EQ(debianArchitecture("x86_64"), "amd64");
    EXPECT_EQ(debianArchitecture("arm64"), "arm64");
    EXPECT_EQ(rpmArchitecture("x86_64"), "x86_64");
    EXPECT_EQ(rpmArchitecture("arm64"), "aarch64");
    EXPECT_NE(errorOf([] { debianArchitecture("cpu 18"); }).find("cpu 18"),
              std::string::npos);
    EXPECT_EQ(installedSizeKiB({0, 1, 1024, 1025}, 3), 3u + 0 + 1 + 1 + 2);

    const std::vector<ShlibsEntry> shlibs = parseShlibs(
            "# comment\nlibz 1 zlib1g (>= 1:1.2.3)\n\nudeb: libz 1 zlib1g-udeb\n"
            "libc 6   libc6 (>= 2.36)\nbroken\n");
    ASSERT_EQ(shlibs.size(), 2u);
    EXPECT_EQ(shlibs[0].library + "|" + shlibs[0].soversion + "|" + shlibs[0].dependency,
              "libz|1|zlib1g (>= 1:1.2.3)");
    EXPECT_EQ(shlibs[1].dependency, "libc6 (>= 2.36)");

    const struct {
        const char* soname;
        const char* library;
        const char* version;
    } sonames[] = {{"libz.so.1", "libz", "1"}, {"libstdc++.so.6", "libstdc++", "6"},
                   {"libfoo-2.1.so", "libfoo", "2.1"},
                   {"ld-linux-x86-64.so.2", "ld-linux-x86-64", "2"}};
    for (const auto& c : sonames) {
        std::string library, version;
        ASSERT_TRUE(splitSoname(c.soname, library, version)) << c.soname;
        EXPECT_EQ(library + " " + version, std::string(c.library) + " " + c.version);
    }
    std::string library, version;
    for (const char* bad : {"libjvm.so", "libfoo-bar.so", "libx.so.", "plain"}) {
        EXPECT_FALSE(splitSoname(bad, library, version)) << bad;
    }
    EXPECT_EQ(dependsValue({"zlib1g (>= 1)", "libc6 (>= 2.36)", "zlib1g (>= 1)"}),
              "libc6 (>= 2.36), zlib1g (>= 1)");
    EXPECT_EQ(rpmPattern({"libjvm.so", "libc++.so"}), "libc\\+\\+\\.so|libjvm\\.so");
}

TEST(DebianTexts, DesktopEntryIconAndPngSize) {
    EXPECT_EQ(withIcon("[Desktop Entry]\nIcon=/opt/d/lib/D.png\nName=D\n", "D"),
              "[Desktop Entry]\nIcon=D\nName=D\n");
    const std::string header = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)
            + std::string("\0\0\x01\0\0\0\0\x30", 8);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(pngSize(header, width, height));
    EXPECT_EQ(width, 256u);
    EXPECT_EQ(height, 48u);
    EXPECT_FALSE(pngSize(header.substr(0, 20), width, height));
    EXPECT_FALSE(pngSize("GIF89a" + header, width, height));
}

TEST(ElfDependencies, ReadsTheDynamicSectionOfASystemLibrary) {
    const std::string libz = "/lib/x86_64-linux-gnu/libz.so.1";
    if (access(libz.c_str(), R_OK) != 0) {
        GTEST_SKIP() << libz << " is not here (Debian: zlib1g on amd64)";
    }
    const std::string bytes = readFile(libz);
    const ElfDependencies deps = readElfDependencies(bytes);
    EXPECT_TRUE(deps.isElf);
    EXPECT_EQ(deps.soname, "libz.so.1");
    EXPECT_EQ(deps.needed, (Strings{"libc.so.6"}));
    // Cut short: an ELF file whose dynamic section is gone names nothing.
    const ElfDependencies cut = readElfDependencies(bytes.substr(0, 4096));
    EXPECT_TRUE(cut.isElf);
    EXPECT_TRUE(cut.needed.empty());
    EXPECT_FALSE(readElfDependencies("#!/bin/sh\n" + std::string(100, ' ')).isElf);
}

TEST(MacPackageCommands, DiskImageAndInstallerPackage) {
    const std::vector<ToolCommand> dmg = dmgCommands("My Demo", "/w/.dmg", "/w/D.dmg",
                                                     "Developer ID Application: X");
    ASSERT_EQ(dmg.size(), 2u);
    EXPECT_EQ(dmg[0].tool, "hdiutil");
    EXPECT_EQ(dmg[0].args, (Strings{"create", "-volname", "My Demo", "-srcfolder",
                                    "/w/.dmg", "-ov", "-fs", "HFS+", "-format",
                                    "UDZO", "/w/D.dmg"}));
    EXPECT_EQ(dmg[1].args, (Strings{"--force", "--timestamp", "--sign",
                                    "Developer ID Application: X", "/w/D.dmg"}));
    EXPECT_EQ(dmgCommands("D", "s", "d", "-")[1].args,
              (Strings{"--force", "--sign", "-", "d"}));
    EXPECT_EQ(dmgCommands("D", "s", "d", "").size(), 1u);

    const std::vector<ToolCommand> pkg = pkgCommands(
            "/w/D.app", "com.example.d", "1.2", "/w/c.pkg", "/w/D.pkg", "Installer: X");
    ASSERT_EQ(pkg.size(), 2u);
    EXPECT_EQ(pkg[0].tool, "pkgbuild");
    EXPECT_EQ(pkg[0].args, (Strings{"--component", "/w/D.app", "--install-location",
                                    "/Applications", "--identifier", "com.example.d",
                                    "--version", "1.2", "/w/c.pkg"}));
    EXPECT_EQ(pkg[1].tool, "productbuild");
    EXPECT_EQ(pkg[1].args, (Strings{"--package", "/w/c.pkg", "--sign", "Installer: X",
                                    "--timestamp", "/w/D.pkg"}));
}

TEST(MacPackageCommands, NotaryOutputIsRead) {
    const std::string submitted =
            "{\"id\": \"2efe2717-52ef\", \"message\": \"Processing complete\",\n"
            " \"status\" : \"Invalid\"}";
    EXPECT_EQ(jsonString(submitted, "status"), "Invalid");
    EXPECT_EQ(jsonString(submitted, "id"), "2efe2717-52ef");
    EXPECT_EQ(jsonString(submitted, "ticket"), "");
    EXPECT_EQ(jsonString("{\"a\": \"x\\\"y\"}", "a"), "x\"y");
    EXPECT_EQ(firstLogError("{\"status\": \"Invalid\", \"issues\": [{\"severity\": "
                            "\"error\", \"message\": \"The binary is not signed.\"},"
                            " {\"message\": \"second\"}]}"),
              "The binary is not signed.");
    EXPECT_EQ(firstLogError("Fetching log\n  Error: no such submission\nbye\n"),
              "Error: no such submission");
    EXPECT_EQ(firstLogError("one\nlast line\n"), "last line");
}

TEST(PackageStamp, TimeOfThePackages) {
    EXPECT_EQ(packageTime("1700000000", 5), 1700000000);
    for (const char* ignored : {"", "17e9", "-1", " 1", "12345678901234567890"}) {
        EXPECT_EQ(packageTime(ignored, 5), 5) << ignored;
    }
}

TEST(PackageArchive, GzipHeaderHoldsTheTimeAndNoName) {
    const std::string gz = gzipped("hello", 0x01020304, 9);
    ASSERT_GE(gz.size(), 18u);
    EXPECT_EQ(gz.substr(0, 3), std::string("\x1f\x8b\x08", 3));
    EXPECT_EQ(gz[3] & 0x08, 0);  // no file name
    EXPECT_EQ(gz.substr(4, 4), std::string("\x04\x03\x02\x01", 4));
    // The trailer: the data's length.
    EXPECT_EQ(gz.substr(gz.size() - 4), std::string("\x05\0\0\0", 4));
}

} // namespace
