// The system's limits on the names and paths the assembly makes, checked
// before any work: a name that only fails half-way through the copy, or at
// the final rename, would waste the work and leave the user guessing.
#ifndef PATHLIMITS_H
#define PATHLIMITS_H

#include <cstddef>
#include <string>

#include "tstrings.h"

struct PathLimits {
    /// The longest file name, in bytes.
    std::size_t nameMax = 255;
    /// The longest path, in bytes, its terminating zero included.
    std::size_t pathMax = 4096;
};

/// Throws a one-line error naming `name` (the application's name) when one
/// of `paths` (relative to the absolute folder `outputDir`) has a component
/// longer than `limits.nameMax` or makes, under `outputDir`, a path too long
/// for `limits.pathMax`.
void checkPathLimits(const std::string& name, const std::string& outputDir,
                     const StringArray& paths, const PathLimits& limits);

#endif // PATHLIMITS_H
