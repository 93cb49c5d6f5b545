// The launch wrapper: the launcher's one exception barrier and its logging
// set-up.
#ifndef APP_H
#define APP_H

#include <new>
#include <string>

class LogAppender;

namespace app {

/// True when the environment variable VANTRY_DEBUG is exactly "true".
bool isWithLogging();

typedef void (*LauncherFunc)();

/// Receives the short error line of a failure once it has been written on
/// standard error.
typedef void (*ErrorLineListener)(const std::string& line);

/// Sets the listener that `launch` calls after writing a failure's short
/// line on standard error; null (the default) calls nothing.
void setErrorLineListener(ErrorLineListener listener);

/// Routes diagnostics to standard error (VANTRY_DEBUG is "true") or nowhere,
/// runs `func` and returns 0, or returns 1 when it ends with an exception.
/// A failure is reported as an ERROR record and as one short line written
/// through `lastErrorLogAppender` (null selects the sink that writes it on
/// standard error).
int launch(const std::nothrow_t&, LauncherFunc func,
           LogAppender* lastErrorLogAppender = nullptr);

} // namespace app

#endif // APP_H
