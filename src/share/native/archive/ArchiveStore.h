// The files of the application's class data archive: a directory of their
// own in the user's cache, what each file is called, which of them belong
// to running processes, the record of failures, and the operations on them.
// Nothing else in the application's cache folder is listed or touched.
//
// The directory is "<executable name>.cds" in the application's cache
// directory; it is trusted only when it belongs to the user and neither
// group nor others may write it (PrivateFiles), and so is every file opened
// in it. Several launchers may share it (one image with two executables,
// two applications of the same name); every file name therefore starts with
// the launcher's id L (from its canonical path) and the digest D:
//
//   L-D.jsa               the archive
//   L-D.deps              what the archive depends on beyond the digest:
//                         the jars that manifests' Class-Path attributes
//                         name, each with its identity
//   L-D.classlist         the classes that a complete start loaded
//   L-D.lock              locked by the process that builds the archive
//   L-D.strikes           how often each kind of failure happened in a row
//   L-D.strikelock        locked while a process updates L-D.strikes
//   L-D.failed            this digest gets no archive; the text says why
//   L-D.buildlog          the runtime's output of the last failed build
//   L-D.<id>.recording    the classes that a running start loads
//   L-D.<id>.use          held by a running start that maps the archive
//   L-D.<id>.build        held by a running build: the runtime's output;
//                         with it L-D.<id>.list (the class list to dump)
//                         and L-D.<id>.tmp (the archive being written)
//   L-D.<id>.new          a file being written in place of another
//
// <id> is random, not a process id, so that processes of other PID
// namespaces or other hosts sharing the home folder never take each other's
// names. A process holds a lock (flock) on its own file for as long as it
// runs; the lock goes away with the process however it ends, so a file that
// nobody holds is what a process left behind when it crashed or was
// killed. That works across PID namespaces, and across hosts where the file
// system passes locks on.
#ifndef ARCHIVESTORE_H
#define ARCHIVESTORE_H

#include <string>
#include <vector>

#include "PrivateFiles.h"
#include "tstrings.h"

class ArchiveStore {
public:
    /// Opens the directory "<basename of executable>.cds" in the cache
    /// directory `relative` below `base`, creating what is missing below
    /// `base` (only when the user owns `base`). False, with `why`, when it
    /// is not the user's own or its path holds a character that the runtime
    /// would read as something else than a file name (":" separates
    /// archives).
    bool open(const std::string& base, const std::string& relative,
              const std::string& executable, std::string& why);

    int fd() const { return dir.get(); }
    const std::string& directory() const { return dirPath; }
    const std::string& launcher() const { return launcherId; }

    /// The name "L-D" followed by `suffix` (".jsa", ".lock", ...).
    std::string name(const std::string& digest,
                     const std::string& suffix) const;
    /// The name "L-D.<id>" followed by `suffix`.
    std::string processName(const std::string& digest, const std::string& id,
                            const std::string& suffix) const;
    /// The full path of the file `name` of the directory.
    std::string path(const std::string& name) const;

    /// A new random id for the files of one process.
    static std::string newId();

    /// True when `name` is a regular file of the user.
    bool exists(const std::string& name) const;
    /// The contents of `name` (at most 64 MiB); false when it is not a
    /// regular file of the user or cannot be read.
    bool read(const std::string& name, std::string& text) const;
    /// Replaces `name` with `text` as a whole: written to a file of its
    /// own, flushed to the disk, then renamed. False on any failure.
    bool write(const std::string& name, const std::string& text) const;
    bool rename(const std::string& from, const std::string& to) const;
    void remove(const std::string& name) const;
    /// Flushes the directory's entries to the disk.
    void sync() const;
    /// True when `name` is a regular file of the user that starts like a
    /// static archive of this machine's byte order; flushes it to the disk.
    bool isWholeArchive(const std::string& name) const;
    /// The bytes free for the user on the directory's file system.
    unsigned long long freeBytes() const;

    /// Creates `name`, which must not exist, with the id of this process
    /// in it, and holds a lock on it for as long as the result is open,
    /// which marks it as the file of a running process. No descriptor when
    /// it exists, cannot be created or locked (a read-only folder, a file
    /// system without locks), or was taken away meanwhile.
    PrivateFiles::FileDescriptor claim(const std::string& name) const;

    /// Empties a file that `claim` returned, for a text of its own written
    /// from its start; it stays claimed. False on failure.
    static bool startOver(int fd);

    /// The process id that `claim` wrote into `name`; 0 when the file holds
    /// something else (its owner wrote it over) or is gone.
    long claimant(const std::string& name) const;

    /// An exclusive lock on `name` (created when missing), for as long as
    /// the result is open; no descriptor when another process holds it.
    PrivateFiles::FileDescriptor lock(const std::string& name) const;
    /// The same, trying again while another process holds it for at most
    /// `milliseconds`; no descriptor when it cannot be created, or locked
    /// within that time.
    PrivateFiles::FileDescriptor lockWithin(const std::string& name,
                                            int milliseconds) const;

    /// The files of one process that is gone: what it was doing when it
    /// ended without cleaning up.
    struct Leftover {
        std::string digest;
        /// "use", "recording" or "build": the kind of its own file.
        std::string kind;
    };

    /// Clears away what processes of this launcher that are gone left
    /// behind (files of running processes are left alone; when locks
    /// cannot be told, nothing is removed) and returns what they were
    /// doing. `formerSelf`, when not 0, is the id of this process, which
    /// the runtime's launcher library executed again: the files of its
    /// former program were closed by that, not left behind by a crash, and
    /// are removed without being returned.
    std::vector<Leftover> sweep(long formerSelf = 0) const;

    /// The digest of this launcher's lock file that `fd` refers to; false
    /// when it refers to none.
    bool lockedDigest(int fd, std::string& digest) const;

    /// Removes this launcher's files of every other digest, except those of
    /// running processes.
    void removeOtherDigests(const std::string& digest) const;

    /// The kinds of failure that count against a digest's archive.
    enum class Strike { failedStart, crashed, refused, buildFailed,
                        buildInterrupted, listDiscarded };

    /// Counts a failure of `kind` against `digest` and returns how many of
    /// that kind happened in a row. The count is read and written under a
    /// lock of its own, so that two processes failing at once both count;
    /// the digest's lock is not waited for, and that lock only briefly: a
    /// process that holds it longer (stopped, hung) costs the count, 0.
    int addStrike(const std::string& digest, Strike kind) const;
    /// Forgets the failures of the kinds given: they were followed by a
    /// success. Takes the lock, briefly, and writes only when there is
    /// something to forget.
    void clearStrikes(const std::string& digest,
                      const std::vector<Strike>& kinds) const;

    /// The text of a strikes file after one more failure of `kind`, and the
    /// count of that kind; and after the kinds given were cleared.
    static std::string countStrike(const std::string& text, Strike kind,
                                   int& count);
    static std::string withoutStrikes(const std::string& text,
                                      const std::vector<Strike>& kinds);

    /// The parts of one of this launcher's file names; false for a name of
    /// another launcher or another shape.
    struct FileName {
        std::string digest;
        /// Empty for a file of the digest, else the process's id.
        std::string id;
        std::string kind;
    };
    static bool parseName(const std::string& name,
                          const std::string& launcherId, FileName& parsed);

private:
    /// The names in the directory, sorted; empty when it cannot be read.
    StringArray list() const;
    /// True when some process holds the lock of the process file `name`;
    /// also true when that cannot be told.
    bool isHeld(const std::string& name) const;

    PrivateFiles::FileDescriptor dir;
    std::string dirPath;
    std::string launcherId;
};

#endif // ARCHIVESTORE_H
