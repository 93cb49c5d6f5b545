#include "InstallDir.h"

#include <algorithm>

#include "TextRules.h"
#include "tstrings.h"

namespace {

// Folders the system and its packages share. A folder directly below
// /usr (or /usr/local) is one of them too.
const char* const systemFolders[] = {
    "/bin", "/boot", "/dev", "/etc", "/home", "/lib", "/lib32", "/lib64",
    "/libx32", "/media", "/mnt", "/opt", "/proc", "/root", "/run", "/sbin",
    "/srv", "/sys", "/tmp", "/usr", "/var", "/usr/local", "/usr/share",
    "/var/lib", "/var/opt", "/etc/opt",
};

bool isSystemFolder(const std::string& path) {
    if (std::find(std::begin(systemFolders), std::end(systemFolders), path)
            != std::end(systemFolders)) {
        return true;
    }
    for (const char* parent : {"/usr/", "/usr/local/", "/usr/share/"}) {
        const std::string prefix = parent;
        if (tstrings::startsWith(path, prefix)
                && path.find('/', prefix.size()) == std::string::npos) {
            return true;
        }
    }
    // /lib, /lib64 and the like.
    return tstrings::startsWith(path, "/lib")
            && path.find('/', 1) == std::string::npos;
}

} // namespace

std::string installDirProblem(const std::string& path) {
    if (path.empty() || path[0] != '/' || !isPlainText(path)) {
        return "the absolute path of the folder that the image is installed "
               "as is needed";
    }
    if (path.find_first_of("\"*?[%\\") != std::string::npos) {
        return "a path without '\"', '*', '?', '[', '%' and '\\' is needed";
    }
    if (path == "/" || path.back() == '/' || path.find("//") != std::string::npos
            || path.find("/./") != std::string::npos
            || path.find("/../") != std::string::npos
            || tstrings::endsWith(path, "/.") || tstrings::endsWith(path, "/..")) {
        return "a normalised path is needed: no '.', '..', empty part or "
               "trailing '/'";
    }
    if (isSystemFolder(path)) {
        return "the package would own a folder of the system: choose a "
               "folder of the application's own below it, such as /opt/<name>";
    }
    return std::string();
}
