// Linux has no alert of the system's own. In its place the title and the
// text are written on standard error between two marker lines, so that the
// choice of text can be seen: the launcher asks for an alert only when the
// system started it, and then standard error is the launch log (or nothing).
// Bundles do not exist here, so the executable's name is the display name.
#include "ErrorAlert.h"

#include <cstdio>

std::string applicationDisplayName(const std::string& executableName) {
    return executableName;
}

void showErrorAlert(const std::string& title, const std::string& message) {
    try {
        const std::string text = "--- alert: " + title + " ---\n" + message
                + "\n--- end of alert ---\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    } catch (...) {
        // Out of memory: there is nothing to show it with.
    }
}
