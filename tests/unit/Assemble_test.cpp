// The assembly command's decisions that need no file system: the copy of a
// description into the launcher's configuration (the parser's header rule),
// executable headers, runtime facts, link paths and desktop entry quoting.
#include <gtest/gtest.h>

#include <stdexcept>

#include "CfgFile.h"
#include "Description.h"
#include "DesktopEntry.h"
#include "ErrorHandling.h"
#include "ExecutableFormat.h"
#include "FileTree.h"
#include "RuntimeRelease.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

void ignoreLine(const std::string&, const std::string&, unsigned long long) {}

std::string copyOf(const std::string& text) {
    return withoutBundleSection(text, "d.cfg", ignoreLine);
}

struct CopyCase {
    const char* text;
    const char* copy;
};

TEST(DescriptionCopy, LeavesOutBundleSectionsAsTheParserTellsHeaders) {
    const CopyCase cases[] = {
        {"[Application]\na=1\n[Bundle]\nbundle.name=D\n[JavaOptions]\nj=2",
         "[Application]\na=1\n[JavaOptions]\nj=2"},
        {"[Bundle]\r\nbundle.name=D\r\n[ArgOptions]\r\nx\r\n", "[ArgOptions]\r\nx\r\n"},
        {"[Bundle] tail\nk\n[Bundle ]\nk\n", "[Bundle ]\nk\n"},
        {"[A]\n;[Bundle]\nk\n [Bundle]\nk\n", "[A]\n;[Bundle]\nk\n [Bundle]\nk\n"},
        {"x\n[Bundle]\n\n;c\n[Bundle]\ny\n[A]]\nz", "[A]]\nz"},
        {"notes\nbundle.name=N\n\n[Application]\nk=v\n", "[Application]\nk=v\n"},
        {"only notes\n", ""},
        {"", ""},
    };
    for (const CopyCase& c : cases) {
        EXPECT_EQ(copyOf(c.text), c.copy) << c.text;
    }
}

TEST(DescriptionCopy, AHeaderWithoutBracketIsTheParsersError) {
    TempDir dir;
    const std::string text = "[Application]\nx=1\n[Bundle\nbundle.name=D\n";
    writeFile(dir / "d.cfg", text);
    std::string parserError, copyError;
    try {
        CfgFile::load(dir / "d.cfg");
    } catch (const VtErrorBase& e) {
        parserError = e.rawMessage();
    }
    try {
        withoutBundleSection(text, dir / "d.cfg", ignoreLine);
    } catch (const VtErrorBase& e) {
        copyError = e.rawMessage();
    }
    EXPECT_NE(parserError, "");
    EXPECT_EQ(copyError, parserError);
}

TEST(DescriptionCopy, TheLauncherReadsTheCopyAsTheDescription) {
    TempDir dir;
    const std::string text =
            "[Application]\napp.mainjar=$APPDIR/a.jar\n[Bundle]\n"
            "bundle.name=D\n[JavaOptions]\n"
            "java-options=-Da=1\n[Bundle]\nbundle.content=x\nbundle.runtime=/rt\n";
    writeFile(dir / "d.cfg", text);
    writeFile(dir / "copy.cfg", copyOf(text));
    const CfgFile original = CfgFile::load(dir / "d.cfg");
    const CfgFile copy = CfgFile::load(dir / "copy.cfg");
    for (const CfgFile::SectionId* section :
         {&SectionName::Application, &SectionName::JavaOptions}) {
        EXPECT_EQ(copy.getProperties(*section), original.getProperties(*section));
    }
    // The launcher's own parse knows no [Bundle] key.
    const CfgFile::SectionId bundle("Bundle");
    EXPECT_TRUE(original.getProperties(bundle).empty());
    // The later [Bundle] block replaces the earlier, as any section does.
    EXPECT_THROW(readDescription(dir / "d.cfg"), std::runtime_error);
    writeFile(dir / "d.cfg", text + "bundle.name=D\n");
    EXPECT_EQ(readDescription(dir / "d.cfg").content,
              (std::vector<std::string>{dir / "x"}));
}

std::string bytes(std::initializer_list<int> values, std::size_t size = 64) {
    std::string out;
    for (int v : values) {
        out += static_cast<char>(v);
    }
    out.resize(std::max(size, out.size()), '\0');
    return out;
}

TEST(ExecutableFormat, ReadsThinUniversalAndElfHeaders) {
    struct Case {
        const char* name;
        std::string header;
        BinaryFormat format;
        std::vector<std::string> archs;
    } cases[] = {
        {"elf x86_64", bytes({0x7f, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                              0, 0, 3, 0, 62, 0}), BinaryFormat::Elf, {"x86_64"}},
        {"elf aarch64", bytes({0x7f, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                               0, 0, 2, 0, 183, 0}), BinaryFormat::Elf, {"arm64"}},
        {"thin arm64", bytes({0xcf, 0xfa, 0xed, 0xfe, 12, 0, 0, 1}),
         BinaryFormat::MachO, {"arm64"}},
        {"universal", bytes({0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 2,
                             1, 0, 0, 7, 0, 0, 0, 3, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 0, 12,
                             1, 0, 0, 12, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0, 16, 0, 0, 0, 0, 14}),
         BinaryFormat::MachO, {"x86_64", "arm64"}},
        {"class file", bytes({0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 61}),
         BinaryFormat::Unknown, {}},
        {"universal cut short", bytes({0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 3}, 30),
         BinaryFormat::Unknown, {}},
        {"script", "#!/bin/sh\necho\n", BinaryFormat::Unknown, {}},
    };
    for (const Case& c : cases) {
        const ExecutableInfo info = readExecutableHeader(c.header);
        EXPECT_EQ(info.format, c.format) << c.name;
        EXPECT_EQ(info.architectures, c.archs) << c.name;
    }
}

TEST(RuntimeRelease, FitsOnlyTheLaunchersSystemAndArchitectures) {
    const ExecutableInfo universal{BinaryFormat::MachO, {"x86_64", "arm64"}};
    const ExecutableInfo armOnly{BinaryFormat::MachO, {"arm64"}};
    const ExecutableInfo elf{BinaryFormat::Elf, {"x86_64"}};
    struct Case {
        const char* release;
        ExecutableInfo launcher;
        const char* error;
        std::vector<std::string> common;
    } cases[] = {
        {"OS_NAME=\"Darwin\"\r\nOS_ARCH=\"aarch64\"\r\n", universal, "", {"arm64"}},
        {"OS_NAME=\"Darwin\"\nOS_ARCH=\"x86_64\"\n", armOnly,
         "is built for Darwin x86_64, but the launcher \"L\" (Mach-O: arm64) "
         "runs Darwin runtimes for arm64", {}},
        {"OS_NAME=\"Linux\"\nOS_ARCH=\"amd64\"\n", elf, "", {"x86_64"}},
        {"OS_NAME=\"Linux\"\nOS_ARCH=\"x86_64\"\n", universal,
         "is built for Linux x86_64", {"x86_64"}},
        {"JAVA_VERSION=\"17\"\n", elf, "Cannot tell the system", {}},
    };
    for (const Case& c : cases) {
        const RuntimeRelease release = parseRelease(c.release);
        std::string error;
        try {
            checkRuntimeFits(release, "R", c.launcher, "L");
        } catch (const VtErrorBase& e) {
            error = e.rawMessage();
        }
        EXPECT_EQ(error.empty(), std::string(c.error).empty()) << c.release << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(commonArchitectures(c.launcher, release), c.common) << c.release;
    }
    RuntimeRelease linked = parseRelease("MODULES=\"java.base\"\n");
    completeFromLibrary(linked, elf);
    EXPECT_NO_THROW(checkRuntimeFits(linked, "R", elf, "L"));
}

TEST(FileTreePaths, NormalizeContainAndRelate) {
    EXPECT_EQ(normalizePath("/a/./b//../c/"), "/a/c");
    EXPECT_EQ(normalizePath("../a/../../b"), "../../b");
    EXPECT_EQ(normalizePath("/../a"), "/a");
    std::string below;
    EXPECT_TRUE(pathBelow("/r/x", "/r/x/y/../z", below));
    EXPECT_EQ(below, "z");
    EXPECT_FALSE(pathBelow("/r/x", "/r/xy", below));
    EXPECT_FALSE(pathBelow("/r/x", "/r/x/../y", below));
    EXPECT_EQ(relativeLink("a/b", "a/c/d"), "../c/d");
    EXPECT_EQ(relativeLink("", "a/b"), "a/b");
    EXPECT_EQ(relativeLink("a/b", ""), "../..");
}

TEST(DesktopEntry, ExecQuotesThePathUnderBothEscapeRules) {
    EXPECT_EQ(execValue("/opt/Demo/bin/Demo", ""), "\"/opt/Demo/bin/Demo\"");
    EXPECT_EQ(execValue("/opt/A b/bin/A b", "%F"), "\"/opt/A b/bin/A b\" %F");
    EXPECT_EQ(execValue("/o/100%/$x\"`\\", "%U"),
              "\"/o/100%%/\\\\$x\\\\\"\\\\`\\\\\\\\\" %U");
}

} // namespace
