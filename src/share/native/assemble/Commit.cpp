#include "Commit.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "ErrorHandling.h"
#include "FileUtils.h"

const char* const assembleStamp = "applauncher-assemble";
const std::size_t stampLimit = 1 << 20;

namespace {

using FileUtils::combinePath;
typedef CommitSystem::Kind Kind;

const std::size_t besideLimit = 1 << 20;

// What identifies the contents of a file beside the root: its FNV-1a hash
// and its size.
std::string digestOf(const std::string& contents) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : contents) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (std::size_t i = 0; i != hex.size(); ++i) {
        hex[hex.size() - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
    }
    return hex + "-" + std::to_string(contents.size());
}

std::string besideLine(const std::string& name, const std::string& contents) {
    return "beside " + digestOf(contents) + " " + name;
}

std::string existsMessage(const std::string& dest) {
    return "\"" + dest + "\" exists: remove it, or give --replace to replace "
           "an earlier output of this command";
}

std::string notOursMessage(const std::string& dest) {
    return "\"" + dest + "\" exists and was not made by "
           "applauncher-assemble: it is left alone";
}

std::string notWrittenMessage(const std::string& dest,
                              const std::string& root) {
    return "\"" + dest + "\" exists and is not the file applauncher-assemble "
           "wrote beside \"" + root + "\": it is left alone";
}

std::string changedMessage(const std::string& dest) {
    return "\"" + dest + "\" changed since applauncher-assemble wrote it: it "
           "is left alone";
}

enum class Recorded { Yes, Changed, No };

// Whether the file at `path` is the one that `stamp` records as `name`: a
// package by its size and checksum, another file by its contents.
Recorded recordOf(CommitSystem& fs, const std::string& path,
                  const std::string& name, const std::string& stamp) {
    if (fs.kindOf(path) != Kind::File) {
        return Recorded::No;
    }
    const PackageRecords packages = stampedPackageRecords(stamp);
    if (std::any_of(packages.begin(), packages.end(),
                    [&](const PackageRecord& r) { return r.name == name; })) {
        FileIdentity identity;
        if (!fs.identify(path, identity)) {
            return Recorded::No;
        }
        const PackageProof proof = provePackage(packages, name, identity);
        return proof == PackageProof::Proven ? Recorded::Yes
                : proof == PackageProof::Changed ? Recorded::Changed
                                                 : Recorded::No;
    }
    std::string contents;
    return fs.read(path, besideLimit, contents)
                    && stampRecords(stamp, name, contents)
            ? Recorded::Yes : Recorded::No;
}

// Throws unless the file at `path` is the one that `stamp` (when `stamped`)
// records as `name`; the message names it as `dest`, beside `root`.
void checkRecorded(CommitSystem& fs, const std::string& path,
                   const std::string& name, bool stamped,
                   const std::string& stamp, const std::string& dest,
                   const std::string& root) {
    const Recorded recorded = stamped ? recordOf(fs, path, name, stamp)
                                      : Recorded::No;
    if (recorded == Recorded::Changed) {
        VT_THROW(changedMessage(dest));
    }
    if (recorded == Recorded::No) {
        VT_THROW(notWrittenMessage(dest, root));
    }
}

// The first entry of the folder `root`, or below it through real folders,
// that lies on another mount than `mount`: a mount point; "" when none.
std::string mountPointIn(CommitSystem& fs, const std::string& root,
                         const std::string& mount) {
    for (const std::string& name : fs.list(root)) {
        const std::string path = combinePath(root, name);
        if (fs.mountOf(path) != mount) {
            return path;
        }
        if (fs.kindOf(path) == Kind::Folder) {
            const std::string inner = mountPointIn(fs, path, mount);
            if (!inner.empty()) {
                return inner;
            }
        }
    }
    return std::string();
}

// An earlier output is removed once it is replaced: the removal must not
// reach into a file system mounted in it, nor unmount one.
void checkNoMountIn(CommitSystem& fs, const std::string& root,
                    const std::string& outputDir, const std::string& dest) {
    const std::string mount = fs.mountOf(root);
    const std::string point = mount != fs.mountOf(outputDir)
            ? root : mountPointIn(fs, root, mount);
    if (!point.empty()) {
        VT_THROW(tstrings::any() << "\"" << dest << "\" holds the mount "
                 "point \"" << (point == root ? dest : dest + point.substr(
                         root.size())) << "\": unmount it before replacing "
                 "the earlier output");
    }
}

std::string systemError(int error) {
    return std::strerror(error);
}

// One commit: the moves made so far, undone in reverse when one fails.
class Committer {
public:
    Committer(CommitSystem& fs, const CommitPlan& plan)
        : fs(fs), plan(plan) {}

    void run(bool& keepBuildDir) {
        try {
            place(plan.root, true);
            for (const std::string& name : plan.beside) {
                place(name, false);
            }
        } catch (const VtErrorBase& e) {
            const std::string undoErrors = undo();
            if (undoErrors.empty()) {
                throw;
            }
            keepBuildDir = true;
            VT_THROW(tstrings::any() << e.rawMessage() << "; then "
                     << undoErrors << ": what was not put back is in \""
                     << plan.buildDir << "\"");
        }
    }

private:
    enum class How { Moved, Exchanged, MovedAside };

    struct Step {
        How how;
        std::string fresh;
        std::string dest;
        std::string aside;
        /// The node of the new entry that the step put at `dest`.
        std::string placed;
    };

    void place(const std::string& name, bool isRoot) {
        const std::string fresh = combinePath(plan.buildDir, name);
        const std::string dest = combinePath(plan.outputDir, name);
        if (fs.kindOf(dest) == Kind::Missing) {
            move(fresh, dest, name);
            return;
        }
        if (!plan.replace) {
            VT_THROW(existsMessage(dest));
        }
        const std::string placed = fs.nodeOf(fresh);
        const int error = fs.exchange(fresh, dest);
        if (error == 0) {
            steps.push_back({How::Exchanged, fresh, dest, "", placed});
            checkSwappedOut(fresh, dest, name, isRoot);
        } else if (error == ENOTSUP) {
            const std::string aside =
                    combinePath(plan.buildDir, ".replaced-" + name);
            if (const int e = fs.renameNoReplace(dest, aside)) {
                VT_THROW(tstrings::any() << "Cannot move \"" << dest
                         << "\" aside: " << systemError(e));
            }
            steps.push_back({How::MovedAside, fresh, dest, aside, ""});
            checkSwappedOut(aside, dest, name, isRoot);
            move(fresh, dest, name);
        } else {
            VT_THROW(tstrings::any() << "Cannot replace \"" << dest
                     << "\": " << systemError(error));
        }
    }

    void move(const std::string& fresh, const std::string& dest,
              const std::string& name) {
        const std::string placed = fs.nodeOf(fresh);
        if (const int e = fs.renameNoReplace(fresh, dest)) {
            VT_THROW(tstrings::any() << "Cannot move the new \"" << name
                     << "\" into \"" << plan.outputDir << "\": "
                     << systemError(e));
        }
        steps.push_back({How::Moved, fresh, dest, "", placed});
    }

    // The earlier entry, now at `old`, is checked once more: the root must
    // carry the stamp, a file beside it must be recorded in that stamp.
    void checkSwappedOut(const std::string& old, const std::string& dest,
                         const std::string& name, bool isRoot) {
        if (isRoot) {
            haveOldStamp = readOutputStamp(fs, old, plan.stamp, oldStamp);
            if (!haveOldStamp) {
                VT_THROW(notOursMessage(dest));
            }
            checkNoMountIn(fs, old, plan.buildDir, dest);
        } else {
            checkRecorded(fs, old, name, haveOldStamp, oldStamp, dest,
                          combinePath(plan.outputDir, plan.root));
        }
    }

    // Undoes the steps made, latest first; the failures, or "".
    std::string undo() {
        std::string errors;
        for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
            const std::string error = undoStep(*step);
            if (!error.empty()) {
                errors += (errors.empty() ? "" : "; ") + error;
            }
        }
        steps.clear();
        return errors;
    }

    // Undoes one step; why it could not, or "". Only the entry the step
    // put at its destination goes back into the build folder, which is
    // removed: one that the user saved there since stays, also when it
    // came between the look and the move.
    std::string undoStep(const Step& step) {
        if (step.how == How::MovedAside) {
            const int error = fs.renameNoReplace(step.aside, step.dest);
            return error == 0 ? std::string() : cannotPutBack(step, error);
        }
        if (fs.nodeOf(step.dest) != step.placed) {
            return changedSince(step);
        }
        const int error = step.how == How::Moved
                ? fs.renameNoReplace(step.dest, step.fresh)
                : fs.exchange(step.fresh, step.dest);
        if (error != 0) {
            return cannotPutBack(step, error);
        }
        if (fs.nodeOf(step.fresh) != step.placed) {
            if (step.how == How::Moved) {
                fs.renameNoReplace(step.fresh, step.dest);
            } else {
                fs.exchange(step.fresh, step.dest);
            }
            return changedSince(step);
        }
        return std::string();
    }

    static std::string cannotPutBack(const Step& step, int error) {
        return "cannot put \"" + step.dest + "\" back: " + systemError(error);
    }

    static std::string changedSince(const Step& step) {
        return "\"" + step.dest + "\" changed after it was put in place and "
               "is left there";
    }

    CommitSystem& fs;
    const CommitPlan& plan;
    std::vector<Step> steps;
    std::string oldStamp;
    bool haveOldStamp = false;
};

} // namespace

bool readOutputStamp(CommitSystem& fs, const std::string& root,
               const std::string& stampPath, std::string& stamp) {
    if (fs.kindOf(root) != Kind::Folder) {
        return false;
    }
    StringArray parts;
    tstrings::split(parts, FileUtils::dirname(stampPath), "/",
                    tstrings::SPLIT_EXCLUDE_EMPTY);
    std::string path = root;
    for (const std::string& part : parts) {
        path = combinePath(path, part);
        if (fs.kindOf(path) != Kind::Folder) {
            return false;
        }
    }
    path = combinePath(root, stampPath);
    if (fs.kindOf(path) != Kind::File
            || !fs.read(path, stampLimit + 1, stamp)) {
        return false;
    }
    if (stamp.size() > stampLimit) {
        VT_THROW(tstrings::any() << "\"" << path << "\" holds more than "
                 << stampLimit << " bytes, more than a stamp of "
                 "applauncher-assemble does: the earlier output is left alone");
    }
    return (stamp == assembleStamp
                || tstrings::startsWith(stamp, std::string(assembleStamp)
                                                       + "\n"));
}

std::string stampText(const BesideFiles& beside) {
    std::string text = std::string(assembleStamp) + "\n";
    for (const auto& file : beside) {
        text += besideLine(file.first, file.second) + "\n";
    }
    return text;
}

bool stampRecords(const std::string& stamp, const std::string& name,
                  const std::string& contents) {
    StringArray lines;
    tstrings::split(lines, stamp, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    const std::string wanted = besideLine(name, contents);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i] == wanted) {
            return true;
        }
    }
    return false;
}

void checkDestinations(CommitSystem& fs, const CommitPlan& plan) {
    const std::string root = combinePath(plan.outputDir, plan.root);
    std::string stamp;
    const bool rootExists = fs.kindOf(root) != Kind::Missing;
    if (rootExists && !plan.replace) {
        VT_THROW(existsMessage(root));
    }
    const bool stamped = rootExists
            && readOutputStamp(fs, root, plan.stamp, stamp);
    if (rootExists && !stamped) {
        VT_THROW(notOursMessage(root));
    }
    if (rootExists) {
        checkNoMountIn(fs, root, plan.outputDir, root);
    }
    for (const std::string& name : plan.beside) {
        const std::string dest = combinePath(plan.outputDir, name);
        if (fs.kindOf(dest) != Kind::Missing) {
            checkRecorded(fs, dest, name, stamped, stamp, dest, root);
        }
    }
}

void commitOutput(CommitSystem& fs, const CommitPlan& plan,
                  bool& keepBuildDir) {
    keepBuildDir = false;
    checkDestinations(fs, plan);
    Committer(fs, plan).run(keepBuildDir);
}

std::string withoutBuildFolder(const std::string& message,
                               const std::string& buildDir,
                               const std::string& root) {
    std::string text;
    std::size_t from = 0;
    for (std::size_t at; !buildDir.empty()
             && (at = message.find(buildDir, from)) != std::string::npos;) {
        const bool quoted = at != 0 && message[at - 1] == '"';
        std::size_t end = at + buildDir.size();
        std::string said;
        if (message.compare(end, root.size() + 2, "/" + root + "/") == 0) {
            said = quoted ? "the new output's \"" : "the new output's ";
            end += root.size() + 2;
        } else if (message.compare(end, root.size() + 1, "/" + root) == 0
                   && (end + root.size() + 1 == message.size()
                       || std::string("\" :;,").find(
                               message[end + root.size() + 1])
                               != std::string::npos)) {
            said = "the new output";
            end += root.size() + 1;
            if (quoted && end < message.size() && message[end] == '"') {
                ++end;
            } else if (quoted) {
                said = "\"" + said;
            }
        } else if (message.compare(end, 1, "/") == 0) {
            said = quoted ? "the new \"" : "the new ";
            end += 1;
        } else {
            said = quoted ? "\"the build folder" : "the build folder";
        }
        text += message.substr(from, quoted ? at - 1 - from : at - from) + said;
        from = end;
    }
    return text + message.substr(from);
}
