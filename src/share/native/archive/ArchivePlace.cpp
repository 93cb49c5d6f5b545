#include "ArchivePlace.h"

#include <algorithm>

namespace ArchivePlace {

std::string removableRoot(const std::string& path, const StringArray& roots) {
    for (const std::string& root : roots) {
        if (path.size() > root.size() + 1
                && path.compare(0, root.size(), root) == 0
                && path[root.size()] == '/') {
            return root;
        }
    }
    return std::string();
}

std::size_t longestRuntimePath(std::size_t systemPathMax) {
    const std::size_t runtimePathMax = 2048;
    return std::min(systemPathMax, runtimePathMax) - 1;
}

} // namespace ArchivePlace
