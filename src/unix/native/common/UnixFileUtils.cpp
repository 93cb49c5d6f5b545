#include "FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ErrorHandling.h"

namespace FileUtils {

namespace {

std::string getCurrentDir() {
    // A working directory longer than the first buffer is read again into a
    // larger one rather than failing the launch.
    std::vector<char> buffer(1024, 0);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (1u << 20)) {
            // Reported as a failure of toAbsolutePath, the operation that
            // callers see.
            throw makeException(
                    tstrings::any() << "getcwd() failed. Error: "
                                    << lastCRTError(),
                    SourceCodePos(__FILE__, "toAbsolutePath", __LINE__));
        }
        buffer.assign(buffer.size() * 4, 0);
    }
    if (buffer[0] == 0) {
        throw makeException(
                tstrings::any() << "getcwd() returned empty string",
                SourceCodePos(__FILE__, "toAbsolutePath", __LINE__));
    }
    return std::string(buffer.data());
}

} // namespace

bool isFileExists(const std::string& path) {
    struct stat buf;
    return stat(path.c_str(), &buf) == 0;
}

std::string toAbsolutePath(const std::string& path) {
    if (path.empty()) {
        return getCurrentDir();
    }
    if (isDirSeparator(path[0])) {
        return path;
    }
    return combinePath(getCurrentDir(), path);
}

std::string stripExeSuffix(const std::string& path) {
    return path;
}

} // namespace FileUtils
