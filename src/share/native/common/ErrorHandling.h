// The launcher's one exception type and the reporting of caught failures.
//
// Every failure the launcher detects is thrown as VtError<std::runtime_error>
// made by `makeException`: it carries the raw message written at the failure
// site (`rawMessage()`, what a user sees) and a message prefixed with the
// site's source position (`what()`, what diagnostic records show). The
// VT_THROW macro is the one way our code throws.
#ifndef ERRORHANDLING_H
#define ERRORHANDLING_H

#include <stdexcept>
#include <string>

#include "tstrings.h"

/// The position of a throw or report site. Both texts have static storage.
struct SourceCodePos {
    SourceCodePos(const char* file, const char* func, int line)
        : sourceFile(file), functionName(func), lineNumber(line) {}

    const char* sourceFile;
    const char* functionName;
    int lineNumber;
};

/// The position of the code that expands this macro.
#define VT_SOURCE_CODE_POS SourceCodePos(__FILE__, __func__, __LINE__)

/// Throws a launcher error with `msg` (a `tstrings::any` or a zero-terminated
/// string) and the position of the throw site.
#define VT_THROW(msg) throw makeException((msg), VT_SOURCE_CODE_POS)

/// The part of every launcher error that carries the message without its
/// source position. Caught by reference; never deleted through this type.
class VtErrorBase {
public:
    /// The message as written at the failure site.
    virtual const char* rawMessage() const = 0;

protected:
    VtErrorBase() {}
    VtErrorBase(const VtErrorBase&) {}
    ~VtErrorBase() {}
};

/// A launcher error: `Base` holds the raw message, `what()` gives the message
/// composed by `makeMessage`.
template <class Base>
class VtError : public VtErrorBase, public Base {
public:
    VtError(const Base& raw, const std::string& composed)
        : Base(raw), composedMessage(composed) {}

    const char* rawMessage() const override { return Base::what(); }
    const char* what() const noexcept override {
        return composedMessage.c_str();
    }

private:
    std::string composedMessage;
};

VtError<std::runtime_error> makeException(const tstrings::any& msg,
                                          const SourceCodePos& pos);
VtError<std::runtime_error> makeException(const char* msg,
                                          const SourceCodePos& pos);

/// "F(L) at N(): M": the last component of the position's file, its line,
/// its function and `e.what()`.
std::string makeMessage(const std::runtime_error& e, const SourceCodePos& pos);

/// The C library's text for the calling thread's current errno.
std::string lastCRTError();

/// Hands an ERROR record "Exception with message '<what()>' caught" with the
/// position to the default logger's current sink, whatever its level.
void reportError(const SourceCodePos& pos, const std::runtime_error& e);

/// Hands an ERROR record "Unknown exception caught" with the position to the
/// default logger's current sink, whatever its level.
void reportUnknownError(const SourceCodePos& pos);

/// Reports the exception being handled: `reportError` for a
/// std::runtime_error, `reportUnknownError` for anything else. Call it only
/// from inside a catch handler.
void reportCurrentError(const SourceCodePos& pos);

#endif // ERRORHANDLING_H
