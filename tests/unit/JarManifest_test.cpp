// Reading a jar's manifest: the inflater against gzip's deflate, and the
// Class-Path attribute.
#include <gtest/gtest.h>

#include <random>

#include "JarManifest.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// `data` deflated by gzip at `level`: its member without the 10-byte header
// (no name, -n) and the 8-byte trailer.
std::string deflated(const std::string& data, const char* level) {
    TempDir dir;
    writeFile(dir / "in", data);
    const ProcessResult gzip = runProcess(
            "/bin/sh", {"sh", "-c", "gzip -n -c \"$0\" \"$1\"", level,
                        dir / "in"});
    EXPECT_EQ(0, gzip.exitStatus) << gzip.err;
    return gzip.out.size() < 18 ? std::string()
                                : gzip.out.substr(10, gzip.out.size() - 18);
}

} // namespace

TEST(JarManifest, InflatesWhatGzipDeflates) {
    std::mt19937 random(7);
    std::string noise, text;
    for (int i = 0; i < 70000; ++i) {
        noise += static_cast<char>(random() & 0xff);
        text += "Class-Path: lib/a" + std::to_string(i % 97) + ".jar\n";
    }
    // Fixed codes for a short text, dynamic ones for a long one, stored
    // blocks for what does not compress.
    for (const std::string& data : {std::string("Manifest-Version: 1.0\n"),
                                    text, noise, std::string()}) {
        for (const char* level : {"-1", "-9"}) {
            std::string out;
            EXPECT_TRUE(JarManifest::inflate(deflated(data, level), out,
                                             10u << 20));
            EXPECT_EQ(data, out) << data.size() << level;
        }
    }
    std::string out;
    EXPECT_FALSE(JarManifest::inflate(deflated(text, "-9"), out, 1000));
    EXPECT_FALSE(JarManifest::inflate(deflated(text, "-9").substr(0, 100),
                                      out, 10u << 20));
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
