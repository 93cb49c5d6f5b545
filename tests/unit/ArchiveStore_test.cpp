// The archive's store and the plan of a start, in a temporary directory:
// files of running processes told by their locks (a process of its own
// plays the other start), what a crash or a killed build leaves, and how
// failures are counted until a digest gives up.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchivePlan.h"
#include "ArchiveStore.h"
#include "TestSupport.h"

using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;
using Strike = ArchiveStore::Strike;
using Way = ArchivePlan::Way;

namespace {

const std::string digest = "0123456789abcdef";

ArchiveStore openStore(const TempDir& home) {
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

// A store with an archive of the digest that a start may use.
void writeArchive(const ArchiveStore& store) {
    writeFile(store.path(store.name(digest, ".jsa")), "archive");
    writeFile(store.path(store.name(digest, ".deps")), "");
}

ArchivePlan::Ending ended(int status, bool failed, bool mapped) {
    ArchivePlan::Ending ending;
    ending.status = status;
    ending.runtimeFailed = failed;
    ending.archiveMapped = mapped;
    return ending;
}

} // namespace

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

TEST(ArchivePlan, EachKindOfFailureDropsTheArchiveUntilItRepeats) {
    const struct {
        const char* what;
        ArchivePlan::Ending ending;
        int limit;
    } cases[] = {
        {"exception out of main", ended(1, true, true), 3},
        {"refused by the runtime", ended(0, false, false), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir home;
        const ArchiveStore store = openStore(home);
        const auto start = [&](const ArchivePlan::Ending& ending) {
            writeArchive(store);
            ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
            ASSERT_EQ(Way::use, plan.way());
            plan.finish(ending);
        };
        // A success in between starts the count again.
        start(c.ending);
        start(ended(0, false, true));
        for (int failure = 1; failure <= c.limit; ++failure) {
            start(c.ending);
            EXPECT_FALSE(store.exists(store.name(digest, ".jsa")));
            EXPECT_EQ(failure == c.limit,
                      store.exists(store.name(digest, ".failed")));
        }
        EXPECT_EQ(Way::none,
                  ArchivePlan::decide(openStore(home), digest, 17).way());
    }
}

TEST(ArchivePlan, AStartThatCrashedIsCountedByTheNext) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    for (int crash = 1; crash <= 3; ++crash) {
        writeArchive(store);
        // A start that maps the archive, killed.
        Claimant(store, store.processName(digest, "00000000000000dd", ".use"));
        const ArchivePlan next =
                ArchivePlan::decide(openStore(home), digest, 17);
        EXPECT_EQ(crash < 3 ? Way::record : Way::none, next.way());
        EXPECT_FALSE(store.exists(store.name(digest, ".jsa")));
    }
    EXPECT_NE(std::string::npos,
              readFile(store.path(store.name(digest, ".failed")))
                      .find("3 times in a row"));
}

TEST(ArchivePlan, ARecordingIsKeptOnlyFromACompleteStart) {
    const struct {
        int status;
        bool written;
        bool kept;
    } cases[] = {{0, true, true},    {3, true, true},  {130, true, false},
                 {143, true, false}, {0, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + (c.written ? "" : " unwritten"));
        TempDir home;
        const ArchiveStore store = openStore(home);
        ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
        ASSERT_EQ(Way::record, plan.way());
        // The runtime writes the list over the file it was given.
        const std::string option = plan.options().at(0);
        if (c.written) {
            writeFile(option.substr(option.find('=') + 1), "java/lang/Object\n");
        }
        EXPECT_EQ(c.kept, plan.finish(ended(c.status, false, false)));
        EXPECT_EQ(c.kept, store.exists(store.name(digest, ".classlist")));
        EXPECT_TRUE(store.sweep().empty());
        EXPECT_EQ(c.kept ? Way::wait : Way::record,
                  ArchivePlan::decide(openStore(home), digest, 17).way());
    }
}
