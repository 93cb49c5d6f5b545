#include "FileTree.h"

#include "tstrings.h"

namespace {

StringArray components(const std::string& path) {
    StringArray parts;
    tstrings::split(parts, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
    return parts;
}

} // namespace

std::string normalizePath(const std::string& path) {
    StringArray kept;
    for (const std::string& part : components(path)) {
        if (part == ".") {
            continue;
        }
        if (part == ".." && !kept.empty() && kept.back() != "..") {
            kept.pop_back();
        } else if (part != ".." || path.empty() || path[0] != '/') {
            kept.push_back(part);
        }
    }
    const std::string joined = tstrings::join(kept.begin(), kept.end(), "/");
    return !path.empty() && path[0] == '/' ? "/" + joined : joined;
}

bool pathBelow(const std::string& root, const std::string& path,
               std::string& below) {
    const std::string r = normalizePath(root);
    const std::string p = normalizePath(path);
    if (p == r) {
        below.clear();
        return true;
    }
    const std::string prefix = r == "/" ? r : r + "/";
    if (p.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    below = p.substr(prefix.size());
    return true;
}

std::string relativeLink(const std::string& fromDir, const std::string& to) {
    const StringArray from = components(normalizePath(fromDir));
    const StringArray target = components(normalizePath(to));
    std::size_t common = 0;
    while (common < from.size() && common < target.size()
           && from[common] == target[common]) {
        ++common;
    }
    StringArray parts(from.size() - common, "..");
    parts.insert(parts.end(), target.begin() + common, target.end());
    return parts.empty() ? "." : tstrings::join(parts.begin(), parts.end(),
                                                "/");
}
