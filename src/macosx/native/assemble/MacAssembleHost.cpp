#include "AssembleHost.h"

#include <stdio.h>
#include <stdlib.h>

namespace AssembleHost {

Target defaultTarget() {
    return Target::Bundle;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    return ::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0;
}

bool copyInKernel(int, int, const std::string&, const std::string&) {
    return false;
}

std::string userCacheDir() {
    const char* home = ::getenv("HOME");
    return home != nullptr && home[0] == '/'
            ? std::string(home) + "/Library/Caches" : std::string();
}

} // namespace AssembleHost
