// A jar's manifest: its main section, however long the rest, and the
// attributes in it.
#include <gtest/gtest.h>

#include "JarManifest.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

// The main section read from a jar of `items`; "-" when it cannot be read.
std::string mainSectionOf(const std::vector<ZipItem>& items) {
    std::string text;
    const ZipFile jar(std::unique_ptr<ReadOnlyFile>(
            new MemoryFile(makeZip(items))));
    return JarManifest::read(jar, text) ? text : "-";
}

} // namespace

TEST(JarManifest, MainSectionEndsAtTheFirstEmptyLine) {
    const std::string name = "META-INF/MANIFEST.MF";
    const struct {
        std::vector<ZipItem> items;
        std::string main;
    } cases[] = {
        {{{name, "A: 1\nB: 2\n\nName: x\n", true}}, "A: 1\nB: 2\n"},
        {{{name, "A: 1\r\rName: x\r"}}, "A: 1\r"},
        {{{name, "A: 1\r\n\r\nName: x\r\n"}}, "A: 1\r\n"},
        {{{name, "A: 1\n\r\nName: x\n"}}, "A: 1\n"},
        {{{name, "A: 1\r"}}, "A: 1\r"},
        {{{name, "\nName: x\n"}}, ""},
        {{{"a/B.class", "x"}}, ""},
        // Found as the runtime finds it: the last of the name, else one
        // whose name differs in case.
        {{{name, "A: 1\n"}, {name, "A: 2\n"}}, "A: 2\n"},
        {{{"meta-inf/manifest.mf", "A: 1\n"}, {name, "A: 2\n"}}, "A: 2\n"},
        {{{"Meta-Inf/Manifest.MF", "A: 1\n"}}, "A: 1\n"},
        {{{name, "A: 1\n", true}, {"META-INF/", ""}}, "A: 1\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.main, mainSectionOf(c.items)) << c.items[0].data;
    }
}

TEST(JarManifest, ReadsTheMainSectionOfAManifestOverOneMebibyte) {
    const std::string main = "Manifest-Version: 1.0\r\nClass-Path: a.jar\r\n";
    std::string manifest = main + "\r\n", longMain = main;
    for (int i = 0; i < 20000; ++i) {
        manifest += "Name: demo/C" + std::to_string(i) + ".class\r\n"
                "SHA-256-Digest: " + std::string(44, 'x') + "\r\n\r\n";
        longMain += "X-" + std::to_string(i) + ": " + std::string(50, 'y')
                + "\r\n";
    }
    ASSERT_GT(manifest.size(), 1u << 20);
    TempDir dir;
    for (const bool deflate : {false, true}) {
        writeFile(dir / "signed.jar",
                  makeZip({{"META-INF/MANIFEST.MF", manifest, deflate}}));
        std::string text;
        EXPECT_TRUE(JarManifest::read(dir / "signed.jar", text));
        EXPECT_EQ(main, text);
        EXPECT_EQ(StringArray{"a.jar"}, JarManifest::classPath(text));
        const std::string over = longMain + "\r\nName: x\r\n";
        EXPECT_EQ("-",
                  mainSectionOf({{"META-INF/MANIFEST.MF", over, deflate}}));
    }
}

TEST(JarManifest, ClassPathOfTheMainSection) {
    EXPECT_EQ((StringArray{"a.jar", "lib/b.jar", "c.jar"}),
              JarManifest::classPath(
                      "Manifest-Version: 1.0\r\n"
                      "Class-Path: a.jar  lib/b.\r\n"
                      " jar c.jar\r\n"
                      "\r\n"
                      "Name: x\r\nClass-Path: ignored.jar\r\n"));
    EXPECT_EQ(StringArray{"d.jar"},
              JarManifest::classPath("class-path: d.jar\n"));
    EXPECT_TRUE(JarManifest::classPath("Main-Class: M\n").empty());
    EXPECT_TRUE(JarManifest::classPath("Class-Paths: x.jar\n").empty());
}

TEST(JarManifest, MainAttribute) {
    const std::string manifest =
            "Manifest-Version: 1.0\nmain-class: demo.\n Main\n"
            "Main-Class-Extra: no\n\nName: x\nMain-Class: Other\n";
    EXPECT_EQ("demo.Main", JarManifest::mainAttribute(manifest, "Main-Class"));
    EXPECT_EQ("", JarManifest::mainAttribute(manifest, "Launcher-Agent"));
    EXPECT_EQ("", JarManifest::mainAttribute("Main-Class: M", "Main"));
}
