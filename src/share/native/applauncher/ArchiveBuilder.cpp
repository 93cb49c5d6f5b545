#include "ArchiveBuilder.h"

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
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ArchiveOptions.h"
#include "Log.h"
#include "SysInfo.h"

extern char** environ;

namespace ArchiveBuilder {

const char* const requestVariable = "VANTRY_CDS_BUILD";

namespace {

// The descriptors under which the builder inherits the lock, and the
// reading end of a pipe whose other end only the exit of the process that
// started it closes.
const int lockDescriptor = 3;
const int parentDescriptor = 4;

// The first four bytes of a static archive, in the machine's byte order.
const std::uint32_t staticArchiveMagic = 0xf00baba2;

// A dump takes 0.3 to 2.1 s as measured; one that takes this long hangs.
const int dumpSeconds = 600;

std::string randomToken() {
    unsigned char bytes[16];
    const PrivateFiles::FileDescriptor random(
            ::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    if (!random.valid()
            || ::read(random.get(), bytes, sizeof(bytes))
                       != static_cast<ssize_t>(sizeof(bytes))) {
        return std::string();
    }
    std::string token;
    for (const unsigned char b : bytes) {
        token += "0123456789abcdef"[b >> 4];
        token += "0123456789abcdef"[b & 0xf];
    }
    return token;
}

// This process's environment with the request set to `token`.
std::vector<std::string> requestEnvironment(const std::string& token) {
    const std::string prefix = std::string(requestVariable) + "=";
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) {
            env.push_back(*entry);
        }
    }
    env.push_back(prefix + token);
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
    /// every signal unblocked and at its default (the runtime blocks and
    /// ignores some).
    bool prepare(int lock, int parent) {
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

// A descriptor open for as long as this process lives (it is never closed,
// and no program started later inherits it); -1 on failure.
int untilExit(int fd) {
    return fd >= 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 ? fd : -1;
}

// Above the descriptors that the builder receives: dup2 onto itself would
// keep the close-on-exec flag.
PrivateFiles::FileDescriptor highDescriptor(int fd) {
    return PrivateFiles::FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 10));
}

bool spawnDetached(const std::string& executable, int lock,
                   const std::string& token) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return false;
    }
    const PrivateFiles::FileDescriptor reading(ends[0]);
    if (untilExit(ends[1]) < 0) {
        ::close(ends[1]);
        return false;
    }
    const PrivateFiles::FileDescriptor movedLock = highDescriptor(lock);
    const PrivateFiles::FileDescriptor movedReading =
            highDescriptor(reading.get());
    SpawnSetup setup;
    if (!movedLock.valid() || !movedReading.valid()
            || !setup.prepare(movedLock.get(), movedReading.get())) {
        return false;
    }
    std::vector<std::string> env = requestEnvironment(token);
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    std::string program = executable;
    char* argv[] = {&program[0], nullptr};
    pid_t pid;
    return ::posix_spawn(&pid, program.c_str(), &setup.actions,
                         &setup.attributes, argv, envp.data()) == 0;
}

// Returns once the process that started the builder has ended, so that
// the build takes nothing from the application's own exit.
void waitForParent() {
    char byte;
    for (;;) {
        const ssize_t n = ::read(parentDescriptor, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR)) {
            break;
        }
    }
    ::close(parentDescriptor);
}

// Closes every descriptor above the lock but `keep` (the store's): what the
// builder inherited, the runtime's and the application's files, a caller's
// pipes.
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

// The child's wait status; the child is killed when it runs too long.
int waitFor(pid_t child) {
    int status = 0;
    const timespec pause = {0, 20 * 1000 * 1000};
    for (int waited = 0; waited < dumpSeconds * 50; ++waited) {
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

// True for a regular file of the user that starts like a static archive;
// it is flushed to the disk.
bool isWholeArchive(const ArchiveStore& store, const std::string& name) {
    std::string why;
    const PrivateFiles::FileDescriptor file =
            PrivateFiles::openFile(store.fd(), name, O_RDONLY, 0, why);
    std::uint32_t magic = 0;
    return file.valid()
            && ::pread(file.get(), &magic, sizeof(magic), 0) == sizeof(magic)
            && magic == staticArchiveMagic && ::fsync(file.get()) == 0;
}

std::string describe(int status) {
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    return "signal " + std::to_string(WIFSIGNALED(status) ? WTERMSIG(status)
                                                          : 0);
}

// Runs `dump` in a child whose output goes to `output`; its wait status.
int runDump(int output, const std::function<void()>& dump) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        ::dup2(output, 1);
        ::dup2(output, 2);
        int status = 0;
        try {
            dump();
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    return waitFor(child);
}

void appendLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) < 0) {
        // The record of a failed build stays as it is.
    }
}

} // namespace

void start(const ArchiveStore& store, const std::string& digest,
           const std::string& executable) {
    try {
        const PrivateFiles::FileDescriptor lock =
                store.lock(store.name(digest, ".lock"));
        if (!lock.valid() || store.exists(store.name(digest, ".jsa"))
                || store.exists(store.name(digest, ".failed"))
                || !store.exists(store.name(digest, ".classlist"))) {
            return;
        }
        const std::string token = randomToken();
        // Every token has the same length: it replaces the last one.
        if (token.empty()
                || ::pwrite(lock.get(), token.data(), token.size(), 0)
                           != static_cast<ssize_t>(token.size())
                || !spawnDetached(executable, lock.get(), token)) {
            LOG_TRACE("Cannot start the class data archive's builder");
            return;
        }
        LOG_TRACE("Started the builder of the class data archive "
                  << store.name(digest, ".jsa"));
    } catch (...) {
        // Nothing may leave an exit handler.
    }
}

bool isRequested(const ArchiveStore& store, const std::string& token,
                 std::string& digest) {
    char text[64];
    const ssize_t size = ::pread(lockDescriptor, text, sizeof(text), 0);
    return !token.empty() && size == static_cast<ssize_t>(token.size())
            && std::string(text, static_cast<std::size_t>(size)) == token
            && PrivateFiles::isPrivateFile(lockDescriptor)
            && store.lockedDigest(lockDescriptor, digest)
            && ::flock(lockDescriptor, LOCK_EX | LOCK_NB) == 0;
}

void build(const ArchiveStore& store, const std::string& digest,
           const CfgFile& cfg, const std::string& runtimeList,
           const std::function<void()>& dump) {
    ::setsid();
    waitForParent();
    closeInheritedDescriptors(store.fd());
    if (::setpriority(PRIO_PROCESS, 0, 19) != 0) {
        // Runs at the priority it has.
    }
    const long pid = SysInfo::getProcessId();
    const std::string list = store.processName(digest, pid, ".list");
    const std::string archive = store.processName(digest, pid, ".tmp");
    const std::string failed = store.name(digest, ".failed");
    std::string recorded, dependencies;
    std::string why;
    const PrivateFiles::FileDescriptor output = PrivateFiles::openFile(
            store.fd(), failed, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600,
            why);
    if (!output.valid()) {
        return;
    }
    if (!store.read(store.name(digest, ".classlist"), recorded)
            || !store.write(list, ArchiveOptions::mergeClassLists(
                                          recorded, runtimeList))) {
        appendLine(output.get(), "No archive: the class list cannot be"
                                 " read or written");
        return;
    }
    appendLine(output.get(), "Building the class data archive:");
    const int status = runDump(output.get(), dump);
    std::string problem;
    if (status != 0 || !isWholeArchive(store, archive)) {
        problem = "the runtime ended with " + describe(status);
    } else if (!ArchiveStore::dependencies(cfg, dependencies)) {
        problem = "the manifest of a jar cannot be read";
    } else if (!store.write(store.name(digest, ".deps"), dependencies)
               || !store.rename(archive, store.name(digest, ".jsa"))) {
        problem = "it cannot be stored";
    }
    store.remove(list);
    store.remove(archive);
    if (!problem.empty()) {
        appendLine(output.get(), "No archive: " + problem);
        return;
    }
    store.sync();
    store.remove(failed);
    store.remove(store.name(digest, ".classlist"));
    store.removeOtherDigests(digest);
}

} // namespace ArchiveBuilder
