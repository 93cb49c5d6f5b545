// Jars that the JDK's `jar` makes, and archives in the shapes of the zip
// reader's tests: whatever the runtime starts (with -jar, or from the class
// path), the reader finds the main class and entries in; what the runtime
// refuses, the reader refuses too.
#include <gtest/gtest.h>

#include "JarManifest.h"
#include "JdkSupport.h"
#include "ZipFile.h"
#include "ZipWriter.h"

using namespace jdk_tests;

TEST(RealJars, WhatJavaStartsIsRead) {
    const TestApp& app = testApp();
    if (machineJdks().empty()) {
        GTEST_SKIP() << "No JDK on this machine";
    }
    ASSERT_EQ("", app.error);
    const std::string& bin = app.tools;
    const std::string classes = app.dir + "/classes";
    TempDir dir;
    ProcessOptions options;
    options.timeoutSeconds = 60;
    writeFile(dir / "script.jar",
              "#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n" + readFile(app.jar));
    // `java -jar` refuses these, the class path takes them (but for the
    // last).
    const std::vector<ZipItem> items{
            {"META-INF/MANIFEST.MF", "Main-Class: vantrytest.Main\n", true},
            {"vantrytest/Main.class",
             readFile(classes + "/vantrytest/Main.class")}};
    writeFile(dir / "zip64.jar",
              makeZip(items, ZipShape("", "c", "", true, true,
                                      std::string("\x99\x99\0\0", 4))));
    writeFile(dir / "stray.jar",
              makeZip(items, ZipShape("#!/bin/sh\n", "", "\n\n")));
    writeFile(dir / "script64.jar",
              makeZip(items, ZipShape("#!/bin/sh\n", "", "", true)));
    const struct {
        std::string path;
        bool classPath;
        bool read;
    } jars[] = {
        {app.jar, false, true},
        {app.lateJar, false, true},
        {dir / "script.jar", false, true},
        {dir / "zip64.jar", true, true},
        {dir / "stray.jar", true, true},
        {dir / "script64.jar", true, false},
    };
    for (const auto& jar : jars) {
        std::vector<std::string> argv{"java", "-jar", jar.path};
        if (jar.classPath) {
            argv = {"java", "-cp", jar.path, "vantrytest.Main"};
        }
        const ProcessResult java = runProcess(bin + "java", argv, options);
        EXPECT_EQ(jar.read, java.exitStatus == 0) << jar.path << java.err;
        const ZipFile zip(jar.path);
        std::string text;
        EXPECT_EQ(jar.read, zip.error().empty()) << jar.path;
        if (jar.read) {
            EXPECT_NE(nullptr, zip.find("vantrytest/Main.class"));
            EXPECT_TRUE(JarManifest::read(zip, text));
            EXPECT_EQ("vantrytest.Main",
                      JarManifest::mainAttribute(text, "Main-Class"));
        }
    }
}
