#include "FileChecks.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "TestSupport.h"

namespace testing_support {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

unsigned modeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool isRegular(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string linkText(const std::string& path) {
    char buffer[4096];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof(buffer));
    return n < 0 ? std::string() : std::string(buffer, n);
}

std::vector<std::string> listDir(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string findTool(const std::string& name) {
    const ProcessResult r =
            runProcess("/bin/sh", {"sh", "-c", "command -v " + name});
    return r.exitStatus == 0 ? r.out.substr(0, r.out.find('\n'))
                             : std::string();
}

std::string findFirstTool(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const std::string path = findTool(name);
        if (!path.empty()) {
            return path;
        }
    }
    return std::string();
}

} // namespace testing_support
