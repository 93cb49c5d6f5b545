// Reports of caught failures: one ERROR record handed to the default
// logger's current sink.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogCapture.h"

using testing_support::DefaultSinkGuard;

using RecordingSink = testing_support::RecordingAppender;

TEST(ErrorReport, RecordsCarryTheCaughtMessageAndTheReportPosition) {
    DefaultSinkGuard guard;
    RecordingSink sink;
    Logger::defaultLogger().installAppender(sink);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();

    const SourceCodePos pos("/src/share/Catcher.cpp", "catcher", 179);
    try {
        throw makeException("Bad value",
                            SourceCodePos("build/src/Sample.x", "load", 42));
    } catch (const std::runtime_error& e) {
        reportError(pos, e);
    }
    reportError(pos, std::runtime_error("disk 'full'"));
    reportUnknownError(SourceCodePos("C:\\src\\Win.cpp", "other", -1));

    // Nothing is written by the reports themselves.
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    ASSERT_EQ(3u, sink.events.size());
    const struct {
        const char* file;
        int line;
        const char* function;
        const char* message;
    } expected[] = {
        {"Catcher.cpp", 179, "catcher",
         "Exception with message 'Sample.x(42) at load(): Bad value' caught"},
        {"Catcher.cpp", 179, "catcher",
         "Exception with message 'disk 'full'' caught"},
        {"Win.cpp", -1, "other", "Unknown exception caught"},
    };
    for (std::size_t i = 0; i < sink.events.size(); ++i) {
        SCOPED_TRACE(i);
        const LogEvent& e = sink.events[i];
        EXPECT_EQ("ERROR", e.levelName);
        EXPECT_EQ(expected[i].file, e.sourceFile);
        EXPECT_EQ(expected[i].line, e.lineNumber);
        EXPECT_EQ(expected[i].function, e.functionName);
        EXPECT_EQ(expected[i].message, e.message);
    }
}
