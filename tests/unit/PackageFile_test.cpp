// PackageFile::loadFromAppDir: the first line of "<appDir>/.package" byte
// for byte, its trace lines, and a file that exists but cannot be read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "PackageFile.h"
#include "LogCapture.h"
#include "TestSupport.h"

using testing_support::TempDir;
using testing_support::writeFile;
using testing_support::RecordingSink;

namespace {

std::string readLine(const std::string& path) {
    return "Read \"" + path + "\" package file";
}

// Expects the open error for `path` with the system's text for `error`.
void expectOpenError(const std::string& appDir, const std::string& path,
                     int error) {
    RecordingSink sink;
    try {
        PackageFile::loadFromAppDir(appDir);
        ADD_FAILURE() << "read " << path;
    } catch (const VtError<std::runtime_error>& e) {
        EXPECT_EQ("Error opening \"" + path + "\" file: "
                  + std::strerror(error), e.rawMessage());
        const std::string what = e.what();
        EXPECT_EQ(0u, what.find("PackageFile.cpp(")) << what;
        EXPECT_NE(std::string::npos, what.find(") at loadFromAppDir(): "))
                << what;
    }
    EXPECT_EQ(std::vector<std::string>{readLine(path)}, sink.messages());
}

} // namespace

// The first line, byte for byte, and the trace lines that go with it.
TEST(PackageFile, FirstLineByteForByte) {
    RecordingSink quiet;
    struct Case {
        const char* what;
        std::string content;
        std::string name;
        bool nameLogged;
    };
    const Case cases[] = {
        {"further lines", "myapp\nsecond\nthird\n", "myapp", true},
        {"no line feed", " my app\t", " my app\t", true},
        {"CRLF", "name\r\nnext\r\n", "name\r", true},
        {"empty file", "", "", false},
        {"empty first line", "\nsecond\n", "", true},
        {"odd bytes", std::string("\xef\xbb\xbf\xc3\xa4\0x\n", 8),
         std::string("\xef\xbb\xbf\xc3\xa4\0x", 7), true},
        {"only a line feed", "\n", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir / ".package";
        writeFile(path, c.content);
        RecordingSink sink;
        EXPECT_EQ(c.name, PackageFile::loadFromAppDir(dir.path())
                                  .getPackageName());
        std::vector<std::string> expected = {readLine(path)};
        if (c.nameLogged) {
            expected.push_back("Package name is [" + c.name + "]");
        }
        EXPECT_EQ(expected, sink.messages());
        for (const LogEvent& e : sink.events) {
            EXPECT_EQ("TRACE", e.levelName);
            EXPECT_EQ("PackageFile.cpp", e.sourceFile);
            EXPECT_EQ("loadFromAppDir", e.functionName);
        }
        if (sink.events.size() == 2) {
            EXPECT_NE(sink.events[0].lineNumber, sink.events[1].lineNumber);
        }
    }
}

// No package file: the empty name, nothing logged. A directory of the name
// exists but has no line: the empty name, no failure.
TEST(PackageFile, MissingFileOrDirectory) {
    RecordingSink quiet;
    TempDir dir;
    {
        RecordingSink sink;
        EXPECT_EQ("", PackageFile::loadFromAppDir(dir.path()).getPackageName());
        EXPECT_TRUE(sink.events.empty());
        EXPECT_EQ("", PackageFile::loadFromAppDir(dir / "no/such/dir")
                              .getPackageName());
        EXPECT_TRUE(sink.events.empty());
    }
    testing_support::makeDirs(dir / ".package");
    RecordingSink sink;
    std::string name = "unset";
    EXPECT_NO_THROW(name = PackageFile::loadFromAppDir(dir.path())
                                   .getPackageName());
    EXPECT_EQ("", name);
    EXPECT_EQ(std::vector<std::string>{readLine(dir / ".package")},
              sink.messages());
}

// Separators at the end of the application directory are not doubled.
TEST(PackageFile, TrailingSlashOnAppDir) {
    RecordingSink quiet;
    TempDir dir;
    writeFile(dir / ".package", "pkg\n");
    for (const std::string& appDir : {dir.path() + "/", dir.path() + "//"}) {
        RecordingSink sink;
        EXPECT_EQ("pkg", PackageFile::loadFromAppDir(appDir).getPackageName());
        EXPECT_EQ((std::vector<std::string>{readLine(dir / ".package"),
                                            "Package name is [pkg]"}),
                  sink.messages());
    }
}

// A package file that exists but cannot be opened stops the launch with the
// system's reason. A socket exists but can never be opened, even by root.
TEST(PackageFile, SocketCannotBeOpened) {
    TempDir dir;
    const std::string path = dir / ".package";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address),
                      sizeof(address)));
    // The system's own reason for refusing to open it.
    ASSERT_EQ(-1, open(path.c_str(), O_RDONLY));
    const int reason = errno;
    expectOpenError(dir.path(), path, reason);
    close(fd);
}

TEST(PackageFile, UnreadableFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which may read a file of mode 000";
    }
    TempDir dir;
    const std::string path = dir / ".package";
    writeFile(path, "secret\n");
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    expectOpenError(dir.path(), path, EACCES);
}
