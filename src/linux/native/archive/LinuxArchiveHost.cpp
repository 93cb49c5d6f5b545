// The archive's host calls on Linux: nice, SCHED_IDLE, ioprio_set, which
// the C library does not wrap, and the session's autogroup.
#include "ArchiveHost.h"

#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ArchiveHost {

namespace {

// From the kernel's ioprio.h.
const int ioprioWhoProcess = 1;
const int ioprioClassIdle = 3;
const int ioprioClassShift = 13;

} // namespace

void lowerPriority() {
    // Each call is worth making on its own: one the system refuses leaves
    // the others.
    if (::setpriority(PRIO_PROCESS, 0, 19) != 0) {
        // Runs at the nice value it has.
    }
    struct sched_param param = {};
    if (::sched_setscheduler(0, SCHED_IDLE, &param) != 0) {
        // Runs in the class it has.
    }
    if (::syscall(SYS_ioprio_set, ioprioWhoProcess, 0,
                  ioprioClassIdle << ioprioClassShift) != 0) {
        // Reads and writes at the I/O priority it has.
    }
    // With scheduler autogroups on, a new session is a group of its own
    // that competes with the others at its group's nice value: the ranks
    // above only order the session's own threads. Only a session leader
    // touches the group, which is then its own.
    if (::getsid(0) == ::getpid()) {
        const int group = ::open("/proc/self/autogroup", O_WRONLY | O_CLOEXEC);
        if (group >= 0) {
            if (::write(group, "19", 2) != 2) {
                // No autogroups: the ranks above are all there is.
            }
            ::close(group);
        }
    }
}

void setProcessName(const char* name) {
    ::prctl(PR_SET_NAME, name, 0, 0, 0);
}

StringArray removableVolumeRoots() {
    return {"/media", "/run/media"};
}

std::size_t pathMax() {
    return PATH_MAX;
}

} // namespace ArchiveHost
