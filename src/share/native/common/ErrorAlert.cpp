#include "ErrorAlert.h"

bool isErrorAlertWanted(bool stderrIsTerminal, long parentPid) {
    return !stderrIsTerminal && parentPid == 1;
}

std::string errorAlertText(const std::string& errorLine,
                           const std::string& runtimeLines,
                           const std::string& logPath) {
    std::string text = runtimeLines.empty()
            ? errorLine
            : "The Java runtime reported:\n\n" + runtimeLines;
    if (!logPath.empty()) {
        text += "\n\nLog: " + logPath;
    }
    return text;
}
