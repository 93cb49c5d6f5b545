// Showing a failure to a user who started the application from Finder, the
// Dock or `open`: standard error then goes nowhere (or into the launch log),
// so the failure is also shown in a native alert. Deciding whether to show
// one and composing its text are plain functions (ErrorAlert.cpp); the facts
// of the running process come from UnixErrorAlert.cpp; the alert itself and
// the application's display name are the host's (MacErrorAlert.cpp on macOS,
// src/linux/native/common on Linux).
#ifndef ERRORALERT_H
#define ERRORALERT_H

#include <string>

/// True when a failure should also be shown in an alert: standard error is
/// not a terminal and the parent is process 1 (the system starts
/// applications opened from Finder, the Dock or `open` as children of
/// launchd).
bool isErrorAlertWanted(bool stderrIsTerminal, long parentPid);

/// The same decision for the running process.
bool isErrorAlertWanted();

/// The text of the alert for a failure whose one-line error is `errorLine`.
/// `runtimeLines`, the last lines that the Java runtime wrote, take the
/// place of the line when there are any. When `logPath` is not empty, a
/// last paragraph names the log.
std::string errorAlertText(const std::string& errorLine,
                           const std::string& runtimeLines,
                           const std::string& logPath);

/// The application's name as the system shows it, for the alert's title:
/// on macOS the main bundle's CFBundleDisplayName, else its CFBundleName,
/// else `executableName`; on a host without bundles `executableName`.
std::string applicationDisplayName(const std::string& executableName);

/// Shows `message` in a modal alert titled `title` and returns when the user
/// dismisses it. Never throws.
void showErrorAlert(const std::string& title, const std::string& message);

#endif // ERRORALERT_H
