// Exit handlers on macOS: atexit tells them nothing of the status and
// takes no argument, so the handlers and their contexts are kept here.
#include "SysInfo.h"

#include <stdlib.h>

#include "ErrorHandling.h"

namespace SysInfo {

namespace {

struct ExitHandler {
    void (*handler)(int, void*);
    void* context;
};

ExitHandler handlers[4];
int handlerCount = 0;

// The handlers, the last registered first, as atexit would call them.
void callHandlers() {
    while (handlerCount > 0) {
        const ExitHandler& h = handlers[--handlerCount];
        h.handler(-1, h.context);
    }
}

} // namespace

void atExit(void (*handler)(int status, void* context), void* context) {
    if (handlerCount == 4) {
        VT_THROW("atExit() takes four handlers");
    }
    if (handlerCount == 0 && atexit(callHandlers) != 0) {
        VT_THROW("atexit() failed");
    }
    handlers[handlerCount++] = ExitHandler{handler, context};
}

} // namespace SysInfo
