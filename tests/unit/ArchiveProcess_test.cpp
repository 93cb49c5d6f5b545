// The dump's child process: limited by the CPU time it uses, not by the
// time a busy machine keeps it waiting at its lowest priority.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchiveProcess.h"

namespace {

int devNull() {
    return open("/dev/null", O_WRONLY | O_CLOEXEC);
}

} // namespace

TEST(ArchiveProcess, TheDumpIsLimitedByItsCpuTimeNotByTheWallClock) {
    const int output = devNull();
    ASSERT_GE(output, 0);
    bool timedOut = true;
    // Starved: it waits longer than it may compute, and finishes.
    int status = ArchiveProcess::runInChild(
            output, [] { sleep(2); }, 1, 60, timedOut);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << ArchiveProcess::describe(status);
    EXPECT_FALSE(timedOut);
    // Looping: it is ended once it used its CPU time.
    status = ArchiveProcess::runInChild(
            output, [] { for (volatile unsigned long i = 0;; ++i) {} }, 1, 60,
            timedOut);
    EXPECT_TRUE(WIFSIGNALED(status)
                && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))
            << ArchiveProcess::describe(status);
    EXPECT_FALSE(timedOut);
    // Hung without computing: ended at the wall-clock limit, which says so.
    status = ArchiveProcess::runInChild(
            output, [] { pause(); }, 60, 1, timedOut);
    EXPECT_TRUE(WIFSIGNALED(status)) << ArchiveProcess::describe(status);
    EXPECT_TRUE(timedOut);
    close(output);
}
