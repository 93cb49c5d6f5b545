// Path arithmetic and the file-system queries.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "TestSupport.h"

using testing_support::canonicalPath;
using testing_support::ScopedCwd;
using testing_support::TempDir;

namespace {


} // namespace

TEST(FileUtils, IsDirSeparator) {
    EXPECT_TRUE(FileUtils::isDirSeparator('/'));
    for (char c : {'\\', ':', '\0', '.', ' ', 'a', '|', '\xff'}) {
        EXPECT_FALSE(FileUtils::isDirSeparator(c)) << int(c);
    }
    EXPECT_EQ(':', FileUtils::pathSeparator);
}

TEST(FileUtils, Dirname) {
    const std::pair<std::string, std::string> cases[] = {
        {"/a/b/c", "/a/b"},
        {"a/b/", "a/b"},
        {"a//b", "a"},
        {"/a", ""},
        {"/", ""},
        {"//", ""},
        {"a", ""},
        {"", ""},
        {"/a/b/.", "/a"},
        {"a/.", ""},
        {"/.", ""},
        {".", ""},
        {"a/b/..", "a/b"},
        {"//a//b", "//a"},
        // A backslash is part of a file name.
        {"a\\b", ""},
        {"x/a\\b\\.", "x"},
        {"x/We\\ird/y", "x/We\\ird"},
        {"/opt/app/Contents/MacOS/launcher", "/opt/app/Contents/MacOS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, FileUtils::dirname(c.first)) << c.first;
    }
}

TEST(FileUtils, Basename) {
    const std::pair<std::string, std::string> cases[] = {
        {"/a/b", "b"},
        {"a", "a"},
        {"a/", ""},
        {"/", ""},
        {"", ""},
        {"a\\b", "a\\b"},
        {"x/We\\ird", "We\\ird"},
        {"/a/b/.", "."},
        {"Sample.cfg", "Sample.cfg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, FileUtils::basename(c.first)) << c.first;
    }
}

TEST(FileUtils, CombinePath) {
    struct Case {
        std::string a, b, expected;
    };
    const Case cases[] = {
        {"a", "b", "a/b"},
        {"a/", "b", "a/b"},
        {"a//", "/b", "a/b"},
        {"a", "//b", "a//b"},
        {"/", "b", "/b"},
        {"//", "b", "/b"},
        {"a", "/", "a/"},
        {"", "b", "b"},
        {"", "/b", "/b"},
        {"a", "", "a"},
        {"a/", "", "a/"},
        {"", "", ""},
        {"a\\", "b", "a\\/b"},
        {"a", "\\b", "a/\\b"},
        {"/x/y", "../z", "/x/y/../z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, FileUtils::combinePath(c.a, c.b))
                << "'" << c.a << "' + '" << c.b << "'";
    }
}

TEST(FileUtils, StripExeSuffixKeepsThePath) {
    EXPECT_EQ("dir/app.exe", FileUtils::stripExeSuffix("dir/app.exe"));
    EXPECT_EQ("app", FileUtils::stripExeSuffix("app"));
}

TEST(FileUtils, IsFileExists) {
    TempDir tmp;
    testing_support::writeFile(tmp / "file", "x");
    testing_support::makeDirs(tmp / "dir");
    testing_support::makeSymlink(tmp / "missing", tmp / "dangling");
    testing_support::makeSymlink(tmp / "file", tmp / "link");
    testing_support::makeSymlink(tmp / "dir", tmp / "dirlink");

    EXPECT_TRUE(FileUtils::isFileExists(tmp / "file"));
    EXPECT_TRUE(FileUtils::isFileExists(tmp / "dir"));
    EXPECT_TRUE(FileUtils::isFileExists(tmp / "dir/"));
    EXPECT_TRUE(FileUtils::isFileExists(tmp / "link"));
    EXPECT_TRUE(FileUtils::isFileExists(tmp / "dirlink"));
    EXPECT_FALSE(FileUtils::isFileExists(tmp / "dangling"));
    EXPECT_FALSE(FileUtils::isFileExists(tmp / "missing"));
    EXPECT_FALSE(FileUtils::isFileExists(tmp / "file/x"));
    EXPECT_FALSE(FileUtils::isFileExists(""));
    {
        ScopedCwd cwd(tmp.path());
        EXPECT_TRUE(FileUtils::isFileExists("file"));
        EXPECT_FALSE(FileUtils::isFileExists("dangling"));
    }
}

TEST(FileUtils, ToAbsolutePathJoinsTheWorkingDirectory) {
    TempDir tmp;
    const std::string dir = canonicalPath(tmp.path());
    {
        ScopedCwd cwd(dir);
        EXPECT_EQ(dir, FileUtils::toAbsolutePath(""));
        EXPECT_EQ(dir + "/x", FileUtils::toAbsolutePath("x"));
        EXPECT_EQ(dir + "/../x", FileUtils::toAbsolutePath("../x"));
        EXPECT_EQ(dir + "/./x/", FileUtils::toAbsolutePath("./x/"));
        EXPECT_EQ("/x", FileUtils::toAbsolutePath("/x"));
        EXPECT_EQ("//x/../y", FileUtils::toAbsolutePath("//x/../y"));
        EXPECT_EQ(dir + "/\\x", FileUtils::toAbsolutePath("\\x"));
    }
    {
        ScopedCwd cwd("/");
        EXPECT_EQ("/", FileUtils::toAbsolutePath(""));
        EXPECT_EQ("/x", FileUtils::toAbsolutePath("x"));
        EXPECT_EQ("/a/b", FileUtils::toAbsolutePath("a/b"));
    }
}

TEST(FileUtils, ToAbsolutePathWithALongWorkingDirectory) {
    TempDir tmp;
    // Well beyond 1024 bytes, in components short enough for any file system.
    std::string deep = canonicalPath(tmp.path());
    const std::string component(200, 'd');
    while (deep.size() <= 3000) {
        deep += "/" + component;
    }
    testing_support::makeDirs(deep);
    ASSERT_GT(deep.size(), 3000u);
    ScopedCwd cwd(deep);
    EXPECT_EQ(deep, FileUtils::toAbsolutePath(""));
    EXPECT_EQ(deep + "/app.cfg", FileUtils::toAbsolutePath("app.cfg"));
}

TEST(FileUtils, ToAbsolutePathFailsWithoutAWorkingDirectory) {
    TempDir tmp;
    const std::string gone = tmp / "gone";
    testing_support::makeDirs(gone);
    ScopedCwd cwd(gone);
    ASSERT_EQ(0, rmdir(gone.c_str()));

    const std::string expected =
            std::string("getcwd() failed. Error: ") + std::strerror(ENOENT);
    for (const char* path : {"", "x"}) {
        try {
            FileUtils::toAbsolutePath(path);
            ADD_FAILURE() << "no error for '" << path << "'";
        } catch (const VtError<std::runtime_error>& e) {
            EXPECT_EQ(expected, e.rawMessage());
            const std::string what = e.what();
            EXPECT_EQ(0u, what.find("UnixFileUtils.cpp(")) << what;
            EXPECT_NE(std::string::npos,
                      what.find(") at toAbsolutePath(): " + expected))
                    << what;
        }
    }
    // An absolute path needs no working directory.
    EXPECT_EQ("/abs", FileUtils::toAbsolutePath("/abs"));
}

// The assembly command's messages name the system's reason, so a folder
// that cannot be listed must say why, and a listing is never half read.
TEST(FileUtils, ListDirectoryTellsWhyItCannotList) {
    TempDir tmp;
    testing_support::writeFile(tmp / "b", "");
    testing_support::writeFile(tmp / "a", "");
    testing_support::makeDirs(tmp / "c");
    StringArray names{"stale"};
    ASSERT_TRUE(FileUtils::listDirectory(tmp.path(), names));
    EXPECT_EQ((StringArray{"a", "b", "c"}), names);

    names = {"stale"};
    EXPECT_FALSE(FileUtils::listDirectory(tmp / "missing", names));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(FileUtils::listDirectory(tmp / "a", names));
    EXPECT_EQ(ENOTDIR, errno);
    EXPECT_TRUE(FileUtils::listDirectory(tmp / "missing").empty());

    EXPECT_TRUE(FileUtils::canonicalPath(tmp / "missing").empty());
    EXPECT_EQ(ENOENT, errno);
}
