// The builder's priority: the calls that put a process at the least CPU
// and I/O priority, checked in a child process of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

#ifdef __linux__
// Where the scheduler groups sessions, the builder's own session competes
// with the application's as a group: the group's rank is lowered too.
TEST(ArchiveHost, TheBuildersSessionGroupGetsTheLeastPriority) {
    if (access("/proc/self/autogroup", R_OK) != 0) {
        GTEST_SKIP() << "this kernel has no scheduler autogroups";
    }
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ends[0]);
        setsid();
        ArchiveHost::lowerPriority();
        char text[128] = {0};
        const int group = open("/proc/self/autogroup", O_RDONLY);
        const ssize_t size = group < 0 ? 0 : read(group, text, sizeof text - 1);
        (void)!write(ends[1], text, size > 0 ? static_cast<size_t>(size) : 0);
        _exit(0);
    }
    close(ends[1]);
    char text[128] = {0};
    const ssize_t size = read(ends[0], text, sizeof text - 1);
    close(ends[0]);
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_GT(size, 0);
    EXPECT_NE(nullptr, strstr(text, " nice 19")) << text;
}
#endif
