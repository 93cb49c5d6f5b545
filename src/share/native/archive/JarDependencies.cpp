#include "JarDependencies.h"

#include <set>

#include "FileUtils.h"
#include "JarManifest.h"

namespace JarDependencies {

namespace {

// At most this many jars are followed: a cycle of manifests ends anyway,
// this bounds a flood of them.
const std::size_t maxJars = 10000;

// A Class-Path entry of the manifest of `jar` as a path.
std::string resolveEntry(const std::string& jar, std::string entry) {
    if (tstrings::startsWith(entry, "file:")) {
        entry = entry.substr(5);
    }
    return !entry.empty() && FileUtils::isDirSeparator(entry[0])
            ? entry
            : FileUtils::combinePath(FileUtils::dirname(jar), entry);
}

} // namespace

bool find(const StringArray& rootJars, std::string& text) {
    text.clear();
    StringArray pending = rootJars;
    std::set<std::string> seen(pending.begin(), pending.end());
    while (!pending.empty()) {
        const std::string jar = pending.back();
        pending.pop_back();
        std::string manifest;
        if (!FileUtils::isRegularFile(jar)) {
            continue;
        }
        if (!JarManifest::read(jar, manifest)) {
            return false;
        }
        for (const std::string& entry : JarManifest::classPath(manifest)) {
            const std::string dep = resolveEntry(jar, entry);
            if (seen.insert(dep).second && seen.size() < maxJars) {
                text += FileUtils::fileIdentity(dep) + "\t" + dep + "\n";
                pending.push_back(dep);
            }
        }
    }
    return true;
}

std::string busyDirectory(const std::string& text) {
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string::size_type tab = line.find('\t');
        const std::string path = tab == std::string::npos
                ? std::string() : line.substr(tab + 1);
        if (!path.empty() && !FileUtils::isRegularFile(path)
                && !FileUtils::listDirectory(path).empty()) {
            return path;
        }
    }
    return std::string();
}

bool unchanged(const std::string& text) {
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string::size_type tab = line.find('\t');
        if (tab == std::string::npos
                || FileUtils::fileIdentity(line.substr(tab + 1))
                           != line.substr(0, tab)) {
            return false;
        }
    }
    return true;
}

} // namespace JarDependencies
