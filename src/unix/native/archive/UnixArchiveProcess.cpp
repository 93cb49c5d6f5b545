// The archive's processes on the system: posix_spawn for the detached
// builder, a pipe that tells the builder when the application has ended,
// fork for the dump.
#include "ArchiveProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PrivateFiles.h"

extern char** environ;

namespace ArchiveProcess {

namespace {

using PrivateFiles::FileDescriptor;

// The descriptors under which the builder inherits the lock, and the
// reading end of the pipe whose other end only the exit of the process
// that started it closes.
const int lockDescriptor = 3;
const int parentDescriptor = 4;

// This process's environment with `variable` set to `value`.
std::vector<std::string> environmentWith(const std::string& variable,
                                         const std::string& value) {
    const std::string prefix = variable + "=";
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) {
            env.push_back(*entry);
        }
    }
    env.push_back(prefix + value);
    return env;
}

// Owns the spawn attributes and file actions.
class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    /// Standard streams on /dev/null, `lock` as descriptor 3, `parent` as 4,
    /// `writing` closed, every signal unblocked and at its default (the
    /// runtime blocks and ignores some).
    bool prepare(int lock, int parent, int writing) {
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        return ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null",
                                                  O_RDONLY, 0) == 0
                && ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null",
                                                      O_WRONLY, 0) == 0
                && ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null",
                                                      O_WRONLY, 0) == 0
                && ::posix_spawn_file_actions_adddup2(&actions, lock,
                                                      lockDescriptor) == 0
                && ::posix_spawn_file_actions_adddup2(&actions, parent,
                                                      parentDescriptor) == 0
                && ::posix_spawn_file_actions_addclose(&actions, writing) == 0
                && ::posix_spawnattr_setsigmask(&attributes, &none) == 0
                && ::posix_spawnattr_setsigdefault(&attributes, &all) == 0
                && ::posix_spawnattr_setflags(
                           &attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)
                           == 0;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};


// Above the descriptors that the builder receives: dup2 onto itself would
// keep the close-on-exec flag.
FileDescriptor highDescriptor(int fd) {
    return FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

// Returns once the process that started the builder has ended.
void waitForParent() {
    struct stat st;
    if (::fstat(parentDescriptor, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        return;
    }
    char byte;
    for (;;) {
        const ssize_t n = ::read(parentDescriptor, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            break;
        }
    }
    ::close(parentDescriptor);
}


// The child's wait status; the child is killed when it runs too long.
int waitFor(pid_t child, int seconds) {
    int status = 0;
    const timespec pause = {0, 20 * 1000 * 1000};
    for (int waited = 0; waited < seconds * 50; ++waited) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) {
            return status;
        }
        ::nanosleep(&pause, nullptr);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return status;
}

} // namespace

void closeInheritedDescriptors(int keep) {
    std::vector<int> open;
    DIR* dir = ::opendir("/dev/fd");
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > lockDescriptor && fd != ::dirfd(dir) && fd != keep) {
            open.push_back(fd);
        }
    }
    ::closedir(dir);
    for (const int fd : open) {
        ::close(fd);
    }
}

bool startBuilder(const std::string& executable, int lock,
                  const std::string& variable, const std::string& token) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return false;
    }
    // The writing end stays open for as long as this process lives, also
    // across the runtime's launcher library executing it again, and is
    // never closed: its end tells the builder that this process is gone.
    const FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    const FileDescriptor movedLock = highDescriptor(lock);
    const FileDescriptor movedReading = highDescriptor(reading.get());
    SpawnSetup setup;
    if (!movedLock.valid() || !movedReading.valid()
            || !setup.prepare(movedLock.get(), movedReading.get(),
                              writing.get())) {
        return false;
    }
    std::vector<std::string> env = environmentWith(variable, token);
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    std::string program = executable;
    char* argv[] = {&program[0], nullptr};
    pid_t pid;
    if (::posix_spawn(&pid, program.c_str(), &setup.actions,
                      &setup.attributes, argv, envp.data()) != 0) {
        return false;
    }
    writing.release();
    return true;
}

bool takeRequest(const std::string& token, int& lock) {
    char text[64];
    const ssize_t size = ::pread(lockDescriptor, text, sizeof(text), 0);
    lock = lockDescriptor;
    return !token.empty() && size == static_cast<ssize_t>(token.size())
            && std::string(text, static_cast<std::size_t>(size)) == token
            && PrivateFiles::isPrivateFile(lockDescriptor)
            && ::flock(lockDescriptor, LOCK_EX | LOCK_NB) == 0;
}

void awaitStarter() {
    ::setsid();
    if (::setpriority(PRIO_PROCESS, 0, 19) != 0) {
        // Runs at the priority it has.
    }
    waitForParent();
}

int runInChild(int output, const std::function<void()>& body, int seconds) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        ::dup2(output, 1);
        ::dup2(output, 2);
        int status = 0;
        try {
            body();
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    return waitFor(child, seconds);
}

std::string describe(int status) {
    if (status == -1) {
        return "no child process";
    }
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    return "signal " + std::to_string(WIFSIGNALED(status) ? WTERMSIG(status)
                                                          : 0);
}

} // namespace ArchiveProcess
