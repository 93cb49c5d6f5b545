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
