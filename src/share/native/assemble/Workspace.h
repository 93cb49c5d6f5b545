// The temporary folder beside the output in which the assembly command
// builds, and the moves that put its results into place at the end. Until
// then nothing at the output path changes; whatever goes wrong, the folder
// and everything in it is removed.
#ifndef WORKSPACE_H
#define WORKSPACE_H

#include <string>

#include "tstrings.h"

class Workspace {
public:
    /// Creates "<outputDir>/.<name>.assemble-XXXXXX".
    Workspace(const std::string& outputDir, const std::string& name);
    /// Removes the folder with everything left in it.
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::string& path() const { return folder; }

    /// Moves each of `entries` (names in the workspace) to the same name in
    /// the output folder. An existing folder there is replaced only when
    /// `replace` is true: it is moved into the workspace first (and removed
    /// with it), and moved back when the new one cannot take its place. An
    /// existing file is replaced only when `replace` is true. SIGINT and
    /// SIGTERM wait until the moves are done.
    void commit(const StringArray& entries, bool replace);

private:
    std::string outputDir;
    std::string folder;
};

#endif // WORKSPACE_H
