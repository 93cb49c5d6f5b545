// Exit handlers on Linux: the C library's on_exit hands them the status.
#include "SysInfo.h"

#include <stdlib.h>

#include "ErrorHandling.h"

namespace SysInfo {

namespace {

void (*exitHandler)(int) = nullptr;

void callHandler(int status, void*) {
    exitHandler(status);
}

} // namespace

void atExit(void (*handler)(int status)) {
    if (exitHandler != nullptr) {
        VT_THROW("atExit() may register one handler only");
    }
    exitHandler = handler;
    if (on_exit(callHandler, nullptr) != 0) {
        VT_THROW("on_exit() failed");
    }
}

} // namespace SysInfo
