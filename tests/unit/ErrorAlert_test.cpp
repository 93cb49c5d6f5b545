// When a failure is also shown in an alert: only for a process that the
// system started (parent process 1) and whose standard error is no terminal;
// and what the alert says.
#include <gtest/gtest.h>

#include "ErrorAlert.h"

TEST(ErrorAlert, OnlyForProcessesStartedByTheSystemWithoutATerminal) {
    EXPECT_TRUE(isErrorAlertWanted(false, 1));
    EXPECT_FALSE(isErrorAlertWanted(true, 1));
    EXPECT_FALSE(isErrorAlertWanted(false, 4242));
    EXPECT_FALSE(isErrorAlertWanted(true, 4242));
    // A test runner is this process's parent.
    EXPECT_FALSE(isErrorAlertWanted());
}

TEST(ErrorAlert, RuntimesLinesReplaceTheLineAndTheLogIsNamed) {
    EXPECT_EQ("The Java runtime reported:\n\nError: x\n\nLog: /h/x.log",
              errorAlertText("Failed to launch JVM", "Error: x", "/h/x.log"));
    EXPECT_EQ("No config\n\nLog: /h/x.log",
              errorAlertText("No config", "", "/h/x.log"));
    EXPECT_EQ("No config", errorAlertText("No config", "", ""));
}
