// The launch wrapper: exit status, the short error line, the diagnostic
// records with VANTRY_DEBUG and the sinks it leaves behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <iostream>
#include <new>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogCapture.h"
#include "OutputLines.h"
#include "TestSupport.h"
#include "app.h"

using testing_support::ScopedEnv;
using RecordingSink = testing_support::RecordingAppender;

namespace {

void succeed() {}

void logAndSucceed() {
    Logger::defaultLogger().log(Logger::LOG_TRACE, "/t/Inner.cpp", 5, "inner",
                                "working");
}

void throwLauncherError() {
    Logger::defaultLogger().log(Logger::LOG_TRACE, "/t/Inner.cpp", 7, "inner",
                                "about to fail");
    throw makeException("Bad value",
                        SourceCodePos("build/src/Sample.x", "load", 42));
}

void throwEmptyLauncherError() {
    throw makeException("", SourceCodePos("S.x", "f", 1));
}

void throwForeignWithErrno() {
    errno = ENOENT;
    throw std::runtime_error("foreign");
}

void throwForeignWithoutErrno() {
    errno = 0;
    throw std::runtime_error("foreign failure");
}

void throwInt() { throw 7; }
void throwLogicError() { throw std::logic_error("logic"); }
void throwBadAlloc() { throw std::bad_alloc(); }

int innerResult = -1;

void throwInner() {
    throw makeException("inner failed", SourceCodePos("I.x", "inner", 1));
}

void launchNestedThenThrow() {
    innerResult = app::launch(std::nothrow, throwInner);
    throw makeException("outer failed", SourceCodePos("O.x", "outer", 2));
}

// The lines the error-line listener heard.
std::vector<std::string> heardLines;
void hearLine(const std::string& line) { heardLines.push_back(line); }

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome runLaunch(app::LauncherFunc func, LogAppender* extra = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome o;
    o.status = app::launch(std::nothrow, func, extra);
    std::cout.flush();
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

// Writes one record through the default logger and returns what reached
// standard output and standard error.
std::string logAfterwards() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Logger::defaultLogger().log(Logger::LOG_INFO, "/x/After.cpp", 5, "after",
                                "later");
    std::cout.flush();
    const std::string out = testing::internal::GetCapturedStdout();
    return out + "|" + testing::internal::GetCapturedStderr();
}

class AppLaunch : public testing::Test {
protected:
    AppLaunch()
        : savedSink(&Logger::defaultLogger().currentAppender()),
          env("VANTRY_DEBUG", nullptr) {}
    ~AppLaunch() override {
        Logger::defaultLogger().installAppender(*savedSink);
        app::setErrorLineListener(nullptr);
    }

    LogAppender* savedSink;
    ScopedEnv env;
};

} // namespace

TEST_F(AppLaunch, LoggingIsOnOnlyForExactlyTrue) {
    EXPECT_FALSE(app::isWithLogging());
    const struct {
        const char* value;
        bool on;
    } cases[] = {
        {"true", true}, {"", false},     {"True", false}, {"TRUE", false},
        {"1", false},   {"yes", false},  {"true ", false}, {" true", false},
        {"truex", false}, {"tru", false},
    };
    for (const auto& c : cases) {
        env.set("VANTRY_DEBUG", c.value);
        EXPECT_EQ(c.on, app::isWithLogging()) << "'" << c.value << "'";
    }
}

TEST_F(AppLaunch, ShortErrorLineAndExitStatusWithLoggingOff) {
    const struct {
        app::LauncherFunc func;
        int status;
        const char* err;
    } cases[] = {
        {succeed, 0, ""},
        {logAndSucceed, 0, ""},
        {throwLauncherError, 1, "Bad value\n"},
        {throwEmptyLauncherError, 1, "\n"},
        {throwForeignWithErrno, 1, "No such file or directory\n"},
        {throwForeignWithoutErrno, 1, "foreign failure\n"},
        {throwInt, 1, "Unknown error\n"},
        {throwLogicError, 1, "Unknown error\n"},
        {throwBadAlloc, 1, "Unknown error\n"},
    };
    app::setErrorLineListener(hearLine);
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        heardLines.clear();
        const Outcome o = runLaunch(cases[i].func);
        EXPECT_EQ(cases[i].status, o.status);
        EXPECT_EQ(cases[i].err, o.err);
        EXPECT_EQ("", o.out);
        // The listener hears the short line of a failure, and only that.
        const std::string err = cases[i].err;
        EXPECT_EQ(err.empty() ? std::vector<std::string>()
                              : std::vector<std::string>{err.substr(
                                        0, err.size() - 1)},
                  heardLines);
        // The nop sink stays installed: later records go nowhere.
        EXPECT_EQ("|", logAfterwards());
    }

    // A launch inside a launch, as on the runtime's re-entry of main.
    innerResult = -1;
    const Outcome o = runLaunch(launchNestedThenThrow);
    EXPECT_EQ(1, innerResult);
    EXPECT_EQ(1, o.status);
    EXPECT_EQ("inner failed\nouter failed\n", o.err);
    EXPECT_EQ("", o.out);
}

TEST_F(AppLaunch, ExtraSinkReceivesOnlyTheFailureRecord) {
    const struct {
        app::LauncherFunc func;
        int status;
        const char* message;
    } cases[] = {
        {logAndSucceed, 0, nullptr},
        {throwLauncherError, 1,
         "Exception with message 'Sample.x(42) at load(): Bad value' caught"},
        {throwForeignWithErrno, 1, "Exception with message 'foreign' caught"},
        {throwInt, 1, "Unknown exception caught"},
    };
    for (const bool logging : {false, true}) {
        env.set("VANTRY_DEBUG", logging ? "true" : nullptr);
        for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
            SCOPED_TRACE(std::to_string(i) + (logging ? " on" : " off"));
            RecordingSink extra;
            const Outcome o = runLaunch(cases[i].func, &extra);
            EXPECT_EQ(cases[i].status, o.status);
            EXPECT_EQ("", o.out);
            if (!cases[i].message) {
                EXPECT_TRUE(extra.events.empty());
                continue;
            }
            ASSERT_EQ(1u, extra.events.size());
            const LogEvent& e = extra.events[0];
            EXPECT_EQ("ERROR", e.levelName);
            EXPECT_EQ("app.cpp", e.sourceFile);
            EXPECT_EQ("launch", e.functionName);
            EXPECT_EQ(cases[i].message, e.message);
            const std::string record = "[ERROR] app.cpp:"
                    + std::to_string(e.lineNumber) + ": " + e.message + "\n";
            if (logging) {
                // The same record through the standard sink, and no short
                // line: the extra sink took the place of its writer.
                EXPECT_NE(std::string::npos, o.err.find(record)) << o.err;
                for (const std::string& line : e2e::splitLines(o.err)) {
                    EXPECT_EQ('[', line.empty() ? ' ' : line[0]) << line;
                }
            } else {
                EXPECT_EQ("", o.err);
            }
            // The tee is gone after the launch.
            logAfterwards();
            EXPECT_EQ(1u, extra.events.size());
        }
    }
}

TEST_F(AppLaunch, DiagnosticRecordsWithLoggingOn) {
    env.set("VANTRY_DEBUG", "true");
    const std::regex entering(R"(\[TRACE\] app\.cpp:([0-9]+): Entering launch)");
    const std::regex error(R"(\[ERROR\] app\.cpp:([0-9]+): (.*))");

    const struct {
        app::LauncherFunc func;
        int status;
        std::vector<std::string> middle;  // between the first and last record
        const char* errorMessage;         // null: no ERROR record
        const char* shortLine;
    } cases[] = {
        {succeed, 0, {}, nullptr, nullptr},
        {logAndSucceed, 0, {"[TRACE] Inner.cpp:5: working"}, nullptr, nullptr},
        {throwLauncherError, 1, {"[TRACE] Inner.cpp:7: about to fail"},
         "Exception with message 'Sample.x(42) at load(): Bad value' caught",
         "Bad value"},
        {throwForeignWithErrno, 1, {},
         "Exception with message 'foreign' caught",
         "No such file or directory"},
        {throwForeignWithoutErrno, 1, {},
         "Exception with message 'foreign failure' caught", "foreign failure"},
        {throwLogicError, 1, {}, "Unknown exception caught", "Unknown error"},
    };
    std::string errorLine;
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(i);
        const Outcome o = runLaunch(cases[i].func);
        EXPECT_EQ(cases[i].status, o.status);
        EXPECT_EQ("", o.out);
        ASSERT_FALSE(o.err.empty());
        EXPECT_EQ('\n', o.err.back()) << "output does not end with a newline";
        const std::vector<std::string> got = e2e::splitLines(o.err);
        const std::size_t extra = cases[i].errorMessage ? 2 : 0;
        ASSERT_EQ(2 + cases[i].middle.size() + extra, got.size()) << o.err;

        std::smatch m;
        ASSERT_TRUE(std::regex_match(got.front(), m, entering)) << got.front();
        const std::string enterLine = m[1];
        EXPECT_EQ("[TRACE] app.cpp:0: Exiting launch (entered at app.cpp:"
                  + enterLine + ")", got.back());
        for (std::size_t k = 0; k < cases[i].middle.size(); ++k) {
            EXPECT_EQ(cases[i].middle[k], got[1 + k]);
        }
        if (cases[i].errorMessage) {
            const std::string& record = got[got.size() - 3];
            ASSERT_TRUE(std::regex_match(record, m, error)) << record;
            EXPECT_EQ(cases[i].errorMessage, m[2].str());
            EXPECT_NE(enterLine, m[1].str());
            // All handlers report from the same position.
            if (errorLine.empty()) {
                errorLine = m[1];
            }
            EXPECT_EQ(errorLine, m[1].str());
            EXPECT_EQ(cases[i].shortLine, got[got.size() - 2]);
        }
        // The standard sink stays installed: later records reach stderr.
        EXPECT_EQ("|[INFO] After.cpp:5: later\n", logAfterwards());
    }
}
