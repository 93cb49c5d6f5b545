// The decisions about the launch log: where it lies and which of a failed
// start's lines go into the alert; and the parts of starts that share one
// log (flock is per open file description, so one process can play several
// starts).
#include <gtest/gtest.h>

#include <unistd.h>

#include "LaunchLog.h"
#include "TestSupport.h"

TEST(LaunchLog, LiesInTheApplicationsFolderOfTheUsersLogs) {
    EXPECT_EQ("/Users/u/Library/Logs/com.example.app/Demo.log",
              LaunchLog::locate("/Users/u", "com.example.app", "Demo").path());
    EXPECT_EQ("", LaunchLog::locate("Users/u", "Demo", "Demo").home);
}

TEST(LaunchLog, AlertGetsTheLastLinesWithinTheLimits) {
    const std::string u(1500, 'u');
    std::string umlauts, twelve;
    for (int i = 1; i <= 1500; ++i) {
        umlauts += "\xc3\xbc";  // two bytes, one character
        twelve += i <= 12 ? std::to_string(i) + "\n" : "";
    }
    const struct {
        std::string written;
        std::string picked;
    } cases[] = {
        {"", ""},
        {"a\nb\n\nFailed\n\n", "a\nb"},  // the launcher's own line left out
        {"Failed\n", ""},
        {twelve, "3\n4\n5\n6\n7\n8\n9\n10\n11\n12"},
        {u + "\n" + u + "\n" + "end", u + "\nend"},
        {"x\n" + umlauts + "\n", "x\n" + umlauts},
        {"x\n" + u + u + "\n", std::string(1997, 'u') + "..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.picked, LaunchLog::pickAlertLines(c.written, "Failed"))
                << c.written.substr(0, 20);
    }
}

TEST(LaunchLog, FailedStartsThatTheRuntimeEndsItself) {
    // As JDK 17 and 25 wrote them.
    for (const char* written :
         {"Error: Could not find or load main class x.Main\n"
          "Caused by: java.lang.ClassNotFoundException: x.Main\n",
          "Error occurred during initialization of boot layer\n"
          "java.lang.module.FindException: Module x not found\n",
          "[0.002s][warning][perf,memops] Cannot use file /tmp/x/2\n"
          "Picked up JAVA_TOOL_OPTIONS: -Dx=1\n"
          "Error: Could not find or load main class x.Main\n",
          "Invalid maximum heap size: -Xmx1q\n"
          "Error: Could not create the Java Virtual Machine.\n"
          "Error: A fatal exception has occurred. Program will exit.\n"}) {
        EXPECT_TRUE(LaunchLog::reportsFailedStart(written)) << written;
    }
    // An application that wrote something first, then said why it quits.
    for (const char* written :
         {"", "usage: demo FILE\nError: no file\n", "Errors: none\n"}) {
        EXPECT_FALSE(LaunchLog::reportsFailedStart(written)) << written;
    }
}

namespace {

std::string headerOf(long pid) {
    std::tm when{};
    when.tm_year = 126;
    when.tm_mday = 1;
    return LaunchLog::headerLine(when, pid);
}

LaunchLog::Part startIn(const testing_support::TempDir& home, long pid) {
    std::string why;
    LaunchLog::Part part = LaunchLog::Part::open(
            LaunchLog::locate(home.path(), "App", "Demo"), headerOf(pid),
            why);
    EXPECT_TRUE(part.valid()) << why;
    return part;
}

void append(const LaunchLog::Part& part, const std::string& text) {
    ASSERT_EQ(static_cast<ssize_t>(text.size()),
              write(part.descriptor(), text.data(), text.size()));
}

} // namespace

TEST(LaunchLog, APartIsReadBackOnlyWhereItIsSurelyTheStartsOwn) {
    testing_support::TempDir home;
    LaunchLog::Part first = startIn(home, 1);
    append(first, "first 1\n");
    EXPECT_EQ(headerOf(1) + "first 1\n",
              testing_support::readFile(first.path()));
    EXPECT_EQ("first 1\n", first.readEnd());
    EXPECT_EQ("first 1\n", first.readBeginning());

    // A second start while the first runs: their lines mix from here on.
    LaunchLog::Part second = startIn(home, 2);
    append(second, "second\n");
    append(first, "first 2\n");
    EXPECT_EQ("first 1\n", first.readBeginning());
    EXPECT_EQ("", first.readEnd());
    EXPECT_EQ("", second.readBeginning());
    EXPECT_EQ("", second.readEnd());
    second = LaunchLog::Part();
    EXPECT_EQ("", first.readEnd());  // its header is still in the part

    // A child process of the first, which keeps writing after it ended.
    const int child = dup(first.descriptor());
    first = LaunchLog::Part();
    LaunchLog::Part third = startIn(home, 3);
    append(third, "third\n");
    EXPECT_EQ("", third.readBeginning());
    EXPECT_EQ("", third.readEnd());
    third = LaunchLog::Part();
    close(child);

    LaunchLog::Part fourth = startIn(home, 4);
    append(fourth, "fourth\n");
    EXPECT_EQ("fourth\n", fourth.readEnd());
}

TEST(LaunchLog, AnotherStartsPartBeginsAtItsHeader) {
    const std::string other = headerOf(2);
    const struct {
        std::string written;
        std::size_t at;
    } cases[] = {
        {"", 0},
        {"mine\n=== done ===\n", 18},
        {"mine\n" + other + "theirs\n", 5},
        {"progress: 10%" + other, 13},  // after a line still being written
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.at, LaunchLog::otherStartAt(c.written)) << c.written;
    }
}

TEST(LaunchLog, WithoutTurnsAStartIsNeverSureOfItsLines) {
    // A lock file that cannot be opened, as on a file system without locks.
    testing_support::TempDir home;
    testing_support::makeDirs(home / "Library/Logs/App/Demo.lock");
    LaunchLog::Part alone = startIn(home, 1);
    append(alone, "mine\n");
    EXPECT_EQ("", alone.readBeginning());
    EXPECT_EQ("", alone.readEnd());
    EXPECT_NE(std::string::npos,
              testing_support::readFile(alone.path()).find(headerOf(1)
                                                           + "mine\n"));
}
