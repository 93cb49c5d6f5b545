// The attributes of a manifest's main section.
#include <gtest/gtest.h>

#include "JarManifest.h"
#include "TestSupport.h"

using namespace testing_support;

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
