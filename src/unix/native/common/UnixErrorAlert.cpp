// The facts of the running process that decide about an alert.
#include "ErrorAlert.h"

#include <unistd.h>

bool isErrorAlertWanted() {
    // The parent first: it rules out nearly every start, and it is the
    // cheaper question.
    const long parent = static_cast<long>(getppid());
    return parent == 1 && isErrorAlertWanted(isatty(STDERR_FILENO) != 0,
                                             parent);
}
