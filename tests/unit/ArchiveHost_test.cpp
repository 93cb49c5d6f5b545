// The builder's priority: the calls that put a process at the least CPU
// and I/O priority, checked in a child process of the test's own.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#endif

#include "ArchiveHost.h"

namespace {

// What the child found of its own priority, one bit for each that is set
// as asked.
int lowered() {
    int found = 0;
    errno = 0;
    if (getpriority(PRIO_PROCESS, 0) == 19 && errno == 0) {
        found |= 1;
    }
#ifdef __linux__
    if (sched_getscheduler(0) == SCHED_IDLE) {
        found |= 2;
    }
    // IOPRIO_WHO_PROCESS; the idle class, 3, in the top bits.
    if (syscall(SYS_ioprio_get, 1, 0) >> 13 == 3) {
        found |= 4;
    }
#else
    if (getpriority(PRIO_DARWIN_PROCESS, 0) != 0) {
        found |= 6;
    }
#endif
    return found;
}

} // namespace

TEST(ArchiveHost, TheBuildersPriorityIsTheLeastOfEveryKind) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ArchiveHost::lowerPriority();
        _exit(lowered());
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(7, WEXITSTATUS(status));
}
