// Showing a failure to a user who started the application from Finder, the
// Dock or `open`: standard error then goes nowhere, so the one-line error is
// also shown in a native alert. The decision is a plain function of two
// facts of the process; the alert itself is the host's (ErrorAlert.cpp holds
// the decision, MacErrorAlert.cpp the macOS alert, and other hosts provide a
// `showErrorAlert` of their own, see src/linux/native/common).
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

/// Shows `message` in a modal alert titled `title` and returns when the user
/// dismisses it; does nothing on a host without alerts. Never throws.
void showErrorAlert(const std::string& title, const std::string& message);

#endif // ERRORALERT_H
