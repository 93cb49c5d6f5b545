// The temporary folder beside the output in which the assembly command
// builds, and the commit that puts its results into place at the end (see
// Commit). Until then nothing at the output path changes; whatever goes
// wrong, the folder and everything in it is removed.
#ifndef WORKSPACE_H
#define WORKSPACE_H

#include <string>

#include "Commit.h"
#include "tstrings.h"

class Workspace {
public:
    /// Creates "<outputDir>/.<name>.assemble-XXXXXX".
    Workspace(const std::string& outputDir, const std::string& name);
    /// Removes the folder with everything left in it, unless a failed
    /// commit left there what it could not put back.
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::string& path() const { return folder; }

    /// True when a failed commit left in the folder what it could not put
    /// back; the folder then stays.
    bool kept() const { return keep; }

    /// Writes the workspace to disk, then puts the root folder `root` and
    /// the files `beside` (names in the workspace) into the output folder
    /// as commitOutput does; `stamp` is the stamp's path inside the root.
    /// A signal the command handles that arrived before the moves stops it
    /// with an error; one that arrives during them waits until they are
    /// done.
    void commit(const std::string& root, const std::string& stamp,
                const StringArray& beside, bool replace);

    /// The commit's file operations on this system.
    static CommitSystem& system();

private:
    std::string outputDir;
    std::string folder;
    bool keep = false;
};

#endif // WORKSPACE_H
