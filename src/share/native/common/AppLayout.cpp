#include "AppLayout.h"

#include "FileUtils.h"

namespace AppLayout {

const Paths bundle = {
    "bundle", "Contents/MacOS", "Contents/app", "Contents/runtime",
    "Contents/Home", ".dylib", "DYLD_LIBRARY_PATH",
};

const Paths image = {
    "image", "bin", "lib/app", "lib/runtime", "", ".so", "LD_LIBRARY_PATH",
};

const char* const libraryDirs[2] = {"lib", "lib/jli"};

StringArray jliCandidates(const Paths& layout) {
    StringArray candidates;
    for (const char* dir : libraryDirs) {
        candidates.push_back(FileUtils::combinePath(
                FileUtils::combinePath(layout.homeInRuntime, dir),
                std::string("libjli") + layout.librarySuffix));
    }
    return candidates;
}

std::string rootOfExecutable(const Paths& layout,
                             const std::string& executable) {
    std::string root = FileUtils::dirname(executable);
    StringArray parts;
    tstrings::split(parts, layout.executableDir, "/",
                    tstrings::SPLIT_EXCLUDE_EMPTY);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        root = FileUtils::dirname(root);
    }
    return root;
}

std::string javaHomeOfLibrary(const std::string& jliPath) {
    if (!tstrings::startsWith(FileUtils::basename(jliPath), "libjli.")) {
        return std::string();
    }
    const std::string dir = FileUtils::dirname(jliPath);
    for (const char* libraryDir : libraryDirs) {
        std::string home = dir;
        StringArray parts;
        tstrings::split(parts, libraryDir, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
        bool matches = true;
        for (auto it = parts.rbegin(); it != parts.rend() && matches; ++it) {
            matches = FileUtils::basename(home) == *it;
            home = FileUtils::dirname(home);
        }
        if (matches) {
            return home;
        }
    }
    return std::string();
}

} // namespace AppLayout
