#include "Process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Interrupts.h"

namespace Process {

namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe(fds) != 0) {
            VT_THROW(tstrings::any() << "pipe() failed. Error: "
                                     << lastCRTError());
        }
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds[0]; }
    int writeEnd() const { return fds[1]; }
    void closeEnd(int end) {
        if (fds[end] >= 0) {
            ::close(fds[end]);
            fds[end] = -1;
        }
    }

private:
    int fds[2] = {-1, -1};
};

// Waits for the child; on an interruption, ends it first.
int waitFor(pid_t child) {
    bool stopped = false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            VT_THROW(tstrings::any() << "waitpid() failed. Error: "
                                     << lastCRTError());
        }
        if (Interrupts::received() != 0 && !stopped) {
            ::kill(child, SIGTERM);
            stopped = true;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : 128 + WTERMSIG(status);
}

// Reads the child's output until it closes its end, or until a signal
// arrives; then ends the child.
void collect(int fd, pid_t child, std::string& output) {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return;
        }
        if (Interrupts::received() != 0) {
            ::kill(child, SIGTERM);
            return;
        }
    }
}

} // namespace

Outcome run(const std::string& program, const StringArray& args,
            const StringArray* environment) {
    std::vector<char*> envp;
    if (environment != nullptr) {
        for (const std::string& entry : *environment) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    Pipe pipe;
    Interrupts::check();
    const pid_t child = static_cast<pid_t>(AssembleHost::spawn(
            program, argv.data(), environment ? envp.data() : nullptr,
            pipe.writeEnd()));
    pipe.closeEnd(1);
    Outcome outcome;
    collect(pipe.readEnd(), child, outcome.output);
    outcome.status = waitFor(child);
    Interrupts::check();
    return outcome;
}

std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    StringArray dirs;
    tstrings::split(dirs, path ? path : "", ":", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& dir : dirs) {
        const std::string candidate = FileUtils::combinePath(dir, name);
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::string();
}

std::string lastLine(const std::string& output) {
    StringArray lines;
    tstrings::split(lines, output, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->find_first_not_of(" \t\r") != std::string::npos) {
            return *it;
        }
    }
    return std::string();
}

} // namespace Process
