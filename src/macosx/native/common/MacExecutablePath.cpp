// The executable-path query on macOS: the dynamic loader keeps the path the
// program was executed by and hands it out through _NSGetExecutablePath,
// whose contract is the one ExecutablePath.h states.
#include "ExecutablePath.h"

#include <mach-o/dyld.h>

int queryExecutablePath(char* buf, std::uint32_t* bufsize) {
    return _NSGetExecutablePath(buf, bufsize);
}
