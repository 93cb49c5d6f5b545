// The plan of a start in a temporary store: which way a start goes, what
// it keeps at its end, and how failures are counted until a digest gives
// up.
#include <gtest/gtest.h>

#include <unistd.h>

#include "ArchivePlan.h"
#include "ArchiveStore.h"
#include "ArchiveStoreFixtures.h"
#include "TestSupport.h"

using namespace archive_fixtures;
using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;
using Strike = ArchiveStore::Strike;
using Way = ArchivePlan::Way;

namespace {

// A store with an archive of the digest that a start may use.
void writeArchive(const ArchiveStore& store) {
    writeFile(store.path(store.name(digest, ".jsa")), "archive");
    writeFile(store.path(store.name(digest, ".deps")), "");
}

ArchivePlan::Ending ended(int status, bool failed, bool mapped,
                          double seconds = 1) {
    ArchivePlan::Ending ending;
    ending.status = status;
    ending.runtimeFailed = failed;
    ending.archiveMapped = mapped;
    ending.seconds = seconds;
    return ending;
}

} // namespace

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

TEST(ArchivePlan, ARecordingIsKeptFromAStartThatLoadedWhatItLoads) {
    // A signal that ends a start half-way through its start-up cuts its
    // list short; a server stopped with SIGTERM or a tool stopped with
    // Ctrl-C after a long run has loaded its classes.
    const struct {
        int status;
        double seconds;
        bool written;
        bool kept;
    } cases[] = {{0, 0.5, true, true},    {3, 0.5, true, true},
                 {130, 2, true, false},   {143, 2, true, false},
                 {143, 60, true, true},   {130, 3600, true, true},
                 {0, 60, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " after "
                     + std::to_string(c.seconds) + " s"
                     + (c.written ? "" : " unwritten"));
        TempDir home;
        const ArchiveStore store = openStore(home);
        ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
        ASSERT_EQ(Way::record, plan.way());
        // The runtime writes the list over the file it was given.
        const std::string option = plan.options().at(0);
        if (c.written) {
            writeFile(option.substr(option.find('=') + 1), "java/lang/Object\n");
        }
        EXPECT_EQ(c.kept,
                  plan.finish(ended(c.status, false, false, c.seconds)));
        EXPECT_EQ(c.kept, store.exists(store.name(digest, ".classlist")));
        EXPECT_TRUE(store.sweep().empty());
        EXPECT_EQ(c.kept ? Way::wait : Way::record,
                  ArchivePlan::decide(openStore(home), digest, 17).way());
    }
    // A runtime that failed left no list worth keeping, however long it ran.
    EXPECT_FALSE(ArchivePlan::keepsList(ended(1, true, false, 3600)));
}

TEST(ArchivePlan, StartsThatASignalEndsEarlyStopTheRecordingAfterAFew) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    const auto recordAndEnd = [&](int status, double seconds) {
        ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
        if (plan.way() != Way::record) {
            return false;
        }
        const std::string option = plan.options().at(0);
        writeFile(option.substr(option.find('=') + 1), "java/lang/Object\n");
        plan.finish(ended(status, false, false, seconds));
        return true;
    };
    // A kept list in between starts the count again.
    EXPECT_TRUE(recordAndEnd(143, 1));
    EXPECT_TRUE(recordAndEnd(143, 1));
    EXPECT_TRUE(recordAndEnd(0, 1));
    store.remove(store.name(digest, ".classlist"));
    EXPECT_TRUE(recordAndEnd(130, 1));
    EXPECT_TRUE(recordAndEnd(130, 1));
    EXPECT_FALSE(store.exists(store.name(digest, ".failed")));
    EXPECT_TRUE(recordAndEnd(130, 1));
    EXPECT_TRUE(store.exists(store.name(digest, ".failed")));
    EXPECT_FALSE(recordAndEnd(0, 1));
}

// A recording start killed with SIGKILL runs no exit handler: the next
// start counts the list it left as discarded, so that an application that
// is always killed stops recording after a few.
TEST(ArchivePlan, RecordingStartsKilledOutrightStopTheRecordingAfterAFew) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    for (int killed = 1; killed <= 3; ++killed) {
        ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
        ASSERT_EQ(Way::record, plan.way()) << killed;
        plan.abandon();
        Claimant(store, store.processName(digest, "00000000000000ee",
                                          ".recording"));
    }
    EXPECT_EQ(Way::none, ArchivePlan::decide(openStore(home), digest, 17).way());
    EXPECT_TRUE(store.exists(store.name(digest, ".failed")));
    // A recording that a running start holds is no leftover.
    TempDir other;
    const ArchiveStore running = openStore(other);
    Claimant recorder(running, running.processName(digest, "00000000000000ef",
                                                   ".recording"));
    for (int start = 0; start < 3; ++start) {
        ArchivePlan plan = ArchivePlan::decide(openStore(other), digest, 17);
        EXPECT_EQ(Way::record, plan.way());
        plan.abandon();
    }
}

TEST(ArchivePlan, NoListIsKeptOnceAnArchiveWasBuiltMeanwhile) {
    TempDir home;
    const ArchiveStore store = openStore(home);
    ArchivePlan plan = ArchivePlan::decide(openStore(home), digest, 17);
    ASSERT_EQ(Way::record, plan.way());
    const std::string option = plan.options().at(0);
    writeFile(option.substr(option.find('=') + 1), "java/lang/Object\n");
    // Built during the run from the list of another start.
    writeArchive(store);
    EXPECT_FALSE(plan.finish(ended(0, false, false)));
    EXPECT_FALSE(store.exists(store.name(digest, ".classlist")));
    EXPECT_EQ(Way::use, ArchivePlan::decide(openStore(home), digest, 17).way());
}
