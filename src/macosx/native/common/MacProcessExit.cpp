// Exit handlers on macOS: atexit tells them nothing of the status.
#include "SysInfo.h"

#include <stdlib.h>

#include "ErrorHandling.h"

namespace SysInfo {

namespace {

typedef void (*ExitHandler)(int);

ExitHandler handlers[4];
int handlerCount = 0;

// The handlers, the last registered first, as atexit would call them.
void callHandlers() {
    while (handlerCount > 0) {
        handlers[--handlerCount](-1);
    }
}

} // namespace

void atExit(void (*handler)(int status)) {
    if (handlerCount == 4) {
        VT_THROW("atExit() takes four handlers");
    }
    if (handlerCount == 0 && atexit(callHandlers) != 0) {
        VT_THROW("atexit() failed");
    }
    handlers[handlerCount++] = handler;
}

} // namespace SysInfo
