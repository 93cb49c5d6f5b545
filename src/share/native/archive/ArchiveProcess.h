// The processes of the class data archive: starting the builder detached
// from the application, the builder taking its request and leaving the
// application's session, and the child process in which it has the runtime
// dump the archive. The system calls are in UnixArchiveProcess.cpp.
#ifndef ARCHIVEPROCESS_H
#define ARCHIVEPROCESS_H

#include <functional>
#include <string>

namespace ArchiveProcess {

/// Starts `executable` with the one argument `argument` as the builder, at
/// once and at the lowest priority, as no child of this process: a
/// grandchild whose parent ends at once, so that the system adopts it. It
/// runs in a session of its own, in the folder "/", with its own copy of
/// this process's environment with `variable` set to `token`, the lock file
/// `lock` as descriptor 3, as descriptor 4 the reading end of a pipe whose
/// other end closes with this process (also when the program that it
/// executes ends), standard streams on /dev/null, every signal at its
/// default and unblocked, and no other descriptor. Waits only for the
/// parent that ends at once. False when it cannot be started.
bool startBuilder(const std::string& executable, const std::string& argument,
                  int lock, const std::string& variable,
                  const std::string& token);

/// The builder's side: true when descriptor 3 is a regular file of the
/// user that holds `token`, and this process now holds its lock. `lock`
/// receives the descriptor.
bool takeRequest(const std::string& token, int& lock);

/// Waits at most `seconds` until the process that started the builder has
/// ended; true when it has (also at once when descriptor 4 is no pipe),
/// false when it still runs.
bool awaitStarter(int seconds);

/// Closes every descriptor above the lock but `keep`: what the builder
/// inherited.
void closeInheritedDescriptors(int keep);

/// Runs `body` in a child process whose standard output and error go to
/// `output`, and returns its wait status (-1 when there is no child). The
/// child may use `cpuSeconds` of CPU time (then SIGXCPU, and SIGKILL
/// shortly after): a child that its priority starves of the CPU loses no
/// time that way. It is killed when it still runs after `wallSeconds`, and
/// `timedOut` says so.
int runInChild(int output, const std::function<void()>& body, int cpuSeconds,
               int wallSeconds, bool& timedOut);

/// "exit status N" or "signal N" for a wait status.
std::string describe(int status);

} // namespace ArchiveProcess

#endif // ARCHIVEPROCESS_H
