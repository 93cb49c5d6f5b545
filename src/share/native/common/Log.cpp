#include "Log.h"

#include <new>
#include <ostream>

#include "FileUtils.h"
#include "StandardStreams.h"

namespace {

// Constant-initialised and trivially destructible: no start-up code runs for
// it and it is never torn down, so logging works until the process ends.
Logger defaultLoggerMemory;

// Raw storage for the first sink, constructed on first use and never
// destroyed.
alignas(StreamLogAppender) unsigned char
        defaultLogAppenderMemory[sizeof(StreamLogAppender)];

// Platform initialisation of logging: 0 not started, 1 under way, 2 done.
int state = 0;

const char* levelName(Logger::LogLevel level) {
    static const char* const names[] = {"TRACE", "INFO", "WARNING", "ERROR"};
    const int index = static_cast<int>(level);
    if (index < 0 || index > 3) {
        return "UNKNOWN";
    }
    return names[index];
}

// What follows the last slash or backslash of `path`: the same text as
// FileUtils::basename, without making a string of the whole path first.
const char* lastPathComponent(const char* path) {
    const char* result = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (FileUtils::isDirSeparator(*p)) {
            result = p + 1;
        }
    }
    return result;
}

} // namespace

Logger& Logger::defaultLogger() {
    Logger& logger = defaultLoggerMemory;
    if (logger.appender == nullptr) {
        logger.installAppender(*new (defaultLogAppenderMemory)
                StreamLogAppender(standardOutputStream()));
    }
    if (state == 0) {
        state = 1;
        initializeLogging();
        state = 2;
    } else if (state == 1) {
        initializingLogging();
    }
    return logger;
}

void Logger::log(LogLevel level, const char* fileName, int lineNumber,
                 const char* funcName, const std::string& message) const {
    LogEvent event;
    LogEvent::init(event.platform);
    event.sourceFile = lastPathComponent(fileName);
    event.functionName = funcName;
    event.levelName = levelName(level);
    event.lineNumber = lineNumber;
    event.message = message;
    appender->append(event);
}

Logger::ScopeTracer::ScopeTracer(Logger& logger, LogLevel level,
                                 const char* fileName, int lineNumber,
                                 const char* funcName,
                                 const std::string& scopeName)
    : logger(logger), level(level), sourceFile(fileName),
      lineNumber(lineNumber), functionName(funcName), scopeName(scopeName),
      enabled(logger.isLoggable(level)) {
    if (enabled) {
        logger.log(level, sourceFile.c_str(), lineNumber, funcName,
                   (tstrings::any() << "Entering " << scopeName).str());
    }
}

Logger::ScopeTracer::~ScopeTracer() {
    if (enabled) {
        logger.log(level, sourceFile.c_str(), 0, functionName.c_str(),
                   (tstrings::any() << "Exiting " << scopeName
                    << " (entered at " << FileUtils::basename(sourceFile)
                    << ":" << lineNumber << ")").str());
    }
}

void StreamLogAppender::append(const LogEvent& event) {
    std::string platform;
    LogEvent::appendFormatted(event.platform, platform);
    const std::string text = (tstrings::any() << "[" << platform
            << event.sourceFile << ":" << event.lineNumber << " ("
            << event.functionName << ")" << "]\n\t" << event.levelName
            << ": " << event.message).str();
    prepareStandardStreams();
    *stream << text << std::endl;
}

void TeeLogAppender::append(const LogEvent& event) {
    if (first) {
        first->append(event);
    }
    if (second) {
        second->append(event);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : savedAppender(&Logger::defaultLogger().currentAppender()),
      tee(savedAppender, &extra) {
    Logger::defaultLogger().installAppender(tee);
}

WithExtraLogAppender::~WithExtraLogAppender() {
    Logger::defaultLogger().installAppender(*savedAppender);
}
