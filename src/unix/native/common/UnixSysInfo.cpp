#include "SysInfo.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "ErrorHandling.h"

namespace SysInfo {

int argc = 0;
char** argv = nullptr;

StringArray getCommandArgs(CommandArgProgramNameMode mode) {
    StringArray result;
    for (int i = (mode == SKIP_PROGRAM_NAME) ? 1 : 0; i < argc; ++i) {
        const std::string arg(argv[i]);
        if (!tstrings::startsWith(arg, "-psn_")) {
            result.push_back(arg);
        }
    }
    return result;
}

std::string getEnvVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        VT_THROW(tstrings::any() << "getenv(" << name
                                 << ") failed. Variable not set");
    }
    return value;
}

std::string getEnvVariable(const std::nothrow_t&, const std::string& name,
                           const std::string& defValue) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        return defValue;
    }
    return value;
}

void setEnvVariable(const std::string& name, const std::string& value) {
    if (setenv(name.c_str(), value.c_str(), 1) != 0) {
        VT_THROW(tstrings::any() << "setenv(" << name << ") failed. Error: "
                                 << lastCRTError());
    }
}

void unsetEnvVariable(const std::string& name) {
    unsetenv(name.c_str());
}

unsigned long long fileSizeLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return ~0ull;
    }
    return static_cast<unsigned long long>(limit.rlim_cur);
}

long getProcessId() {
    return static_cast<long>(getpid());
}

} // namespace SysInfo
