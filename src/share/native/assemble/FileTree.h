// Copying file trees into the output: first a plan (every folder, file and
// link with its mode and time, made before anything is written, so that
// links that point outside are found in time), then the copy of the plan.
// Links that point inside the copied tree stay links; what happens to one
// that points outside depends on the tree: the application's content
// refuses it, a runtime gets a copy of what it points to.
#ifndef FILETREE_H
#define FILETREE_H

#include <string>
#include <vector>

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

/// What a link that points outside the tree being copied makes.
enum class OutsideLinks {
    /// An error naming the link.
    Refuse,
    /// A copy of the file or folder it names; one that names nothing is
    /// left out.
    CopyTarget,
};

/// Adds to `plan` what copying `source` into the folder `destDir` (relative
/// to the copy's root) makes: a file becomes `destDir/<its name>`, a
/// folder's contents go into `destDir`. `source` itself is followed when it
/// is a link. Throws when `source` does not exist, when the tree holds
/// something other than folders, files and links, or when a link points
/// outside and `outside` refuses it.
void planTree(const std::string& source, const std::string& destDir,
              OutsideLinks outside, TreePlan& plan);

/// Makes everything of `plan` below the existing folder `root`: folders,
/// files (their bytes, modes and modification times) and links. Nothing
/// that exists is overwritten. Stops with an error when SIGINT or SIGTERM
/// arrives (see Interrupts).
void copyTree(const TreePlan& plan, const std::string& root);

/// Removes `path` with everything below it, read-only folders too; nothing
/// happens when it does not exist. Never follows a link.
void removeTree(const std::string& path);

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
