// Exit handlers on Linux: the C library's on_exit hands them the status and
// their argument.
#include "SysInfo.h"

#include <stdlib.h>

#include "ErrorHandling.h"

namespace SysInfo {

void atExit(void (*handler)(int status, void* context), void* context) {
    if (on_exit(handler, context) != 0) {
        VT_THROW("on_exit() failed");
    }
}

} // namespace SysInfo
