// The archive's host calls on Linux: nice, SCHED_IDLE and ioprio_set, which
// the C library does not wrap.
#include "ArchiveHost.h"

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
