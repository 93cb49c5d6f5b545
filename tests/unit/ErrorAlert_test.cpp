// When a failure is also shown in an alert: only for a process that the
// system started (parent process 1) and whose standard error is no terminal.
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
