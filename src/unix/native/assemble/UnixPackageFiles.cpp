#include "PackageArchive.h"

#include <sys/stat.h>

#include "ErrorHandling.h"

namespace {

struct stat statOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        VT_THROW(tstrings::any() << "Cannot read the attributes of \"" << path
                 << "\": " << lastCRTError());
    }
    return st;
}

} // namespace

unsigned long long fileSize(const std::string& path) {
    return static_cast<unsigned long long>(statOf(path).st_size);
}

long long modificationTime(const std::string& path) {
    return static_cast<long long>(statOf(path).st_mtime);
}
