// The archive's store in a temporary directory: files of running
// processes told by their locks (a process of its own plays the other
// start), what a crash or a killed build leaves, and the record of
// failures.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "ArchiveStore.h"
#include "ArchiveStoreFixtures.h"
#include "TestSupport.h"

using namespace archive_fixtures;
using testing_support::TempDir;
using testing_support::writeFile;
using Strike = ArchiveStore::Strike;

TEST(ArchiveStore, FilesOfRunningProcessesStayAndLeftoversAreTold) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    const std::string use = store.processName(digest, "00000000000000aa", ".use");
    const std::string build =
            store.processName(digest, "00000000000000bb", ".build");
    const std::string list =
            store.processName(digest, "00000000000000bb", ".list");
    const std::string foreign = "ffffffffffffffff-" + digest + ".1.use";
    Claimant user(store, use);
    Claimant builder(store, build);
    writeFile(store.path(list), "classes");
    writeFile(store.path(foreign), "another launcher's");
    EXPECT_TRUE(store.sweep().empty());
    EXPECT_TRUE(store.exists(list));

    user.kill();
    builder.kill();
    const auto left = store.sweep();
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ("use", left[0].kind);
    EXPECT_EQ(digest, left[0].digest);
    EXPECT_EQ("build", left[1].kind);
    EXPECT_FALSE(store.exists(use));
    EXPECT_FALSE(store.exists(list));
    EXPECT_TRUE(store.exists(foreign));

    // What this very process left before the runtime executed it again.
    const std::string former =
            store.processName(digest, "00000000000000cc", ".recording");
    store.claim(former);
    EXPECT_TRUE(store.sweep(getpid()).empty());
    EXPECT_FALSE(store.exists(former));
}

TEST(ArchiveStore, StrikesCountInARowUntilCleared) {
    int count = 0;
    std::string text = ArchiveStore::countStrike("junk\nrefused x\n",
                                                 Strike::refused, count);
    EXPECT_EQ(1, count);
    text = ArchiveStore::countStrike(text, Strike::crashed, count);
    text = ArchiveStore::countStrike(text, Strike::refused, count);
    EXPECT_EQ(2, count);
    text = ArchiveStore::withoutStrikes(text, {Strike::refused});
    ArchiveStore::countStrike(text, Strike::crashed, count);
    EXPECT_EQ(2, count);
    ArchiveStore::countStrike(text, Strike::refused, count);
    EXPECT_EQ(1, count);
}

// Starts that fail at the same moment each count: the count is updated
// under a lock of its own.
TEST(ArchiveStore, StrikesOfProcessesFailingAtOnceAllCount) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    const int processes = 6;
    const int strikesEach = 25;
    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            const ArchiveStore own = openStore(home);
            for (int j = 0; j < strikesEach; ++j) {
                own.addStrike(digest, Strike::crashed);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_EQ(0, status);
    }
    // The digest's lock, held by a builder, does not hold the count up.
    const auto builderLock = store.lock(store.name(digest, ".lock"));
    ASSERT_TRUE(builderLock.valid());
    EXPECT_EQ(processes * strikesEach + 1,
              store.addStrike(digest, Strike::crashed));
}

namespace {

// Runs `body` in a child process that a hang cannot keep: SIGALRM ends it.
// Its exit status, or 128 and the signal.
int inChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(30);
        _exit(body());
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

// A process that holds the strikes' lock (stopped, hung) holds up no start:
// one with nothing to forget never takes the lock, and a count gives up.
TEST(ArchiveStore, AHeldStrikeLockHoldsNobodyUp) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    writeFile(store.path(store.name(digest, ".strikes")), "crashed 1\n");
    Claimant holder(store, store.name(digest, ".strikelock"));
    EXPECT_EQ(0, inChild([&] {
        store.clearStrikes(digest, {Strike::refused, Strike::failedStart});
        return 0;
    }));
    EXPECT_EQ(0, inChild([&] {
        store.clearStrikes(digest, {Strike::crashed});
        return 0;
    }));
    EXPECT_EQ(0, inChild([&] {
        return store.addStrike(digest, Strike::crashed);
    }));
    std::string text;
    ASSERT_TRUE(store.read(store.name(digest, ".strikes"), text));
    EXPECT_EQ("crashed 1\n", text);
    holder.kill();
    EXPECT_EQ(2, store.addStrike(digest, Strike::crashed));
    store.clearStrikes(digest, {Strike::crashed});
    EXPECT_FALSE(store.exists(store.name(digest, ".strikes")));
}

// A build's output file is claimed like any process file, but the log it
// becomes starts with the build's own first line.
TEST(ArchiveStore, AClaimedFileStartsOverAndStaysClaimed) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    const std::string name =
            store.processName(digest, "00000000000000ab", ".build");
    const auto held = store.claim(name);
    ASSERT_TRUE(held.valid());
    ASSERT_TRUE(ArchiveStore::startOver(held.get()));
    ASSERT_TRUE(PrivateFiles::writeAll(held.get(), "Building\n"));
    std::string text;
    ASSERT_TRUE(store.read(name, text));
    EXPECT_EQ("Building\n", text);
    EXPECT_TRUE(store.sweep().empty());
    EXPECT_TRUE(store.exists(name));
}
