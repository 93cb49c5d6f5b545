// What one ordinary start does about the class data archive: decided before
// the runtime starts, from the files of the digest in the store, and
// settled when the process ends.
//
// A start goes one of four ways:
//   - use: the archive exists and the jars it depends on are unchanged; the
//     runtime maps it, and the start holds a file that says so until it
//     ends;
//   - record: there is none yet; the runtime records the classes it loads,
//     and at exit the list is kept for the builder, which the start starts
//     before the runtime and which waits for the start's end;
//   - wait: a recorded list waits for its builder, which is started again
//     when it is not running;
//   - none: the digest gave up, the store has no room, or the start cannot
//     mark its files as its own (a read-only folder, no locks).
//
// Nothing here may make a start worse than plain `java`: the runtime gets
// no option that names a file it has to create or that holds a character it
// interprets, so whatever the file system does, the start runs as it would
// without an archive. An archive never fails two starts in a row: a start
// that mapped it and failed, or crashed, drops it, and the next start
// records anew. No single event ends a digest's archives: failures of each
// kind are counted, a success clears the count, and only repeated failures
// of the same kind give the digest up.
#ifndef ARCHIVEPLAN_H
#define ARCHIVEPLAN_H

#include <string>

#include "ArchiveStore.h"
#include "tstrings.h"

class ArchivePlan {
public:
    enum class Way { none, use, record, wait };

    /// Decides the way of a start of `digest` with `store` (open), for a
    /// runtime of the feature release `feature`. First clears away what
    /// processes that are gone left behind, counting a start that mapped
    /// the archive and never reached its exit handlers, a recording one
    /// that never did (a discarded list) and an interrupted build. `formerSelf`: see ArchiveStore::sweep.
    static ArchivePlan decide(ArchiveStore store, const std::string& digest,
                              int feature, long formerSelf = 0);

    Way way() const { return chosen; }
    /// The runtime options of the way.
    const StringArray& options() const { return runtimeOptions; }
    /// The file name of the archive.
    std::string archiveName() const { return store.name(digest, ".jsa"); }
    const ArchiveStore& getStore() const { return store; }
    const std::string& getDigest() const { return digest; }

    /// How the process ended.
    struct Ending {
        /// The exit status; -1 where the system does not tell.
        int status = 0;
        /// JLI_Launch returned a failure.
        bool runtimeFailed = false;
        /// The runtime had the archive mapped at exit (way use only).
        bool archiveMapped = false;
        /// How long the start ran, in seconds.
        double seconds = 0;
    };

    /// True when the class list that a recording start that ended so left
    /// is complete enough to keep: a start that ended on its own, or one
    /// that a signal ended (an exit status of 128 and more: Ctrl-C, a
    /// server's SIGTERM) well after its start-up; never one whose runtime
    /// failed.
    static bool keepsList(const Ending& ending);

    /// True when the start is to start the builder, which waits for the
    /// start's end and builds what the start leaves.
    bool needsBuilder() const {
        return chosen == Way::record || chosen == Way::wait;
    }

    /// Settles the start's files when the process ends; true when a class
    /// list waits for the builder. A list that a signal cut short is
    /// counted, and repeated ones give the digest up. Never throws.
    bool finish(const Ending& ending);

    /// Gives the way up before the runtime starts: removes the start's own
    /// file, so that nothing takes it for one left behind.
    void abandon();

private:
    ArchivePlan(ArchiveStore store, const std::string& digest);

    void choose(int feature, long formerSelf);
    void countLeftovers(long formerSelf);
    bool useArchive(int feature);
    /// Counts a failure; gives the digest up after repeated ones.
    void strike(ArchiveStore::Strike kind, const std::string& why) const;
    /// Deletes the archive and what belongs to it.
    void drop(const std::string& why) const;

    ArchiveStore store;
    std::string digest;
    Way chosen = Way::none;
    StringArray runtimeOptions;
    std::string ownName;
    PrivateFiles::FileDescriptor own;
};

#endif // ARCHIVEPLAN_H
