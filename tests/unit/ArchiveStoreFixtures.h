// What the tests of the archive's store and plans share: a store in a
// temporary home, and a process of its own that plays another start.
#ifndef ARCHIVESTOREFIXTURES_H
#define ARCHIVESTOREFIXTURES_H

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchiveStore.h"
#include "TestSupport.h"

namespace archive_fixtures {

const std::string digest = "0123456789abcdef";

inline ArchiveStore openStore(const testing_support::TempDir& home) {
    ArchiveStore store;
    std::string why;
    EXPECT_TRUE(store.open(home.path(), "cache/Demo", "/Apps/Demo", why))
            << why;
    return store;
}

// A process that claims `name` in `store` and waits until it is killed.
class Claimant {
public:
    Claimant(const ArchiveStore& store, const std::string& name) {
        int ready[2];
        EXPECT_EQ(0, pipe(ready));
        pid = fork();
        if (pid == 0) {
            const auto claimed = store.claim(name);
            (void)!write(ready[1], claimed.valid() ? "y" : "n", 1);
            pause();
            _exit(0);
        }
        char answer = 'n';
        EXPECT_EQ(1, read(ready[0], &answer, 1));
        EXPECT_EQ('y', answer);
        close(ready[0]);
        close(ready[1]);
    }
    ~Claimant() { kill(); }
    Claimant(const Claimant&) = delete;
    Claimant& operator=(const Claimant&) = delete;
    void kill() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

private:
    pid_t pid = -1;
};

} // namespace archive_fixtures

#endif // ARCHIVESTOREFIXTURES_H
