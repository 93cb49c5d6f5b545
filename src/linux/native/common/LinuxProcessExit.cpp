// Exit handlers on Linux: the C library's on_exit hands them the status.
#include "SysInfo.h"

#include <stdlib.h>

#include <cstring>

#include "ErrorHandling.h"

namespace SysInfo {

namespace {

typedef void (*ExitHandler)(int);

// The handler travels as on_exit's argument.
void callHandler(int status, void* argument) {
    ExitHandler handler;
    std::memcpy(&handler, &argument, sizeof(handler));
    handler(status);
}

} // namespace

void atExit(void (*handler)(int status)) {
    static_assert(sizeof(handler) == sizeof(void*), "function pointers");
    void* argument;
    std::memcpy(&argument, &handler, sizeof(argument));
    if (on_exit(callHandler, argument) != 0) {
        VT_THROW("on_exit() failed");
    }
}

} // namespace SysInfo
