// The launch log on the system: the user's own directory and file opened
// through PrivateFiles, the rotation as a rename inside that directory, and
// the process's standard output and error made copies of the log's
// descriptor.
#include "LaunchLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "ErrorAlert.h"
#include "Log.h"
#include "PrivateFiles.h"

namespace {

using PrivateFiles::FileDescriptor;

const int logFlags = O_RDWR | O_APPEND | O_CREAT;
const off_t readBackLimit = 16 * 1024;

// The log of this process: set once, when standard output and error have
// been redirected to it, and kept (with a descriptor of its own, open for
// reading) until the process ends.
struct OpenLog {
    FileDescriptor file;
    std::string path;
    off_t start;
};
const OpenLog* theLog = nullptr;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

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

// Opens (creating, rotating) the log file at `where`.
FileDescriptor openLogFile(const LaunchLog::Location& where,
                           std::string& why) {
    if (where.home.empty()) {
        why = "there is no absolute home directory";
        return FileDescriptor();
    }
    const FileDescriptor dir = PrivateFiles::openDirectory(
            where.home, where.directory, true, why);
    if (!dir.valid()) {
        return FileDescriptor();
    }
    FileDescriptor file = PrivateFiles::openFile(dir.get(), where.fileName,
                                                 logFlags, 0600, why);
    if (file.valid()) {
        file = rotateIfLarge(std::move(file), dir.get(), where, why);
    }
    // Copies of the descriptor become standard output and error of the
    // runtime and of whatever it starts: plain blocking writes.
    if (file.valid() && ::fcntl(file.get(), F_SETFL, O_APPEND) != 0) {
        why = systemError("fcntl failed");
        return FileDescriptor();
    }
    return file;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string header() {
    const std::time_t now = std::time(nullptr);
    std::tm local;
    if (::localtime_r(&now, &local) == nullptr) {
        std::memset(&local, 0, sizeof(local));
    }
    return LaunchLog::headerLine(local, static_cast<long>(::getpid()));
}

// Writes the header and makes standard output and error copies of `file`;
// returns the offset at which this start's part begins, or -1.
off_t redirectTo(const FileDescriptor& file, std::string& why) {
    if (!writeAll(file.get(), header())) {
        why = systemError("the header cannot be written");
        return -1;
    }
    const off_t start = ::lseek(file.get(), 0, SEEK_CUR);
    std::fflush(stdout);
    std::fflush(stderr);
    if (start < 0 || ::dup2(file.get(), STDOUT_FILENO) < 0
            || ::dup2(file.get(), STDERR_FILENO) < 0) {
        why = systemError("redirection failed");
        return -1;
    }
    return start;
}

void openOrExplain(const std::string& home, const std::string& application,
                   const std::string& executable) {
    const LaunchLog::Location where =
            LaunchLog::locate(home, application, executable);
    std::string why;
    FileDescriptor file = openLogFile(where, why);
    const off_t start = file.valid() ? redirectTo(file, why) : -1;
    if (start < 0) {
        LOG_TRACE("No launch log" << (where.home.empty()
                                              ? std::string()
                                              : " \"" + where.path() + "\"")
                  << ": " << why);
        return;
    }
    theLog = new OpenLog{std::move(file), where.path(), start};
    LOG_TRACE("Launch log: \"" << theLog->path << "\"");
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

std::string currentPath() {
    return theLog != nullptr ? theLog->path : std::string();
}

std::string readThisStart(bool beginning) {
    struct stat st;
    if (theLog == nullptr || ::fstat(theLog->file.get(), &st) != 0) {
        return std::string();
    }
    const off_t from = beginning
            ? theLog->start
            : std::max(theLog->start, st.st_size - readBackLimit);
    const off_t to = beginning
            ? std::min(st.st_size, theLog->start + readBackLimit)
            : st.st_size;
    std::string text(static_cast<std::size_t>(std::max<off_t>(to - from, 0)),
                     '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(theLog->file.get(), &text[done],
                                  text.size() - done,
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
    return text;
}

} // namespace LaunchLog
