#include "ExecutablePath.h"

#include <mach-o/dyld.h>

int queryExecutablePath(char* buf, std::uint32_t* bufsize) {
    return _NSGetExecutablePath(buf, bufsize);
}
