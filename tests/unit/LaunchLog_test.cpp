// The decisions about the launch log: where it lies and which of a failed
// start's lines go into the alert.
#include <gtest/gtest.h>

#include "LaunchLog.h"

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
