// Putting an assembled output into place, all or nothing. The output is a
// root folder (the bundle or the image) and the files written beside it
// (a bundle's entitlements). Every destination is checked before the first
// move; an existing one is exchanged with the new entry in one step where
// the file system can, else moved aside and kept until the new entry is in
// place; when a later move fails, the earlier ones are undone, each undo
// step checked, and an entry that is no longer the one the commit put in
// place (the user saved another there meanwhile) is left where it is. An earlier output is replaced only when it carries the
// stamp of this command, reached through real folders, checked again on the
// very folder that was swapped out; a file beside it only when that stamp
// records it as written: by its contents, or, for a package, by its size
// and checksum (see PackageRecord).
//
// The policy works through CommitSystem, which a test can fake.
#ifndef COMMIT_H
#define COMMIT_H

#include <string>
#include <utility>
#include <vector>

#include "PackageRecord.h"
#include "tstrings.h"

/// The file operations the commit needs. Results are errno values (0 on
/// success), so that the policy decides what a failure means.
class CommitSystem {
public:
    enum class Kind { Missing, File, Folder, Link, Other };

    virtual ~CommitSystem() {}

    /// What `path` itself is; a link is not followed.
    virtual Kind kindOf(const std::string& path) = 0;

    /// At most `limit` bytes of the regular file `path`; false when it
    /// cannot be read.
    virtual bool read(const std::string& path, std::size_t limit,
                      std::string& text) = 0;

    /// The names in the folder `path`; none when it cannot be listed.
    virtual StringArray list(const std::string& path) = 0;

    /// What tells the mount that holds `path` itself (a link is not
    /// followed) from every other mount.
    virtual std::string mountOf(const std::string& path) = 0;

    /// Renames `from` to `to` unless `to` exists (EEXIST then).
    virtual int renameNoReplace(const std::string& from,
                                const std::string& to) = 0;

    /// Exchanges `a` and `b` in one step; ENOTSUP when the file system has
    /// no such step.
    virtual int exchange(const std::string& a, const std::string& b) = 0;

    /// The size and checksum of the regular file `path` (a link is not
    /// followed); false when it is none or cannot be read.
    virtual bool identify(const std::string& path, FileIdentity& identity) = 0;

    /// What tells the file or folder `path` itself (a link is not followed)
    /// from every other one, and stays with it when it is renamed within
    /// its file system; empty when there is nothing at `path`.
    virtual std::string nodeOf(const std::string& path) = 0;
};

/// The first line of the stamp file that marks an output of this command.
extern const char* const assembleStamp;

/// The most bytes a stamp holds; a larger one is refused.
extern const std::size_t stampLimit;

/// The stamp `stampPath` (a path inside the root) of the root folder at
/// `root`, reached through real folders only; false when there is none or
/// it lacks the mark. Throws a one-line refusal when it holds more than
/// stampLimit bytes. The one reader of an earlier output's stamp.
bool readOutputStamp(CommitSystem& fs, const std::string& root,
                     const std::string& stampPath, std::string& stamp);

/// Files written beside the root folder: name and contents.
typedef std::vector<std::pair<std::string, std::string>> BesideFiles;

/// The stamp's text: its first line, then one line for each file written
/// beside the root, which records it.
std::string stampText(const BesideFiles& beside);

/// True when the stamp `stamp` records the file `name` with `contents`.
bool stampRecords(const std::string& stamp, const std::string& name,
                  const std::string& contents);

struct CommitPlan {
    /// The folder that holds the new entries under their final names.
    std::string buildDir;
    /// The folder they go to.
    std::string outputDir;
    /// The root folder's name.
    std::string root;
    /// The stamp's path inside the root.
    std::string stamp;
    /// The names of the files beside the root.
    StringArray beside;
    /// Replace an earlier output of this command.
    bool replace = false;
};

/// Throws the one-line refusal when the destinations of `plan` cannot take
/// the new output: something exists there that `plan.replace` does not
/// allow replacing, that this command did not make, or that holds a mount
/// point (its removal would reach into the mounted file system).
void checkDestinations(CommitSystem& fs, const CommitPlan& plan);

/// Moves the entries of `plan.buildDir` into place; what they replace ends
/// up in `plan.buildDir`. Throws when anything is refused or fails, after
/// undoing the moves made. When an undo step fails too, `keepBuildDir` is
/// set: the build folder then holds what could not be put back, and the
/// message says where.
void commitOutput(CommitSystem& fs, const CommitPlan& plan,
                  bool& keepBuildDir);

/// `message` with the paths in the build folder `buildDir` named as parts
/// of the new output whose root folder is `root` ("the new output's
/// \"lib/x\""): the build folder is gone by the time the user reads the
/// message, and under --replace the output path would name the earlier
/// output, which the failure left untouched.
std::string withoutBuildFolder(const std::string& message,
                               const std::string& buildDir,
                               const std::string& root);

#endif // COMMIT_H
