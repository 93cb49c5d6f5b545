// Removing a build folder on the real file system: a folder mounted inside
// it (a bind mount, as a user may make into an earlier output) is neither
// entered nor changed. Needs the right to mount; skipped without it.
#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/mount.h>
#include <sys/stat.h>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileTree.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// A bind mount of `from` on `to`, undone when the test ends.
class BindMount {
public:
    BindMount(const std::string& from, const std::string& to) : at(to) {
        mounted = ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND,
                          nullptr) == 0;
    }
    ~BindMount() {
        if (mounted) {
            ::umount2(at.c_str(), MNT_DETACH);
        }
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;

    bool mounted = false;

private:
    std::string at;
};

unsigned modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return static_cast<unsigned>(st.st_mode & 07777);
}

TEST(RemoveTree, NeverEntersAFileSystemMountedBelow) {
    TempDir dir;
    makeDirs(dir / "precious");
    writeFile(dir / "precious/file1", "mine");
    ::chmod((dir / "precious").c_str(), 0755);
    makeDirs(dir / "build/Demo/lib/app/data");
    writeFile(dir / "build/Demo/lib/app/own.jar", "jar");
    BindMount mount(dir / "precious", dir / "build/Demo/lib/app/data");
    if (!mount.mounted) {
        GTEST_SKIP() << "no right to mount here";
    }
    EXPECT_NE(AssembleHost::mountOf(dir / "build/Demo/lib/app/data"),
              AssembleHost::mountOf(dir / "build/Demo/lib/app"));
    std::string error;
    try {
        removeTree(dir / "build");
    } catch (const VtErrorBase& e) {
        error = e.rawMessage();
    }
    EXPECT_EQ(error, "Cannot remove \"" + (dir / "build/Demo/lib/app/data")
                     + "\": a file system is mounted there");
    EXPECT_EQ(readFile(dir / "precious/file1"), "mine");
    EXPECT_EQ(modeOf(dir / "precious"), 0755u);
}

} // namespace
#endif
