// The launch log on the system: the user's own directory and file opened
// through PrivateFiles, the turns of the starts as an exclusive flock of the
// lock file beside the log, the mark of a running start as a shared flock of
// the log, the rotation as a rename inside the log's directory, and the
// process's standard output and error made copies of the log's descriptor.
//
// flock locks belong to the open file description: the copies that become
// standard output and error, and that the runtime's child processes
// inherit, share the lock of the launcher's own descriptor, so the log
// counts as written to until the last of them is closed. Converting a lock
// (exclusive to shared and back) releases it for a moment; starts convert
// only in their turn, when no other start asks for a lock of the log.
#include "LaunchLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "ErrorAlert.h"
#include "Log.h"
#include "PrivateFiles.h"

namespace {

using PrivateFiles::FileDescriptor;

const int logFlags = O_RDWR | O_APPEND | O_CREAT;
const off_t readBackLimit = 16 * 1024;
const off_t ownPartLimit = 64 * 1024 * 1024;
const off_t scanChunk = 1024 * 1024;
// Longer than the beginning of a header, so that one across two chunks is
// found.
const off_t scanOverlap = 64;
// A turn lasts a few system calls; a start waits two seconds at most.
const int turnAttempts = 400;
const long turnPauseNanoseconds = 5 * 1000 * 1000;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool isSameFile(int dir, const std::string& name, int fd) {
    struct stat atName;
    struct stat held;
    return ::fstatat(dir, name.c_str(), &atName, AT_SYMLINK_NOFOLLOW) == 0
            && ::fstat(fd, &held) == 0 && atName.st_dev == held.st_dev
            && atName.st_ino == held.st_ino;
}

void pauseForTurn() {
    const struct timespec pause = {0, turnPauseNanoseconds};
    ::nanosleep(&pause, nullptr);
}

// This start's turn on the lock file `name` in `dir`, held while the object
// lives.
class Turn {
public:
    enum State { taken, busy, unavailable };

    Turn(int dir, const std::string& name) : result(busy) {
        for (int attempt = 0; attempt != turnAttempts; ++attempt) {
            std::string why;
            lock = PrivateFiles::openFile(dir, name, O_RDWR | O_CREAT, 0600,
                                          why);
            if (!lock.valid()) {
                result = unavailable;
                return;
            }
            if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
                // A lock file deleted or replaced meanwhile would be taken
                // by nobody else.
                if (isSameFile(dir, name, lock.get())) {
                    result = taken;
                    return;
                }
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                result = unavailable;
                lock.reset();
                return;
            } else {
                pauseForTurn();
            }
        }
        lock.reset();
    }

    State state() const { return result; }

private:
    FileDescriptor lock;
    State result;
};

// Renames the log when it has grown too large and opens a new one; keeps
// the old one when it cannot be renamed.
FileDescriptor rotateIfLarge(FileDescriptor file, int dir,
                             const LaunchLog::Location& where,
                             std::string& why) {
    struct stat st;
    if (::fstat(file.get(), &st) != 0
            || !LaunchLog::needsRotation(static_cast<std::uint64_t>(
                    st.st_size))) {
        return file;
    }
    if (::renameat(dir, where.fileName.c_str(), dir,
                   where.rotatedName.c_str()) != 0) {
        LOG_TRACE("The launch log \"" << where.path() << "\" is kept: "
                  << systemError("rename failed"));
        return file;
    }
    return PrivateFiles::openFile(dir, where.fileName, logFlags, 0600, why);
}

// Opens (creating, rotating) the log file in `dir`.
FileDescriptor openLogFile(int dir, const LaunchLog::Location& where,
                           std::string& why) {
    FileDescriptor file = PrivateFiles::openFile(dir, where.fileName,
                                                 logFlags, 0600, why);
    if (file.valid()) {
        file = rotateIfLarge(std::move(file), dir, where, why);
    }
    // Copies of the descriptor become standard output and error of the
    // runtime and of whatever it starts: plain blocking writes.
    if (file.valid() && ::fcntl(file.get(), F_SETFL, O_APPEND) != 0) {
        why = systemError("fcntl failed");
        return FileDescriptor();
    }
    return file;
}

// The bytes from `from` to `to` of `fd` into `text`; false when they cannot
// all be read.
bool readRange(int fd, off_t from, off_t to, std::string& text) {
    text.assign(static_cast<std::size_t>(std::max<off_t>(to - from, 0)),
                '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(fd, &text[done], text.size() - done,
                                  from + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return done == static_cast<std::size_t>(std::max<off_t>(to - from, 0));
}

// True when the bytes from `from` to `to` of `fd` hold another start's
// header, or cannot be read.
bool holdsOtherStart(int fd, off_t from, off_t to) {
    std::string text;
    for (off_t at = from; at < to; at += scanChunk) {
        if (!readRange(fd, at, std::min(to, at + scanChunk + scanOverlap),
                       text)
                || LaunchLog::otherStartAt(text) != text.size()) {
            return true;
        }
    }
    return false;
}

off_t sizeOf(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

std::string header() {
    const std::time_t now = std::time(nullptr);
    std::tm local;
    if (::localtime_r(&now, &local) == nullptr) {
        std::memset(&local, 0, sizeof(local));
    }
    return LaunchLog::headerLine(local, static_cast<long>(::getpid()));
}

// Makes standard output and error copies of `fd`.
bool redirectTo(int fd, std::string& why) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (::dup2(fd, STDOUT_FILENO) < 0 || ::dup2(fd, STDERR_FILENO) < 0) {
        why = systemError("redirection failed");
        return false;
    }
    return true;
}

// The log of this process: set once, when standard output and error have
// been redirected to it, and kept until the process ends.
const LaunchLog::Part* theLog = nullptr;

void openOrExplain(const std::string& home, const std::string& application,
                   const std::string& executable) {
    const LaunchLog::Location where =
            LaunchLog::locate(home, application, executable);
    std::string why;
    LaunchLog::Part part = LaunchLog::Part::open(where, header(), why);
    if (!part.valid() || !redirectTo(part.descriptor(), why)) {
        LOG_TRACE("No launch log" << (where.home.empty()
                                              ? std::string()
                                              : " \"" + where.path() + "\"")
                  << ": " << why);
        return;
    }
    theLog = new LaunchLog::Part(std::move(part));
    LOG_TRACE("Launch log: \"" << theLog->path() << "\"");
}

} // namespace

void openLaunchLog(const std::string& home, const std::string& application,
                   const std::string& executable) {
    if (theLog != nullptr || !isErrorAlertWanted()) {
        return;
    }
    try {
        openOrExplain(home, application, executable);
    } catch (...) {
        // Out of memory before the runtime has even started: go on without.
    }
}

namespace LaunchLog {

struct Part::State {
    FileDescriptor dir;
    FileDescriptor file;
    Location where;
    off_t start;
    // No other start was writing to the log when this one wrote its header.
    bool aloneAtOpen;
};

Part::Part() {}

Part::Part(std::unique_ptr<State> state) : state(std::move(state)) {}

Part::Part(Part&& other) noexcept = default;

Part& Part::operator=(Part&& other) noexcept = default;

Part::~Part() {}

int Part::descriptor() const {
    return state ? state->file.get() : -1;
}

std::string Part::path() const {
    return state ? state->where.path() : std::string();
}

Part Part::open(const Location& where, const std::string& header,
                std::string& why) {
    if (where.home.empty()) {
        why = "there is no absolute home directory";
        return Part();
    }
    std::unique_ptr<State> part(new State{
            PrivateFiles::openDirectory(where.home, where.directory, true,
                                        why),
            FileDescriptor(), where, 0, false});
    if (!part->dir.valid()) {
        return Part();
    }
    const Turn turn(part->dir.get(), where.lockName);
    if (turn.state() == Turn::busy) {
        why = "another start keeps its turn on \"" + where.lockName + "\"";
        return Part();
    }
    part->file = openLogFile(part->dir.get(), where, why);
    const int fd = part->file.get();
    if (!part->file.valid()) {
        return Part();
    }
    const bool inTurn = turn.state() == Turn::taken;
    part->aloneAtOpen = inTurn && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (!PrivateFiles::writeAll(fd, header)) {
        why = systemError("the header cannot be written");
        return Part();
    }
    part->start = ::lseek(fd, 0, SEEK_CUR);
    // In its turn no other start holds the exclusive lock, so waiting for
    // the shared one ends at once.
    if (::flock(fd, inTurn ? LOCK_SH : LOCK_SH | LOCK_NB) != 0
            || part->start < 0) {
        part->aloneAtOpen = false;
    }
    return Part(std::move(part));
}

std::string Part::readBeginning() const {
    std::string text;
    if (!state || !state->aloneAtOpen) {
        return text;
    }
    const int fd = state->file.get();
    readRange(fd, state->start,
              std::min(sizeOf(fd), state->start + readBackLimit), text);
    text.resize(otherStartAt(text));
    return text;
}

std::string Part::readEnd() const {
    std::string text;
    if (!state || !state->aloneAtOpen) {
        return text;
    }
    const int fd = state->file.get();
    off_t end;
    {
        const Turn turn(state->dir.get(), state->where.lockName);
        if (turn.state() != Turn::taken) {
            return text;
        }
        const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::flock(fd, LOCK_SH);
        end = sizeOf(fd);
        if (!alone) {
            return text;
        }
    }
    if (end - state->start > ownPartLimit
            || holdsOtherStart(fd, state->start, end)) {
        return text;
    }
    readRange(fd, std::max(state->start, end - readBackLimit), end, text);
    return text;
}

std::string currentPath() {
    return theLog != nullptr ? theLog->path() : std::string();
}

std::string readThisStart(bool beginning) {
    if (theLog == nullptr) {
        return std::string();
    }
    return beginning ? theLog->readBeginning() : theLog->readEnd();
}

} // namespace LaunchLog
