#include "ErrorAlert.h"

#include <unistd.h>

bool isErrorAlertWanted(bool stderrIsTerminal, long parentPid) {
    return !stderrIsTerminal && parentPid == 1;
}

bool isErrorAlertWanted() {
    return isErrorAlertWanted(isatty(STDERR_FILENO) != 0,
                              static_cast<long>(getppid()));
}
