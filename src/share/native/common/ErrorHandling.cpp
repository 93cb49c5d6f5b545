#include "ErrorHandling.h"

#include <cerrno>
#include <cstring>

#include "Log.h"

namespace {

std::string getFilename(const SourceCodePos& pos) {
    const std::string path(pos.sourceFile);
    const std::string::size_type sep = path.find_last_of("/\\");
    if (sep == std::string::npos) {
        return path;
    }
    return path.substr(sep + 1);
}

void reportError(const SourceCodePos& pos, const std::string& msg) {
    Logger::defaultLogger().log(Logger::LOG_ERROR, getFilename(pos).c_str(),
                                pos.lineNumber, pos.functionName, msg);
}

} // namespace

VtError<std::runtime_error> makeException(const tstrings::any& msg,
                                          const SourceCodePos& pos) {
    const std::runtime_error raw(msg.str());
    return VtError<std::runtime_error>(raw, makeMessage(raw, pos));
}

VtError<std::runtime_error> makeException(const char* msg,
                                          const SourceCodePos& pos) {
    const std::runtime_error raw(msg);
    return VtError<std::runtime_error>(raw, makeMessage(raw, pos));
}

std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos) {
    return (tstrings::any() << getFilename(pos) << "(" << pos.lineNumber
            << ") at " << pos.functionName << "(): " << e.what()).str();
}

std::string lastCRTError() {
    return std::strerror(errno);
}

void reportError(const SourceCodePos& pos, const std::runtime_error& e) {
    reportError(pos, (tstrings::any() << "Exception with message '"
                      << e.what() << "' caught").str());
}

void reportUnknownError(const SourceCodePos& pos) {
    reportError(pos, std::string("Unknown exception caught"));
}

void reportCurrentError(const SourceCodePos& pos) {
    try {
        throw;
    } catch (const std::runtime_error& e) {
        reportError(pos, e);
    } catch (...) {
        reportUnknownError(pos);
    }
}
