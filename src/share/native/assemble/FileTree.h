// Copying file trees into the output: first a plan (every folder, file and
// link with its mode and time, made before anything is written, so that
// links are judged in time), then the copy of the plan. Links that point
// inside the copied tree stay links; one that points outside is replaced by
// a copy of what it names, as installed packages link into shared folders.
#ifndef FILETREE_H
#define FILETREE_H

#include <map>
#include <string>
#include <vector>

#include "tstrings.h"

struct TreeEntry {
    enum Kind { Directory, File, Link };

    Kind kind;
    /// Directory, File: where the data, mode and time come from (for a file
    /// reached through a link outside the tree, the file it names).
    std::string source;
    /// Relative to the root of the copy.
    std::string dest;
    /// Link: the text of the link to make.
    std::string linkText;
    /// Permission bits (set-id and sticky bits are not kept).
    unsigned mode = 0;
    long long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
};

typedef std::vector<TreeEntry> TreePlan;

/// The file system as the planning sees it; a test fakes it.
class TreeSource {
public:
    enum class Kind { Missing, File, Folder, Link, Other, Unreadable };

    struct Info {
        Kind kind = Kind::Missing;
        /// Permission bits.
        unsigned mode = 0;
        long long mtimeSeconds = 0;
        long mtimeNanoseconds = 0;
        /// What tells one file from another (device and inode).
        std::string id;
        /// Unreadable: the system's reason.
        std::string error;
    };

    virtual ~TreeSource() {}

    /// What `path` itself is: a link is not followed.
    virtual Info examine(const std::string& path) = 0;
    /// What `path` names, links followed.
    virtual Info follow(const std::string& path) = 0;
    /// The text of the link `path`; throws when it cannot be read.
    virtual std::string readLink(const std::string& path) = 0;
    /// The canonical path of what `path` names; empty when it names nothing
    /// or the links cannot be followed.
    virtual std::string realPath(const std::string& path) = 0;
    /// The names in the folder, sorted; throws when it cannot be read.
    virtual StringArray list(const std::string& path) = 0;
};

/// The system's file system.
TreeSource& systemTree();

/// What a link that points outside the tree being copied makes: a copy of
/// the file or folder it names, made once (further links to it, or into
/// it, point at that copy). A link to "/", to a folder that holds the
/// output, or one that cannot be followed is refused, naming it.
enum class OutsideLinks {
    /// A link that names nothing or loops, inside the tree or out of it, is
    /// an error naming it (the application's content: a missing file would
    /// only show at run time).
    CopyTarget,
    /// A link that names nothing, or that loops, is left out (a runtime:
    /// Debian's JDKs link lib/src.zip to a package that is seldom
    /// installed).
    CopyExistingTarget,
};

/// Where the output goes; nothing is copied from there.
struct OutputPlace {
    /// The output folder as the system resolves it ("" for none).
    std::string folder;
    /// The name of the root folder in it (the bundle or the image).
    std::string root;
};

/// True when the resolved `path` is the output's root folder, lies below
/// it, or in a build folder of the command beside it.
bool insideOutput(const OutputPlace& output, const std::string& path);

/// A file or folder to copy, and the folder (relative to the copy's root)
/// it goes to.
struct TreeItem {
    std::string source;
    std::string destDir;
};

/// Adds to `plan` what copying each item's `source` into its `destDir`
/// makes: a file becomes `destDir/<its name>`, a folder's contents go into
/// `destDir`. `source` itself is followed when it is a link. Links that
/// point inside their tree stay links; those that point outside follow
/// `outside`, planned over all items together: of the targets, the
/// outermost are copied, each once, and the other links lead into those
/// copies. No link may lead to a folder that holds `output.folder`, nor
/// into the output (see insideOutput). Throws when a `source` does not
/// exist, when a tree holds something other than folders, files and
/// links, or when a link is refused.
void planTrees(TreeSource& fs, const std::vector<TreeItem>& items,
               OutsideLinks outside, const OutputPlace& output,
               TreePlan& plan);

/// planTrees of the one item `source`, `destDir`.
void planTree(TreeSource& fs, const std::string& source,
              const std::string& destDir, OutsideLinks outside,
              const OutputPlace& output, TreePlan& plan);

/// Makes everything of `plan` below the existing folder `root`: folders,
/// files (their bytes, modes and modification times) and links. Nothing
/// that exists is overwritten. Stops with an error when SIGINT or SIGTERM
/// arrives (see Interrupts).
void copyTree(const TreePlan& plan, const std::string& root);

/// Removes `path` with everything below it, read-only folders too; nothing
/// happens when it does not exist. Never follows a link, and never enters
/// nor changes a file system mounted below `path`: it stops with an error
/// naming the mount point instead.
void removeTree(const std::string& path);

/// `path` (relative to the root of a copy whose entries `index` holds by
/// destination) as the system resolves it once the copy is made: each
/// component that is a link of the copy replaced by its text, each ".."
/// taking away the component before it. Empty when it leads above the
/// root, through a link with an absolute text, or through links that never
/// end. When `notFolder` is given, it is set to the first path that a
/// ".." follows which is neither a folder of the copy nor holds one of its
/// entries (a file, or nothing), from which the system goes no further.
std::string resolveInPlan(const std::map<std::string, const TreeEntry*>& index,
                          const std::string& path,
                          std::string* notFolder = nullptr);

/// `path` without empty and "." components, each ".." taking away the
/// component before it (kept at the start of a relative path).
std::string normalizePath(const std::string& path);

/// True when the normalized `path` is `root` or lies below it, with
/// `below` set to the part after `root` ("" for root itself).
bool pathBelow(const std::string& root, const std::string& path,
               std::string& below);

/// The relative link text that leads from the folder `fromDir` to `to`,
/// both relative to one root ("" is the root).
std::string relativeLink(const std::string& fromDir, const std::string& to);

#endif // FILETREE_H
