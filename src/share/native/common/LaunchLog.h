// The per-user log of an application that the system started (from Finder,
// the Dock or `open`). Such a process has its standard output and error
// connected to nothing, so whatever the launcher and the Java runtime write
// there would be lost: they are appended to
// <home>/Library/Logs/<application>/<executable>.log instead, one header
// line first. After a failed start the alert shows the last lines that this
// start wrote, read back from the log.
//
// Several starts may write to one log at once (the application opened
// twice, a child process of an earlier start still running). Their lines
// cannot be told apart afterwards, so a start shows its lines in the alert
// only when it knows them to be its own: no other start was writing to the
// log when it began, none is writing when it reads back, and no other
// start's header lies in its part. A shared lock (flock) on the log's open
// file description, which the runtime and its child processes inherit as
// standard output and error, marks a start as writing; starts take turns
// on an exclusive lock of the file "<executable>.lock" beside the log to
// rotate the log, write their header and ask whether they are alone.
//
// The decisions (where the log lies, when it is rotated, the header, which
// lines go into the alert, where another start's part begins) are plain
// functions (LaunchLog.cpp); opening, locking, redirecting and reading back
// are a thin layer over the system (UnixLaunchLog.cpp). The log lives in the
// user's own directory and is a regular file of the user (see PrivateFiles),
// so that no other program can point it at a file the application may
// write.
#ifndef LAUNCHLOG_H
#define LAUNCHLOG_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

/// Appends standard output and standard error of this process to the log of
/// the application when the system started the process (the rule of
/// `isErrorAlertWanted`), after renaming a log of more than 10 MiB to
/// "<executable>.1.log" and writing the header line. `home` is the user's
/// home directory, `applicationName` names the log directory (the package
/// name, else the executable's name) and `executableName` the file. When the
/// log cannot be used (no home, a file or link in the way, a directory or
/// file of another user or writable by others, a full disk), nothing
/// changes and a TRACE record says why. Call it once, before the runtime
/// starts. Never throws.
void openLaunchLog(const std::string& home, const std::string& applicationName,
                   const std::string& executableName);

namespace LaunchLog {

/// Where a log lies: the directory `directory` below the home directory
/// `home`, and in it the file `fileName`, renamed to `rotatedName` when it
/// has grown too large, and the lock file `lockName` on which starts take
/// turns.
struct Location {
    std::string home;
    std::string directory;
    std::string fileName;
    std::string rotatedName;
    std::string lockName;

    /// The log file's absolute path.
    std::string path() const;
};

/// The log of `executableName` for the application `applicationName`: the
/// directory Library/Logs/<applicationName> below `home`, the files
/// "<executableName>.log", "<executableName>.1.log" and
/// "<executableName>.lock". Empty fields when
/// `home` is not an absolute path or a name is empty.
Location locate(const std::string& home, const std::string& applicationName,
                const std::string& executableName);

/// True when a log of `size` bytes is to be renamed before a start appends
/// to it: it is larger than 10 MiB.
bool needsRotation(std::uint64_t size);

/// The line, with its line feed, that opens the part of a start: the local
/// date and time `when` with the offset from UTC, and the process id.
std::string headerLine(const std::tm& when, long processId);

/// Where in `written`, what a log received after a start's header, the
/// header of another start begins; `written.size()` when nowhere. Every
/// start writes its header before anything else, so what lies before it is
/// the start's own when no other start was writing to the log as it began.
std::size_t otherStartAt(const std::string& written);

/// The lines for the alert out of `written`, what a start wrote to its log
/// after the header: its last lines, at most 10 and at most 2,000
/// characters in all, joined by line feeds. The launcher's own `errorLine`
/// at the end, which repeats the failure in general terms, and empty lines
/// at the end are left out. A last line longer than the limit is cut to its
/// beginning, marked with "...". Empty when nothing remains.
std::string pickAlertLines(const std::string& written,
                           const std::string& errorLine);

/// True when `written`, the beginning of what a start wrote to its log after
/// the header, shows that the runtime could not start the application and
/// ended the process itself (where JLI_Launch never returns): its first
/// line after the runtime's own log records, warnings and "Picked up" notes
/// is the runtime's error ("Error: Could not find or load main class
/// ...", "Error: LinkageError occurred while loading main class ...",
/// "Error occurred during initialization of boot layer" for a module it
/// cannot resolve), or a line says that the runtime could not create the
/// Java virtual machine (an invalid or unknown option). The runtime writes
/// the first kind in the user's language; only the English texts are
/// recognised.
bool reportsFailedStart(const std::string& written);

/// One start's part of a log, from the end of its header on. While the
/// part (or a copy of its descriptor, in this or a child process) lives,
/// the log counts as written to by a running start.
class Part {
public:
    /// No part.
    Part();
    Part(Part&& other) noexcept;
    Part& operator=(Part&& other) noexcept;
    ~Part();

    /// Opens the log at `where` for a start, creating its directory and
    /// file when they are missing: in this start's turn, renames a log of
    /// more than 10 MiB to `rotatedName` (replacing the older one) and
    /// appends `header`. A start that cannot take turns (no locks on this
    /// file system, no usable lock file) still gets its part but is never
    /// sure of its lines; one that does not get its turn within two seconds
    /// gets none. When there is no part, `why` says why.
    static Part open(const Location& where, const std::string& header,
                     std::string& why);

    bool valid() const { return state != nullptr; }
    /// The log's descriptor (close-on-exec, blocking writes, appending).
    int descriptor() const;
    /// The log file's absolute path.
    std::string path() const;

    /// The beginning of the part (its first 16 KiB at most) up to another
    /// start's header: the start's own lines. Empty when another start was
    /// writing to the log as this one began, or it cannot be read.
    std::string readBeginning() const;

    /// The end of the part (its last 16 KiB at most) when all of the part
    /// is the start's own: no other start was writing as it began, none is
    /// writing now, and no other header lies in the part (of 64 MiB at
    /// most). Empty otherwise, or when it cannot be read.
    std::string readEnd() const;

private:
    struct State;
    explicit Part(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};

/// The path of the log that this process writes to; empty when there is
/// none.
std::string currentPath();

/// What this start has surely written to its log since the header (see
/// `Part`): its end, or with `beginning` its beginning; empty when there is
/// no log, it cannot be read, or this start cannot be sure of its lines.
std::string readThisStart(bool beginning = false);

} // namespace LaunchLog

#endif // LAUNCHLOG_H
