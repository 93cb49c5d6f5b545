// The archive's processes on the system: a double fork and exec for the
// detached builder, a pipe that tells the builder when the application has
// ended, fork for the dump.
#include "ArchiveProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

#include "ArchiveHost.h"
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

// Above the descriptors that the builder receives: dup2 onto itself would
// keep the close-on-exec flag.
FileDescriptor highDescriptor(int fd) {
    return FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

// Reads `fd` until its end, which for the pipe comes when the start ends.
void readToEnd(int fd) {
    char byte;
    for (;;) {
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return;
        }
    }
}

// The child's wait status; the child is killed when it runs too long.
int waitFor(pid_t child, int seconds, bool& timedOut) {
    int status = 0;
    timedOut = false;
    const timespec pause = {0, 20 * 1000 * 1000};
    for (long waited = 0; waited < seconds * 50L; ++waited) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) {
            return status;
        }
        ::nanosleep(&pause, nullptr);
    }
    timedOut = true;
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return status;
}

// The descriptors open in this process, standard streams included.
std::vector<int> openDescriptors() {
    std::vector<int> open;
    DIR* dir = ::opendir("/dev/fd");
    if (dir == nullptr) {
        return open;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if ((fd > 0 || entry->d_name[0] == '0') && fd != ::dirfd(dir)) {
            open.push_back(fd);
        }
    }
    ::closedir(dir);
    return open;
}

// The grandchild: leaves the session, the start's folder and the start's
// descriptors, puts its standard streams on /dev/null and every signal at
// its default, lowers its priority to the least and executes the builder
// at once, so that no process that carries the application's command line
// lingers. The lock becomes descriptor 3 and the pipe's reading end
// descriptor 4.
[[noreturn]] void execBuilder(const std::vector<int>& inherited, int lock,
                              int reading, char* const argv[],
                              char* const envp[]) {
    for (const int fd : inherited) {
        if (fd != lock && fd != reading) {
            ::close(fd);
        }
    }
    ::setsid();
    if (::chdir("/") != 0) {
        ::_exit(127);
    }
    ArchiveHost::lowerPriority();
    struct sigaction byDefault;
    std::memset(&byDefault, 0, sizeof byDefault);
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &byDefault, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0
            || ::dup2(null, 2) < 0) {
        ::_exit(127);
    }
    if (null > 2) {
        ::close(null);
    }
    if (::dup2(lock, lockDescriptor) < 0
            || ::dup2(reading, parentDescriptor) < 0) {
        ::_exit(127);
    }
    ::close(lock);
    ::close(reading);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

// Waits for the child `pid`, whatever signals arrive; its wait status.
int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

} // namespace

void closeInheritedDescriptors(int keep) {
    for (const int fd : openDescriptors()) {
        if (fd > lockDescriptor && fd != keep) {
            ::close(fd);
        }
    }
}

bool startBuilder(const std::string& executable, const std::string& argument,
                  int lock, const std::string& variable,
                  const std::string& token) {
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
    if (!movedLock.valid() || !movedReading.valid()) {
        return false;
    }
    // Everything the child uses is made here: between fork and exec it
    // only makes system calls.
    const std::vector<int> inherited = openDescriptors();
    std::vector<std::string> env = environmentWith(variable, token);
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    std::string program = executable;
    std::string word = argument;
    char* argv[] = {&program[0], &word[0], nullptr};
    const pid_t pid = ::fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        const pid_t builder = ::fork();
        if (builder == 0) {
            execBuilder(inherited, movedLock.get(), movedReading.get(), argv,
                        envp.data());
        }
        ::_exit(builder < 0 ? 1 : 0);
    }
    const int status = reap(pid);
    writing.release();
    return status == 0;
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

bool awaitStarter(int seconds) {
    struct stat st;
    if (::fstat(parentDescriptor, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        return true;
    }
    struct pollfd pipeEnd = {parentDescriptor, POLLIN, 0};
    const int ready = ::poll(&pipeEnd, 1, seconds * 1000);
    if (ready < 0 && errno == EINTR) {
        return false;
    }
    if (ready != 0) {
        // Nothing is ever written: readable means the other end closed.
        readToEnd(parentDescriptor);
        return true;
    }
    return false;
}

int runInChild(int output, const std::function<void()>& body, int cpuSeconds,
               int wallSeconds, bool& timedOut) {
    timedOut = false;
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        const struct rlimit cpu = {static_cast<rlim_t>(cpuSeconds),
                                   static_cast<rlim_t>(cpuSeconds) + 5};
        if (::setrlimit(RLIMIT_CPU, &cpu) != 0) {
            // Only the wall-clock limit holds.
        }
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
    return waitFor(child, wallSeconds, timedOut);
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
