// The jars that manifests name: followed from jar to jar with their
// identities, checked again later, and a directory among them that the
// runtime cannot archive.
#include <gtest/gtest.h>

#include "JarDependencies.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using testing_support::TempDir;
using testing_support::makeDirs;
using testing_support::makeZip;
using testing_support::writeFile;

namespace {

void writeJar(const std::string& path, const std::string& classPath) {
    writeFile(path, makeZip({{"META-INF/MANIFEST.MF",
                              "Manifest-Version: 1.0\r\nClass-Path: "
                                      + classPath + "\r\n\r\n",
                              true}}));
}

} // namespace

TEST(JarDependencies, FollowsManifestsAndTellsAChangedOrBusyEntry) {
    TempDir dir;
    writeJar(dir / "app.jar", "lib/a.jar empty/ classes/");
    writeJar(dir / "lib/a.jar", "b.jar");
    writeJar(dir / "lib/b.jar", "../app.jar");
    makeDirs(dir / "empty");
    makeDirs(dir / "classes");
    std::string text;
    ASSERT_TRUE(JarDependencies::find({dir / "app.jar"}, text));
    for (const char* jar : {"/lib/a.jar\n", "/lib/b.jar\n", "/empty/\n"}) {
        EXPECT_NE(std::string::npos, text.find(jar)) << text;
    }
    EXPECT_TRUE(JarDependencies::unchanged(text));
    EXPECT_EQ("", JarDependencies::busyDirectory(text));

    writeFile(dir / "classes/Main.class", "class");
    EXPECT_EQ(dir / "classes/", JarDependencies::busyDirectory(text));
    writeJar(dir / "lib/b.jar", "../app.jar ");
    EXPECT_FALSE(JarDependencies::unchanged(text));
}
