// The files of the application's class data archive: a directory of their
// own in the user's cache, what each file is called, the digest of the
// inputs an archive belongs to, and the operations on them. Nothing else in
// the application's cache folder is listed or touched.
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
//   L-D.<pid>.recording   the classes that a running start loads
//   L-D.<pid>.use         the runtime's sharing log of a running start that
//                         maps the archive; left behind, it tells that the
//                         start never reached its exit handlers
//   L-D.lock              locked by the process that builds the archive
//   L-D.failed            this digest gets no archive; the text says why
//   L-D.refused           the runtime refused an archive of this digest once
//   L-D.<pid>.tmp         the archive, and .list the class list, of a
//                         running build; .new, a file being written
#ifndef ARCHIVESTORE_H
#define ARCHIVESTORE_H

#include <string>

#include "ArchiveOptions.h"
#include "CfgFile.h"
#include "PrivateFiles.h"

class ArchiveStore {
public:
    /// Opens the directory "<basename of executable>.cds" in the cache
    /// directory `relative` below `base`, creating what is missing below
    /// `base`. False, with `why`, when it is not the user's own or its path
    /// holds a colon (the runtime splits archive paths at colons).
    bool open(const std::string& base, const std::string& relative,
              const std::string& executable, std::string& why);

    int fd() const { return dir.get(); }
    const std::string& directory() const { return dirPath; }

    /// The name "L-D" followed by `suffix` (".jsa", ".lock", ...).
    std::string name(const std::string& digest,
                     const std::string& suffix) const;
    /// The name "L-D.<pid>" followed by `suffix`.
    std::string processName(const std::string& digest, long pid,
                            const std::string& suffix) const;
    /// The full path of the file `name` of the directory.
    std::string path(const std::string& name) const;

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

    /// An exclusive lock on `name` (created when missing), for as long as
    /// the result is open; no descriptor when another process holds it.
    PrivateFiles::FileDescriptor lock(const std::string& name) const;

    /// Clears away what processes that are gone left behind: recordings,
    /// builds and half-written files of this launcher. True when a start
    /// that mapped the archive of `digest` ended without running its exit
    /// handlers (a crash, SIGKILL); its log is removed too.
    bool sweep(const std::string& digest) const;

    /// The digest of this launcher's lock file that `fd` refers to; false
    /// when it refers to none.
    bool lockedDigest(int fd, std::string& digest) const;

    /// Removes this launcher's files of every other digest, except those of
    /// running processes.
    void removeOtherDigests(const std::string& digest) const;

    /// The 16 hexadecimal digits that name the archive of these inputs: the
    /// runtime (its Java home, versions, and the identities of its modules
    /// image, JVM library, base archive and class list), every class path
    /// and module path entry with its identity (the jars of a wildcard
    /// entry, the files of a module path directory), the main jar with its
    /// identity, the main module and class, every java option and
    /// `environment`, the options that the runtime takes from variables.
    /// A file's identity is FileUtils::fileIdentity.
    static std::string digest(const CfgFile& cfg, const std::string& javaHome,
                              const ArchiveOptions::RuntimeRelease& release,
                              const std::string& environment);

    /// The jars that the manifests of the class path jars and the main jar
    /// name in their Class-Path attributes, followed transitively, each on
    /// a line of its own with its identity ("-" for a missing one). False
    /// when a manifest cannot be read.
    static bool dependencies(const CfgFile& cfg, std::string& text);
    /// True when every file in `text` (made by `dependencies`) still has
    /// its identity.
    static bool dependenciesUnchanged(const std::string& text);

private:
    PrivateFiles::FileDescriptor dir;
    std::string dirPath;
    std::string launcherId;
};

#endif // ARCHIVESTORE_H
