// Runs the C scenarios of LauncherInterface_test.c, which exercise the
// launcher library interface from C code; each returns its failed checks.
#include <gtest/gtest.h>

#include <string>

extern "C" {
int liSanitized(void);
const char* liCreateDataChecks(void);
const char* liCreateDataAllocationFailureChecks(void);
const char* liStartJvmArgumentsChecks(void);
const char* liStartJvmDebugLinesChecks(void);
const char* liStartJvmEnvironmentChecks(void);
const char* liStartJvmNoVariablesChecks(void);
const char* liLogFormatChecks(void);
}

TEST(LauncherInterface, CreateDataThroughCallbacks) {
    EXPECT_EQ("", std::string(liCreateDataChecks()));
}

TEST(LauncherInterface, CreateDataAllocationFailure) {
#ifndef __linux__
    GTEST_SKIP() << "the address space limit that makes malloc fail is a"
                    " Linux feature";
#endif
    if (liSanitized()) {
        GTEST_SKIP() << "the sanitizer's allocator aborts on exhaustion";
    }
    EXPECT_EQ("", std::string(liCreateDataAllocationFailureChecks()));
}

TEST(LauncherInterface, StartJvmArguments) {
    EXPECT_EQ("", std::string(liStartJvmArgumentsChecks()));
}

TEST(LauncherInterface, StartJvmDebugLines) {
    EXPECT_EQ("", std::string(liStartJvmDebugLinesChecks()));
}

TEST(LauncherInterface, StartJvmEnvironment) {
    EXPECT_EQ("", std::string(liStartJvmEnvironmentChecks()));
}

TEST(LauncherInterface, StartJvmNoVariables) {
    EXPECT_EQ("", std::string(liStartJvmNoVariablesChecks()));
}

TEST(LauncherInterface, LogFormat) {
    EXPECT_EQ("", std::string(liLogFormatChecks()));
}
