#include "FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ErrorHandling.h"
#include "FileTimes.h"

namespace FileUtils {

namespace {

std::string timeText(const timespec& time) {
    return std::to_string(static_cast<long long>(time.tv_sec)) + "."
           + std::to_string(static_cast<long long>(time.tv_nsec));
}

} // namespace

std::string fileIdentity(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return "-";
    }
    return std::to_string(static_cast<long long>(st.st_size)) + " "
           + timeText(FileTimes::modified(st)) + " "
           + timeText(FileTimes::changed(st)) + " "
           + std::to_string(static_cast<unsigned long long>(st.st_ino));
}

bool isFileExists(const std::string& path) {
    struct stat buf;
    return stat(path.c_str(), &buf) == 0;
}

std::string toAbsolutePath(const std::string& path) {
    if (!path.empty() && isDirSeparator(path[0])) {
        return path;
    }
    // A working directory longer than the first buffer is read again into a
    // larger one rather than failing the launch.
    std::vector<char> buffer(1024, 0);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (1u << 20)) {
            VT_THROW(tstrings::any() << "getcwd() failed. Error: "
                                     << lastCRTError());
        }
        buffer.assign(buffer.size() * 4, 0);
    }
    if (buffer[0] == 0) {
        VT_THROW(tstrings::any() << "getcwd() returned empty string");
    }
    const std::string cwd(buffer.data());
    return path.empty() ? cwd : combinePath(cwd, path);
}

std::string stripExeSuffix(const std::string& path) {
    return path;
}

} // namespace FileUtils
