#include "ContentView.h"

#include <algorithm>

#include "FileUtils.h"

namespace {

StringArray components(const std::string& path) {
    StringArray parts;
    tstrings::split(parts, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
    return parts;
}

} // namespace

bool ContentView::resolve(const std::string& path,
                          std::string& resolved) const {
    // The root's own components must start the path; the rest is resolved
    // as the system will resolve it in the copy (resolveInPlan).
    StringArray rest = components(path);
    const StringArray rootParts = components(root);
    rest.erase(std::remove(rest.begin(), rest.end(), "."), rest.end());
    if (path.empty() || path[0] != '/' || rest.size() < rootParts.size()
            || !std::equal(rootParts.begin(), rootParts.end(), rest.begin())) {
        return false;
    }
    rest.erase(rest.begin(), rest.begin() + rootParts.size());
    const std::string relative = tstrings::join(rest.begin(), rest.end(), "/");
    const std::string below = resolveInPlan(index, relative);
    // Empty is the root itself, or a path that leads nowhere.
    if (below.empty() && !normalizePath(relative).empty()) {
        return false;
    }
    resolved = FileUtils::combinePath(root, below);
    return true;
}

const TreeEntry* ContentView::entryOf(const std::string& resolved) const {
    std::string below;
    if (!pathBelow(root, resolved, below)) {
        return nullptr;
    }
    const ContentIndex::const_iterator it = index.find(below);
    return it == index.end() ? nullptr : it->second;
}

const TreeEntry* ContentView::file(const std::string& path) const {
    std::string resolved;
    if (!resolve(path, resolved)) {
        return nullptr;
    }
    const TreeEntry* entry = entryOf(resolved);
    return entry != nullptr && entry->kind == TreeEntry::File ? entry
                                                               : nullptr;
}

bool ContentView::isFolder(const std::string& path) const {
    std::string resolved, below;
    if (!resolve(path, resolved) || !pathBelow(root, resolved, below)) {
        return false;
    }
    const TreeEntry* entry = entryOf(resolved);
    if (entry != nullptr) {
        return entry->kind == TreeEntry::Directory;
    }
    // A folder above the content, such as the application directory.
    const std::string prefix = below.empty() ? below : below + "/";
    const ContentIndex::const_iterator it = index.lower_bound(prefix);
    return it != index.end() && tstrings::startsWith(it->first, prefix);
}

StringArray ContentView::jarsIn(const std::string& dir) const {
    StringArray jars;
    std::string resolved, below;
    if (!isFolder(dir) || !resolve(dir, resolved)
            || !pathBelow(root, resolved, below)) {
        return jars;
    }
    const std::string prefix = below.empty() ? below : below + "/";
    for (ContentIndex::const_iterator it = index.lower_bound(prefix);
         it != index.end() && tstrings::startsWith(it->first, prefix); ++it) {
        const std::string name = it->first.substr(prefix.size());
        const std::string path = FileUtils::combinePath(dir, name);
        if (name.find('/') == std::string::npos
                && tstrings::endsWith(name, ".jar", tstrings::IGNORE_CASE)
                && file(path) != nullptr) {
            jars.push_back(path);
        }
    }
    return jars;
}
