// The mappings of this process on Linux: /proc/self/maps, one line a
// mapping, the file's path last (" (deleted)" appended once it is gone).
#include "MappedFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "PrivateFiles.h"

namespace MappedFiles {

namespace {

// True when the line of /proc/self/maps names a file called `fileName`.
bool namesFile(const std::string& line, const std::string& fileName) {
    static const std::string deleted = " (deleted)";
    std::string path = line;
    if (path.size() > deleted.size()
            && path.compare(path.size() - deleted.size(), deleted.size(),
                            deleted) == 0) {
        path.resize(path.size() - deleted.size());
    }
    return path.size() > fileName.size()
            && path[path.size() - fileName.size() - 1] == '/'
            && path.compare(path.size() - fileName.size(), fileName.size(),
                            fileName) == 0;
}

} // namespace

bool isMapped(const std::string& fileName) {
    const PrivateFiles::FileDescriptor maps(
            ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC));
    if (!maps.valid() || fileName.empty()) {
        return false;
    }
    std::string line;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(maps.get(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (namesFile(line, fileName)) {
                return true;
            }
            line.clear();
        }
    }
}

} // namespace MappedFiles
