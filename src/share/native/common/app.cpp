#include "app.h"

#include <cerrno>
#include <memory>
#include <ostream>
#include <string>

#include "ErrorHandling.h"
#include "Log.h"
#include "StandardStreams.h"
#include "SysInfo.h"

namespace {

// The error text of the failure being reported; null at all other times.
const std::string* theLastErrorMsg = nullptr;

app::ErrorLineListener errorLineListener = nullptr;

// Writes each record to standard error as "[LEVEL] file:line: message".
class StandardLogAppender : public LogAppender {
public:
    void append(const LogEvent& event) override {
        const std::string text = (tstrings::any() << "[" << event.levelName
                << "] " << event.sourceFile << ":" << event.lineNumber << ": "
                << event.message).str();
        prepareStandardStreams();
        standardErrorStream() << text << std::endl;
    }
};

// Ignores the record and writes the error text of the failure being
// reported on standard error.
class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogEvent&) override {
        const std::string line =
                theLastErrorMsg ? *theLastErrorMsg : std::string();
        prepareStandardStreams();
        standardErrorStream() << line << std::endl;
        if (errorLineListener != nullptr) {
            errorLineListener(line);
        }
    }
};

NopLogAppender nopLogAppender;
StandardLogAppender standardLogAppender;
LastErrorLogAppender lastErrorLogAppender;

// When the try block of `launch` is left, puts a tee of the current sink and
// the extra sink in place, so that the failure handlers reach both.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(std::unique_ptr<WithExtraLogAppender>* ownerSlot,
                          LogAppender* extraAppender)
        : ownerSlot(ownerSlot), extraAppender(extraAppender) {}

    ~SetLoggerAtEndOfScope() {
        try {
            ownerSlot->reset(new WithExtraLogAppender(*extraAppender));
        } catch (...) {
            reportCurrentError(VT_SOURCE_CODE_POS);
        }
    }

private:
    std::unique_ptr<WithExtraLogAppender>* ownerSlot;
    LogAppender* extraAppender;
};

} // namespace

namespace app {

void setErrorLineListener(ErrorLineListener listener) {
    errorLineListener = listener;
}

bool isWithLogging() {
    return SysInfo::getEnvVariable(std::nothrow, "VANTRY_DEBUG", "") == "true";
}

int launch(const std::nothrow_t&, LauncherFunc func, LogAppender* extra) {
    if (isWithLogging()) {
        Logger::defaultLogger().installAppender(standardLogAppender);
    } else {
        Logger::defaultLogger().installAppender(nopLogAppender);
    }

    const Logger::ScopeTracer tracer(Logger::defaultLogger(),
            Logger::LOG_TRACE, __FILE__, __LINE__, __func__, "launch");

    std::unique_ptr<WithExtraLogAppender> withLastError;
    std::string errorText;
    LogAppender* extraAppender = extra ? extra : &lastErrorLogAppender;

    // The one position of the three failure handlers below.
    const SourceCodePos handlerPos = VT_SOURCE_CODE_POS;
    int result = 1;
    try {
        const SetLoggerAtEndOfScope setLogger(&withLastError, extraAppender);
        func();
        result = 0;
    } catch (const VtErrorBase& e) {
        errorText = e.rawMessage();
        theLastErrorMsg = &errorText;
        reportCurrentError(handlerPos);
    } catch (const std::runtime_error& e) {
        // Foreign runtime errors come from failed system calls: their
        // errno text says what went wrong, unless errno was never set.
        errorText = (errno != 0) ? lastCRTError() : std::string(e.what());
        theLastErrorMsg = &errorText;
        reportError(handlerPos, e);
    } catch (...) {
        errorText = "Unknown error";
        theLastErrorMsg = &errorText;
        reportUnknownError(handlerPos);
    }

    theLastErrorMsg = nullptr;
    errorText.clear();
    withLastError.reset();
    return result;
}

} // namespace app
