// Exit handlers on macOS: atexit tells them nothing of the status.
#include "SysInfo.h"

#include <stdlib.h>

#include "ErrorHandling.h"

namespace SysInfo {

namespace {

void (*exitHandler)(int) = nullptr;

void callHandler() {
    exitHandler(-1);
}

} // namespace

void atExit(void (*handler)(int status)) {
    if (exitHandler != nullptr) {
        VT_THROW("atExit() may register one handler only");
    }
    exitHandler = handler;
    if (atexit(callHandler) != 0) {
        VT_THROW("atexit() failed");
    }
}

} // namespace SysInfo
