// The executable-path query on Linux: the kernel hands every new program the
// path it was executed by as the AT_EXECFN entry of its auxiliary vector,
// exactly the text given to the exec call.
#include "ExecutablePath.h"

#include <sys/auxv.h>

#include <cstring>

int queryExecutablePath(char* buf, std::uint32_t* bufsize) {
    const char* path = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (path == nullptr) {
        return 1;
    }
    const std::size_t needed = std::strlen(path) + 1;
    if (needed > *bufsize) {
        *bufsize = static_cast<std::uint32_t>(needed);
        return -1;
    }
    std::memcpy(buf, path, needed);
    return 0;
}
