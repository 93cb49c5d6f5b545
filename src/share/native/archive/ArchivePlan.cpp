#include "ArchivePlan.h"

#include "ArchiveOptions.h"
#include "JarDependencies.h"
#include "Log.h"

namespace {

using Strike = ArchiveStore::Strike;

// The runtime records into a full disk without a word, and the largest
// archive measured (javac's, with the runtime's classes) takes 27 MB: a
// start records only with this much room.
const unsigned long long minimumFreeBytes = 128ull << 20;

// A start that a signal ends after running this long has loaded what its
// start-up loads; one that ends sooner may have been stopped half-way.
const double signalledListSeconds = 10;

// How many failures of a kind in a row give a digest up. A refusal is the
// runtime's verdict on the files as they are, so a rebuilt archive that is
// refused again gets no third try; the others may be the application's or
// the machine's doing (an exception out of main, a Force Quit, the OOM
// killer, a shutdown during a build).
int strikeLimit(Strike kind) {
    return kind == Strike::refused ? 2 : 3;
}

} // namespace

ArchivePlan::ArchivePlan(ArchiveStore store, const std::string& digest)
    : store(std::move(store)), digest(digest) {}

ArchivePlan ArchivePlan::decide(ArchiveStore store, const std::string& digest,
                                int feature, long formerSelf) {
    ArchivePlan plan(std::move(store), digest);
    plan.choose(feature, formerSelf);
    return plan;
}

void ArchivePlan::strike(Strike kind, const std::string& why) const {
    const int count = store.addStrike(digest, kind);
    LOG_TRACE("Class data archive: " << why << " (" << count << " in a row)");
    if (count >= strikeLimit(kind)) {
        store.write(store.name(digest, ".failed"),
                    why + " (" + std::to_string(count) + " times in a row)\n");
    }
}

void ArchivePlan::drop(const std::string& why) const {
    LOG_TRACE("Class data archive dropped: " << why);
    store.remove(store.name(digest, ".jsa"));
    store.remove(store.name(digest, ".deps"));
    store.remove(store.name(digest, ".classlist"));
}

void ArchivePlan::countLeftovers(long formerSelf) {
    for (const ArchiveStore::Leftover& left : store.sweep(formerSelf)) {
        if (left.digest != digest) {
            continue;
        }
        if (left.kind == "use") {
            const std::string why = "a start that mapped the archive ended"
                                    " without running its exit handlers"
                                    " (a crash or SIGKILL)";
            drop(why);
            strike(Strike::crashed, why);
        } else if (left.kind == "recording") {
            // SIGKILL, like a signal that ends a start early, leaves a list
            // that may be cut short; no exit handler counted it.
            strike(Strike::listDiscarded,
                   "a recording start ended without running its exit"
                   " handlers (SIGKILL); its class list was discarded");
        } else if (left.kind == "build") {
            strike(Strike::buildInterrupted,
                   "the builder was ended before it was done");
        }
    }
}

bool ArchivePlan::useArchive(int feature) {
    const std::string archive = store.name(digest, ".jsa");
    std::string dependencies;
    if (!store.read(store.name(digest, ".deps"), dependencies)
            || !JarDependencies::unchanged(dependencies)) {
        LOG_TRACE("Class data archive \"" << store.path(archive)
                  << "\" is stale: a jar named by a manifest changed");
        store.remove(archive);
        return false;
    }
    ownName = store.processName(digest, ArchiveStore::newId(), ".use");
    own = store.claim(ownName);
    if (!own.valid()) {
        // Without its own file a crash of this start could not be told:
        // no archive rather than one that might fail every start.
        LOG_TRACE("No class data archive: \"" << store.path(ownName)
                  << "\" cannot be created and locked");
        chosen = Way::none;
        return true;
    }
    chosen = Way::use;
    runtimeOptions = ArchiveOptions::useOptions(feature, store.path(archive));
    LOG_TRACE("Using class data archive \"" << store.path(archive) << "\"");
    return true;
}

void ArchivePlan::choose(int feature, long formerSelf) {
    countLeftovers(formerSelf);
    if (store.exists(store.name(digest, ".failed"))) {
        LOG_TRACE("No class data archive: "
                  << store.path(store.name(digest, ".failed")) << " says why");
        return;
    }
    if (store.exists(store.name(digest, ".jsa")) && useArchive(feature)) {
        return;
    }
    if (store.exists(store.name(digest, ".classlist"))) {
        chosen = Way::wait;
        LOG_TRACE("No class data archive yet: its class list waits for the"
                  " builder");
        return;
    }
    if (store.freeBytes() < minimumFreeBytes) {
        LOG_TRACE("No class data archive: too little free space in \""
                  << store.directory() << "\"");
        return;
    }
    ownName = store.processName(digest, ArchiveStore::newId(), ".recording");
    own = store.claim(ownName);
    if (!own.valid()) {
        LOG_TRACE("No class data archive: \"" << store.path(ownName)
                  << "\" cannot be created and locked");
        return;
    }
    chosen = Way::record;
    runtimeOptions = ArchiveOptions::recordOptions(store.path(ownName));
    LOG_TRACE("Recording the classes for a class data archive in \""
              << store.path(ownName) << "\"");
}

bool ArchivePlan::keepsList(const Ending& ending) {
    return !ending.runtimeFailed
            && (ending.status < 128 || ending.seconds >= signalledListSeconds);
}

bool ArchivePlan::finish(const Ending& ending) {
    bool listWaits = false;
    try {
        if (chosen == Way::use) {
            if (ending.runtimeFailed) {
                const std::string why = "a start that mapped the archive"
                                        " failed";
                drop(why);
                strike(Strike::failedStart, why);
            } else if (!ending.archiveMapped
                       && (ending.status == 0 || ending.status == -1)) {
                store.remove(archiveName());
                strike(Strike::refused, "the runtime refused the archive");
            } else if (ending.archiveMapped) {
                store.clearStrikes(digest, {Strike::failedStart,
                                            Strike::crashed, Strike::refused});
            }
            store.remove(ownName);
        } else if (chosen == Way::record) {
            // A runtime that never wrote the list left the claim's own
            // contents; a builder may have made the archive meanwhile from
            // another start's list.
            const bool kept = keepsList(ending);
            listWaits = kept && store.claimant(ownName) == 0
                    && !store.exists(archiveName())
                    && store.rename(ownName, store.name(digest, ".classlist"));
            if (!listWaits) {
                store.remove(ownName);
            }
            if (listWaits) {
                store.clearStrikes(digest, {Strike::listDiscarded});
            } else if (!kept && !ending.runtimeFailed) {
                strike(Strike::listDiscarded,
                       "a signal ended the recording start early; its class"
                       " list was discarded");
            }
        } else if (chosen == Way::wait) {
            listWaits = true;
        }
    } catch (...) {
        // Nothing may leave an exit handler.
    }
    own.reset();
    return listWaits;
}

void ArchivePlan::abandon() {
    if (own.valid()) {
        store.remove(ownName);
        own.reset();
    }
    chosen = Way::none;
    runtimeOptions.clear();
}
