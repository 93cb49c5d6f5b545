// The archive's host calls on macOS: the background band of the scheduler
// and of I/O in one call.
#include "ArchiveHost.h"

#include <sys/resource.h>
#include <sys/syslimits.h>

namespace ArchiveHost {

void lowerPriority() {
    if (::setpriority(PRIO_PROCESS, 0, 19) != 0) {
        // Runs at the nice value it has.
    }
    if (::setpriority(PRIO_DARWIN_PROCESS, 0, PRIO_DARWIN_BG) != 0) {
        // Runs in the band it has.
    }
}

void setProcessName(const char*) {
    // The process name is the executable's; the arguments tell the builder.
}

StringArray removableVolumeRoots() {
    return {"/Volumes"};
}

std::size_t pathMax() {
    return PATH_MAX;
}

} // namespace ArchiveHost
