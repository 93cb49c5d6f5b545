#include "FileUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ErrorHandling.h"
#include "FileTimes.h"
#include "PrivateFiles.h"

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

StringArray listDirectory(const std::string& path) {
    StringArray names;
    if (!listDirectory(path, names)) {
        names.clear();
    }
    return names;
}

bool listDirectory(const std::string& path, StringArray& names) {
    names.clear();
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()),
                                                  ::closedir);
    if (!dir) {
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        return false;
    }
    std::sort(names.begin(), names.end());
    return true;
}

std::string canonicalPath(const std::string& path) {
    struct FreeDeleter {
        void operator()(char* p) const { std::free(p); }
    };
    const std::unique_ptr<char, FreeDeleter> real(
            ::realpath(path.c_str(), nullptr));
    return real ? std::string(real.get()) : std::string();
}

bool readSmallFile(const std::string& path, std::size_t limit,
                   std::string& text) {
    text.clear();
    const PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    char buffer[65536];
    while (text.size() < limit) {
        const ssize_t count = ::read(fd.get(), buffer,
                                     std::min(sizeof(buffer),
                                              limit - text.size()));
        if (count == 0) {
            break;
        }
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        }
    }
    return true;
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
