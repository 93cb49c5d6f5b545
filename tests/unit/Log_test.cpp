// The logger, its records, the scope tracer and the log sinks.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Log.h"
#include "LogCapture.h"

using testing_support::DefaultSinkGuard;

namespace {

using RecordingSink = testing_support::RecordingAppender;

// Counts the flushes of the stream it backs.
class CountingBuf : public std::stringbuf {
public:
    int syncs = 0;

protected:
    int sync() override {
        ++syncs;
        return std::stringbuf::sync();
    }
};

Logger::LogLevel level(int value) {
    return static_cast<Logger::LogLevel>(value);
}

} // namespace

TEST(Logger, DefaultLoggerIsOneObjectWritingToStandardOutput) {
    Logger& first = Logger::defaultLogger();
    EXPECT_EQ(&first, &Logger::defaultLogger());
    EXPECT_EQ(&first.currentAppender(),
              &Logger::defaultLogger().currentAppender());

    // Its first sink is the stream sink over standard output.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    first.log(Logger::LOG_INFO, "/src/First.cpp", 9, "start", "hello");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("[First.cpp:9 (start)]\n\tINFO: hello\n", out);
    EXPECT_EQ("", err);
}

TEST(Logger, LevelsNamesAndRecordFields) {
    Logger logger;
    RecordingSink sink;
    logger.installAppender(sink);
    EXPECT_EQ(&sink, &logger.currentAppender());

    const struct {
        int level;
        const char* name;
        bool loggable;
    } cases[] = {
        {-1, "UNKNOWN", false}, {0, "TRACE", true},  {1, "INFO", true},
        {2, "WARNING", true},   {3, "ERROR", true}, {4, "UNKNOWN", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        EXPECT_EQ(c.loggable, logger.isLoggable(level(c.level)));
        sink.events.clear();
        // `log` itself tests no level: every record reaches the sink.
        logger.log(level(c.level), "a/b/Site.cpp", 17, "site", "text");
        ASSERT_EQ(1u, sink.events.size());
        EXPECT_EQ(c.name, sink.events[0].levelName);
    }

    // Only the last path component of the file is kept.
    sink.events.clear();
    for (const char* path : {"File.cpp", "rel\\win/File.cpp", "dir/"}) {
        logger.log(Logger::LOG_WARNING, path, -5, "fn", "");
    }
    ASSERT_EQ(3u, sink.events.size());
    EXPECT_EQ("File.cpp", sink.events[0].sourceFile);
    EXPECT_EQ("File.cpp", sink.events[1].sourceFile);
    EXPECT_EQ("", sink.events[2].sourceFile);

    sink.events.clear();
    logger.log(Logger::LOG_ERROR, "/x/Y.cpp", -12, "doWork", "the message");
    ASSERT_EQ(1u, sink.events.size());
    const LogEvent& e = sink.events[0];
    EXPECT_EQ("ERROR", e.levelName);
    EXPECT_EQ("Y.cpp", e.sourceFile);
    EXPECT_EQ(-12, e.lineNumber);
    EXPECT_EQ("doWork", e.functionName);
    EXPECT_EQ("the message", e.message);
}

TEST(Logger, ScopeTracerWritesEnteringAndExitingRecords) {
    DefaultSinkGuard guard;
    RecordingSink defaultSink;
    Logger::defaultLogger().installAppender(defaultSink);

    Logger logger;
    RecordingSink sink;
    logger.installAppender(sink);
    {
        // The tracer keeps its own copies of the texts it is given.
        std::string file = "/build/src/Scope.cpp";
        std::string func = "runScope";
        std::string scope = "work";
        const Logger::ScopeTracer tracer(logger, Logger::LOG_WARNING,
                                         file.c_str(), 77, func.c_str(),
                                         scope);
        file.assign(file.size(), 'x');
        func.assign(func.size(), 'y');
        scope = "other";
        ASSERT_EQ(1u, sink.events.size());
    }
    ASSERT_EQ(2u, sink.events.size());
    const LogEvent& in = sink.events[0];
    EXPECT_EQ("WARNING", in.levelName);
    EXPECT_EQ("Scope.cpp", in.sourceFile);
    EXPECT_EQ(77, in.lineNumber);
    EXPECT_EQ("runScope", in.functionName);
    EXPECT_EQ("Entering work", in.message);
    const LogEvent& out = sink.events[1];
    EXPECT_EQ("WARNING", out.levelName);
    EXPECT_EQ("Scope.cpp", out.sourceFile);
    EXPECT_EQ(0, out.lineNumber);
    EXPECT_EQ("runScope", out.functionName);
    EXPECT_EQ("Exiting work (entered at Scope.cpp:77)", out.message);

    // A tracer whose level is not loggable writes neither record.
    sink.events.clear();
    {
        const Logger::ScopeTracer tracer(logger, level(-1), "f.cpp", 3, "fn",
                                         "quiet");
    }
    EXPECT_TRUE(sink.events.empty());
    // Tracers write to the logger they are given, not the default one.
    EXPECT_TRUE(defaultSink.events.empty());
}

TEST(LogSinks, StreamSinkFormatsTwoLinesPerRecord) {
    CountingBuf buf;
    std::ostream stream(&buf);
    StreamLogAppender appender(stream);
    Logger logger;
    logger.installAppender(appender);

    logger.log(Logger::LOG_TRACE, "build/src/Sample.x", 42, "load",
               "message text");
    EXPECT_EQ("[Sample.x:42 (load)]\n\tTRACE: message text\n", buf.str());
    EXPECT_GE(buf.syncs, 1);

    buf.str("");
    logger.log(Logger::LOG_ERROR, "E.cpp", -3, "f", "");
    EXPECT_EQ("[E.cpp:-3 (f)]\n\tERROR: \n", buf.str());

    buf.str("");
    {
        const Logger::ScopeTracer tracer(logger, Logger::LOG_TRACE,
                                         "/a/app.cpp", 123, "launch", "launch");
    }
    EXPECT_EQ("[app.cpp:123 (launch)]\n\tTRACE: Entering launch\n"
              "[app.cpp:0 (launch)]\n\tTRACE: Exiting launch "
              "(entered at app.cpp:123)\n",
              buf.str());
}

TEST(LogSinks, NopAndTeeSinks) {
    LogEvent event;
    event.message = "m";

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    NopLogAppender nop;
    nop.append(event);
    TeeLogAppender bothNull(nullptr, nullptr);
    bothNull.append(event);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    std::vector<std::string> journal;
    RecordingSink a("a", &journal);
    RecordingSink b("b", &journal);
    TeeLogAppender(&a, nullptr).append(event);
    TeeLogAppender(nullptr, &b).append(event);
    EXPECT_EQ((std::vector<std::string>{"a:m", "b:m"}), journal);

    journal.clear();
    TeeLogAppender(&b, &a).append(event);
    TeeLogAppender(&a, &b).append(event);
    EXPECT_EQ((std::vector<std::string>{"b:m", "a:m", "a:m", "b:m"}), journal);
}

TEST(LogSinks, WithExtraLogAppenderRestoresThePreviousSink) {
    DefaultSinkGuard guard;
    Logger& logger = Logger::defaultLogger();
    std::vector<std::string> journal;
    RecordingSink base("base", &journal);
    RecordingSink extra1("x1", &journal);
    RecordingSink extra2("x2", &journal);
    logger.installAppender(base);

    auto outer = std::make_unique<WithExtraLogAppender>(extra1);
    EXPECT_NE(&base, &logger.currentAppender());
    logger.log(Logger::LOG_TRACE, "f", 1, "fn", "one");
    EXPECT_EQ((std::vector<std::string>{"base:one", "x1:one"}), journal);

    journal.clear();
    {
        const WithExtraLogAppender inner(extra2);
        logger.log(Logger::LOG_TRACE, "f", 1, "fn", "two");
        EXPECT_EQ((std::vector<std::string>{"base:two", "x1:two", "x2:two"}),
                  journal);
    }
    journal.clear();
    logger.log(Logger::LOG_TRACE, "f", 1, "fn", "three");
    EXPECT_EQ((std::vector<std::string>{"base:three", "x1:three"}), journal);

    // Destroyed through its owning pointer, as the launch wrapper does.
    outer.reset();
    EXPECT_EQ(&base, &logger.currentAppender());
    journal.clear();
    logger.log(Logger::LOG_TRACE, "f", 1, "fn", "four");
    EXPECT_EQ((std::vector<std::string>{"base:four"}), journal);
}
