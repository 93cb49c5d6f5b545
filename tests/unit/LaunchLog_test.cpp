// The decisions about the launch log: where it lies, what opens a start's
// part, and which of a failed start's lines go into the alert.
#include <gtest/gtest.h>

#include "LaunchLog.h"

namespace {

std::string lines(int count, const std::string& prefix) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += prefix + std::to_string(i) + "\n";
    }
    return text;
}

} // namespace

TEST(LaunchLog, LiesInTheApplicationsFolderOfTheUsersLogs) {
    EXPECT_EQ("/Users/u/Library/Logs/com.example.app/Demo.log",
              LaunchLog::locate("/Users/u", "com.example.app", "Demo").path());
    EXPECT_EQ("Demo.1.log",
              LaunchLog::locate("/Users/u", "Demo", "Demo").rotatedName);
    EXPECT_EQ("", LaunchLog::locate("Users/u", "Demo", "Demo").home);
    EXPECT_EQ("", LaunchLog::locate("", "Demo", "Demo").home);
}

TEST(LaunchLog, HeaderHasDateTimeAndProcess) {
    std::tm when = {};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 7;
    const std::string header = LaunchLog::headerLine(when, 4321);
    EXPECT_NE(std::string::npos, header.find("2026-12-08 09:05:07")) << header;
    EXPECT_NE(std::string::npos, header.find("4321")) << header;
    EXPECT_EQ('\n', header.back());
}

TEST(LaunchLog, AlertGetsTheLastLinesWithinTheLimits) {
    const std::string u(1500, 'u');
    std::string umlauts;
    for (int i = 0; i != 1500; ++i) {
        umlauts += "\xc3\xbc";  // two bytes, one character
    }
    const struct {
        const char* name;
        std::string written;
        std::string picked;
    } cases[] = {
        {"nothing", "", ""},
        {"own line and blank lines left out", "a\nb\n\nFailed\n\n", "a\nb"},
        {"only the own line", "Failed\n", ""},
        {"ten lines", lines(12, "line "),
         "line 3\nline 4\nline 5\nline 6\nline 7\nline 8\nline 9\n"
         "line 10\nline 11\nline 12"},
        {"2,000 characters", u + "\n" + u + "\n" + "end", u + "\nend"},
        {"characters, not bytes", "x\n" + umlauts + "\n", "x\n" + umlauts},
        {"long last line cut", "x\n" + u + u + "\n",
         std::string(1997, 'u') + "..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.picked, LaunchLog::pickAlertLines(c.written, "Failed"))
                << c.name;
    }
}
