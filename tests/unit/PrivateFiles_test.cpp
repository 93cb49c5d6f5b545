// Trusting only the user's own directories and files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PrivateFiles.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

const uid_t nobody = 65534;

// Root can hand a path to another user; nobody else can.
bool giveAway(const std::string& path) {
    return geteuid() == 0 && lchown(path.c_str(), nobody, nobody) == 0;
}

std::string openDirectoryProblem(const std::string& base,
                                 const std::string& relative) {
    std::string why;
    const PrivateFiles::FileDescriptor dir =
            PrivateFiles::openDirectory(base, relative, true, why);
    EXPECT_EQ(dir.valid(), why.empty()) << why;
    return why;
}

} // namespace

TEST(PrivateFiles, CreatesMissingDirectoriesPrivateAndReopensThem) {
    TempDir temp;
    EXPECT_EQ("", openDirectoryProblem(temp.path(), "a/b/c"));
    struct stat st;
    ASSERT_EQ(0, stat((temp / "a/b/c").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_EQ("", openDirectoryProblem(temp.path(), "a/b/c"));

    std::string why;
    EXPECT_FALSE(PrivateFiles::openDirectory(temp.path(), "a/b/d", false, why)
                         .valid());
    EXPECT_NE(std::string::npos, why.find("a/b/d\" cannot be opened")) << why;
}

TEST(PrivateFiles, CreatesOnlyBelowABaseOfTheUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "Needs root: only root can give the base directory "
                        "to another user";
    }
    // Root with another user's HOME (sudo, su -m, a service).
    const struct {
        uid_t owner;
        bool created;
    } cases[] = {{0, true}, {nobody, false}};
    for (const auto& c : cases) {
        TempDir temp;
        ASSERT_EQ(0, chown(temp.path().c_str(), c.owner, c.owner));
        const std::string why = openDirectoryProblem(temp.path(), "a/b");
        EXPECT_EQ(c.created, why.empty()) << c.owner << ": " << why;
        EXPECT_EQ(c.created, access((temp / "a").c_str(), F_OK) == 0)
                << c.owner;
    }
}

TEST(PrivateFiles, RefusesDirectoriesThatAreNotTheUsers) {
    TempDir temp;
    makeDirs(temp / "open");
    chmod((temp / "open").c_str(), 0777);
    makeDirs(temp / "sticky");
    chmod((temp / "sticky").c_str(), 01777);
    makeDirs(temp / "base/shared");
    chmod((temp / "base/shared").c_str(), 0770);
    makeDirs(temp / "real");
    makeSymlink(temp / "real", temp / "base/link");
    writeFile(temp / "base/file", "x");

    EXPECT_EQ("the base directory \"rel\" is not absolute",
              openDirectoryProblem("rel", "x"));
    EXPECT_EQ("\"" + temp / "open" + "\" may be written by group or others",
              openDirectoryProblem(temp / "open", "x"));
    EXPECT_EQ("", openDirectoryProblem(temp / "sticky", "x"));
    EXPECT_EQ("\"" + temp / "base/shared"
                      + "\" may be written by group or others",
              openDirectoryProblem(temp / "base", "shared/x"));
    EXPECT_EQ("\"" + temp / "base/link" + "\" is not a directory",
              openDirectoryProblem(temp / "base", "link"));
    EXPECT_EQ("\"" + temp / "base/file" + "\" is not a directory",
              openDirectoryProblem(temp / "base", "file/x"));
    EXPECT_EQ("\"../x\" is not a plain relative path",
              openDirectoryProblem(temp / "base", "../x"));
    makeDirs(temp / "base/theirs");
    if (giveAway(temp / "base/theirs")) {
        EXPECT_EQ("\"" + temp / "base/theirs" + "\" belongs to another user",
                  openDirectoryProblem(temp / "base", "theirs/x"));
    }
}

TEST(PrivateFiles, OpensOnlyTheUsersRegularFiles) {
    TempDir temp;
    std::string why;
    const PrivateFiles::FileDescriptor dir =
            PrivateFiles::openDirectory(temp.path(), "d", true, why);
    ASSERT_TRUE(dir.valid()) << why;
    const auto open = [&](const std::string& name, int flags) {
        why.clear();
        return PrivateFiles::openFile(dir.get(), name, flags, 0600, why)
                .valid();
    };
    EXPECT_TRUE(open("new", O_WRONLY | O_CREAT)) << why;
    EXPECT_TRUE(open("new", O_RDONLY)) << why;

    writeFile(temp / "target", "x");
    makeSymlink(temp / "target", temp / "d/link");
    EXPECT_FALSE(open("link", O_RDONLY));
    EXPECT_EQ("\"link\" is a symbolic link", why);

    // A FIFO would block a reader forever.
    ASSERT_EQ(0, mkfifo((temp / "d/fifo").c_str(), 0600));
    EXPECT_FALSE(open("fifo", O_RDONLY));
    EXPECT_EQ("\"fifo\" is not a regular file", why);

    // Nobody else can reach it in a private directory.
    writeFile(temp / "d/shared", "x");
    chmod((temp / "d/shared").c_str(), 0666);
    EXPECT_TRUE(open("shared", O_RDONLY)) << why;

    writeFile(temp / "d/theirs", "x");
    if (giveAway(temp / "d/theirs")) {
        EXPECT_FALSE(open("theirs", O_RDONLY));
        EXPECT_EQ("\"theirs\" belongs to another user", why);
    }
}
