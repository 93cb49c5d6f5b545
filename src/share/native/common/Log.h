// The process-wide logger, its records, the scope tracer and the family of
// log sinks.
//
// A log site asks `Logger::defaultLogger().isLoggable(level)`, composes its
// message only if so, and hands level, position and message to `log`, which
// packs them into a LogEvent for the current sink. The logger never formats
// or writes; the installed sink decides whether and where a record goes.
// The LOG_TRACE and LOG_WARNING macros follow that convention.
#ifndef LOG_H
#define LOG_H

#include <iosfwd>
#include <string>

#include "tstrings.h"

/// The platform's part of a record. Empty on this platform.
struct PlatformLogEvent {};

/// One log record; built on the stack by `Logger::log` and handed to the
/// sink by reference.
struct LogEvent {
    PlatformLogEvent platform;
    std::string levelName;
    /// The last path component of the site's source file.
    std::string sourceFile;
    int lineNumber = 0;
    std::string functionName;
    std::string message;

    /// Platform hook: fills the platform part of a new record.
    static void init(PlatformLogEvent& event);
    /// Platform hook: appends the text of the platform part to `out`.
    static void appendFormatted(const PlatformLogEvent& event,
                                std::string& out);
};

/// A sink for log records.
class LogAppender {
public:
    virtual ~LogAppender() {}
    virtual void append(const LogEvent& event) = 0;
};

class Logger {
public:
    enum LogLevel : int {
        LOG_TRACE = 0,
        LOG_INFO = 1,
        LOG_WARNING = 2,
        LOG_ERROR = 3
    };

    constexpr Logger() : threshold(LOG_TRACE), appender(nullptr) {}

    /// The process-wide logger. Its first sink writes to standard output; it
    /// lives until the process ends and is never destroyed.
    static Logger& defaultLogger();

    /// True when `level` is at or above the threshold (TRACE).
    bool isLoggable(LogLevel level) const { return level >= threshold; }

    /// Hands a record to the current sink; there is no level test here.
    /// `fileName` is shortened to its last path component. A level outside
    /// TRACE..ERROR is named "UNKNOWN".
    void log(LogLevel level, const char* fileName, int lineNumber,
             const char* funcName, const std::string& message) const;

    LogAppender& currentAppender() const { return *appender; }
    /// Records go to `newAppender` from now on; the logger does not own it.
    void installAppender(LogAppender& newAppender) { appender = &newAppender; }

    /// Platform hook: runs once, on the first use of the default logger.
    static void initializeLogging();
    /// Platform hook: runs for a use of the default logger made while
    /// `initializeLogging` is still running.
    static void initializingLogging();

    /// Writes "Entering <scope>" when created and, if that record was
    /// written, "Exiting <scope> (entered at F:N)" with line 0 when destroyed.
    class ScopeTracer {
    public:
        ScopeTracer(Logger& logger, LogLevel level, const char* fileName,
                    int lineNumber, const char* funcName,
                    const std::string& scopeName);
        ~ScopeTracer();

        ScopeTracer(const ScopeTracer&) = delete;
        ScopeTracer& operator=(const ScopeTracer&) = delete;

    private:
        Logger& logger;
        LogLevel level;
        std::string sourceFile;
        int lineNumber;
        std::string functionName;
        std::string scopeName;
        bool enabled;
    };

private:
    LogLevel threshold;
    LogAppender* appender;
};

/// Formats each record in two lines, "[F:L (function)]" and a tab followed by
/// "LEVEL: message", onto a stream it does not own.
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::ostream& out) : stream(&out) {}
    void append(const LogEvent& event) override;

private:
    std::ostream* stream;
};

/// Drops every record.
class NopLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override {}
};

/// Passes each record to `first` and then to `second`; a null side is
/// skipped. Owns neither.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second)
        : first(first), second(second) {}
    void append(const LogEvent& event) override;

private:
    LogAppender* first;
    LogAppender* second;
};

/// While it lives, the default logger's records go to the sink that was
/// current when it was made and then to `extra`; its destruction installs
/// exactly that earlier sink again. Nested objects must be destroyed in the
/// reverse order of their creation.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();

    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* savedAppender;
    TeeLogAppender tee;
};

#define VT_LOG(level, msg)                                                    \
    do {                                                                      \
        if (Logger::defaultLogger().isLoggable(level)) {                      \
            Logger::defaultLogger().log(level, __FILE__, __LINE__, __func__,  \
                                        (tstrings::any() << msg).str());      \
        }                                                                     \
    } while (0)

/// Logs `msg`, a chain of `<<` operands, at TRACE.
#define LOG_TRACE(msg) VT_LOG(Logger::LOG_TRACE, msg)
/// Logs `msg`, a chain of `<<` operands, at WARNING.
#define LOG_WARNING(msg) VT_LOG(Logger::LOG_WARNING, msg)

#endif // LOG_H
