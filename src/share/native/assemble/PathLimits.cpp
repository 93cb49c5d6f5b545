#include "PathLimits.h"

#include "ErrorHandling.h"
#include "FileUtils.h"

void checkPathLimits(const std::string& name, const std::string& outputDir,
                     const StringArray& paths, const PathLimits& limits) {
    for (const std::string& path : paths) {
        StringArray parts;
        tstrings::split(parts, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
        for (const std::string& part : parts) {
            if (part.size() > limits.nameMax) {
                VT_THROW(tstrings::any() << "The name \"" << name
                         << "\" is too long: the file name \"" << part
                         << "\" would have " << part.size() << " bytes, "
                            "more than the " << limits.nameMax
                         << " this system takes");
            }
        }
        const std::string full = FileUtils::combinePath(outputDir, path);
        if (full.size() >= limits.pathMax) {
            VT_THROW(tstrings::any() << "The name \"" << name << "\" or the "
                     "output folder \"" << outputDir << "\" is too long: "
                     "a path of the output would have " << full.size()
                     << " bytes, more than the " << limits.pathMax - 1
                     << " this system takes");
        }
    }
}
