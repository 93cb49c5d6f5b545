#include "SysInfo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ErrorHandling.h"
#include "ExecutablePath.h"
#include "FileUtils.h"

namespace SysInfo {

namespace {

// Longer chains are taken as a loop, as the system's own path resolution does.
const int maxSymbolicLinks = 40;

// Reads the target text of the link at `path` into `target`, whatever its
// length; false when readlink fails (errno tells why).
bool readLinkTarget(const std::string& path, std::string& target) {
    std::vector<char> buffer(1024, 0);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) {
            return false;
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(n));
            return true;
        }
        // The target may have been cut: read it again with more room.
        buffer.assign(buffer.size() * 2, 0);
    }
}

// Where a link at `linkPath` with the target text `target` points.
std::string resolveTarget(const std::string& linkPath,
                          const std::string& target) {
    if (target.empty() || FileUtils::isDirSeparator(target[0])) {
        return target;
    }
    std::string linkDir = FileUtils::dirname(linkPath);
    if (linkDir.empty() && !linkPath.empty()
            && FileUtils::isDirSeparator(linkPath[0])) {
        linkDir = "/";
    }
    return FileUtils::combinePath(linkDir, target);
}

// The answer of getProcessModulePath once it has been worked out; kept for
// the life of the process.
const std::string* processModulePath = nullptr;

} // namespace

std::string getProcessModulePath() {
    // Worked out once: every part of the launch derives its locations from
    // the same answer.
    if (processModulePath != nullptr) {
        return *processModulePath;
    }
    std::vector<char> buffer;
    std::uint32_t size = 0;
    for (;;) {
        const int result = queryExecutablePath(buffer.data(), &size);
        if (result == 0) {
            break;
        }
        if (result > 0) {
            VT_THROW(tstrings::any() << "_NSGetExecutablePath() failed");
        }
        buffer.resize(size, 0);
    }
    // Links of the last component first, for a clear message when one
    // dangles or loops; then every directory on the way, "." and "..".
    const std::string path = FileUtils::toAbsolutePath(getRealPath(buffer));
    const std::unique_ptr<char, void (*)(void*)> resolved(
            realpath(path.c_str(), nullptr), std::free);
    if (!resolved) {
        VT_THROW(tstrings::any() << "realpath(" << path << ") failed. Error: "
                                 << lastCRTError());
    }
    processModulePath = new std::string(resolved.get());
    return *processModulePath;
}

std::string getRealPath(const std::vector<char>& in) {
    std::string path(in.data(), in.empty() ? 0 : in.size() - 1);
    path.resize(std::min(path.size(), path.find('\0')));
    const std::string start = path;
    for (int links = 0;; ++links) {
        struct stat statData;
        if (lstat(path.c_str(), &statData) != 0) {
            VT_THROW(tstrings::any() << "lstat(" << path
                                     << ") failed. Error: " << lastCRTError());
        }
        if (!S_ISLNK(statData.st_mode)) {
            return path;
        }
        if (links == maxSymbolicLinks) {
            VT_THROW(tstrings::any() << "Failed to resolve " << '"' << start
                     << '"' << ": more than " << maxSymbolicLinks
                     << " symbolic links");
        }
        std::string target;
        if (!readLinkTarget(path, target)) {
            VT_THROW(tstrings::any() << "readlink(" << path
                                     << ") failed. Error: " << lastCRTError());
        }
        path = resolveTarget(path, target);
    }
}

} // namespace SysInfo
