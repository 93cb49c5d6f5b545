#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp")
            + "/applauncher-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    // Directories made unreadable by a test must not keep their contents.
    for (fs::recursive_directory_iterator it(dir,
                 fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink()) {
            fs::permissions(it->path(), fs::perms::owner_all,
                            fs::perm_options::add, ec);
        }
    }
    fs::remove_all(dir, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
    return dir + "/" + relative;
}

void makeDirs(const std::string& path) {
    fs::create_directories(path);
}

void writeFile(const std::string& path, const std::string& content) {
    const fs::path p(path);
    if (p.has_parent_path()) {
        fs::create_directories(p.parent_path());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void makeSymlink(const std::string& target, const std::string& link) {
    const fs::path p(link);
    if (p.has_parent_path()) {
        fs::create_directories(p.parent_path());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        throw std::runtime_error("symlink failed: " + link);
    }
}

ScopedCwd::ScopedCwd(const std::string& dir) : saved(fs::current_path()) {
    if (chdir(dir.c_str()) != 0) {
        throw std::runtime_error("cannot enter " + dir + ": "
                                 + std::strerror(errno));
    }
}

ScopedCwd::~ScopedCwd() {
    if (chdir(saved.c_str()) != 0) {
        // Every later test would run in the wrong place.
        std::fprintf(stderr, "cannot return to %s: %s\n", saved.c_str(),
                     std::strerror(errno));
        std::abort();
    }
}

std::string canonicalPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::canonical(path, ec);
    return ec ? std::string() : p.string();
}

void copyExecutable(const std::string& from, const std::string& to) {
    const fs::path p(to);
    if (p.has_parent_path()) {
        fs::create_directories(p.parent_path());
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all | fs::perms::group_read
                            | fs::perms::group_exec | fs::perms::others_read
                            | fs::perms::others_exec);
}

void ScopedEnv::set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved.push_back({name, {old != nullptr, old ? old : ""}});
    if (value) {
        setenv(name.c_str(), value, 1);
    } else {
        unsetenv(name.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        if (it->second.first) {
            setenv(it->first.c_str(), it->second.second.c_str(), 1);
        } else {
            unsetenv(it->first.c_str());
        }
    }
}

namespace {

void readAvailable(int fd, std::string& out, bool& open) {
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof(buf));
    if (n > 0) {
        out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
}

[[noreturn]] void execChild(const std::string& program,
                            const std::vector<std::string>& args,
                            const ProcessOptions& options) {
    for (const auto& var : options.env) {
        if (var.second.first) {
            setenv(var.first.c_str(), var.second.second.c_str(), 1);
        } else {
            unsetenv(var.first.c_str());
        }
    }
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
        _exit(126);
    }
    std::vector<std::string> all(options.wrapper);
    std::string path = program;
    if (!options.wrapper.empty()) {
        all.push_back(program);
        all.insert(all.end(), args.begin() + (args.empty() ? 0 : 1),
                   args.end());
        path = options.wrapper[0];
    } else {
        all = args;
    }
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    if (options.wrapper.empty()) {
        execv(path.c_str(), argv.data());
    } else {
        execvp(path.c_str(), argv.data());
    }
    _exit(127);
}

} // namespace

ProcessResult runProcess(const std::string& program,
                         const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        close(outPipe[1]);
        close(errPipe[1]);
        execChild(program, args, options);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    ProcessResult result;
    bool outOpen = true;
    bool errOpen = true;
    const auto deadline = std::chrono::steady_clock::now()
            + std::chrono::seconds(options.timeoutSeconds);
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        const int ready = poll(fds, 2, 100);
        if (ready > 0) {
            if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) {
                readAvailable(outPipe[0], result.out, outOpen);
            }
            if (errOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
                readAvailable(errPipe[0], result.err, errOpen);
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::vector<FakeJliCall> readFakeJliRecord(const std::string& path) {
    const std::string text = readFile(path);
    std::vector<FakeJliCall> calls;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t eq = text.find('=', pos);
        if (eq == std::string::npos) {
            throw std::runtime_error("damaged record in " + path);
        }
        const std::string key = text.substr(pos, eq - pos);
        std::string value;
        bool isNull = false;
        if (text.compare(eq + 1, 5, "null\n") == 0) {
            isNull = true;
            pos = eq + 6;
        } else {
            const std::size_t colon = text.find(':', eq);
            const std::size_t length =
                    std::stoul(text.substr(eq + 1, colon - eq - 1));
            value = text.substr(colon + 1, length);
            pos = colon + 1 + length + 1;
        }
        if (key == "call") {
            calls.emplace_back();
            calls.back().call = std::stoi(value);
            continue;
        }
        if (calls.empty()) {
            throw std::runtime_error("record without a call in " + path);
        }
        if (key == "arg") {
            calls.back().args.push_back(value);
        } else {
            calls.back().fields[key] = isNull ? "null" : value;
            calls.back().nullFields[key] = isNull;
        }
    }
    return calls;
}

std::string fakeJliPath() {
    return FAKE_JLI_PATH;
}

std::string noLaunchLibPath() {
    return NO_LAUNCH_LIB_PATH;
}

std::string foreignLibPath() {
    return FOREIGN_LIB_PATH;
}

std::string assemblePath() {
    return ASSEMBLE_PATH;
}

std::string sourceDir() {
    return SOURCE_DIR;
}

std::string launcherPath() {
    return APPLAUNCHER_PATH;
}

} // namespace testing_support
