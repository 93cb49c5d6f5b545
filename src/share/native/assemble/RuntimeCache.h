// Runtimes made by jlink, kept per user for the next assembly
// (<cache>/applauncher/runtimes/). An entry is named after a hash of its key:
// what decides the linked bytes (the JDK's release file, the identity of
// its jlink and of its modules, the module list and jlink's options). It
// holds the key in full, so that a hash shared by two keys is never reused,
// and the runtime in home/. At most three entries stay, the ones used
// last. Every reader and writer holds the cache's lock, so that concurrent
// assemblies neither link into nor remove an entry another one is using.
// The cache is used only in folders of the user alone, and an entry only
// while it matches the listing made when it was linked.
#ifndef RUNTIMECACHE_H
#define RUNTIMECACHE_H

#include <functional>
#include <string>
#include <vector>

#include "tstrings.h"

/// What a linked runtime depends on.
struct RuntimeKey {
    /// The JDK's release file, whole.
    std::string release;
    /// Identities (device, inode, size, time) of jlink and of the JDK's
    /// modules (lib/modules or each file in jmods), in a fixed order.
    StringArray identities;
    StringArray modules;
    /// jlink's options, --output and the probed ones left out.
    StringArray options;
};

/// The key as one text: the same for the same inputs, whatever the order
/// of the modules, and different when any input differs.
std::string runtimeKeyText(const RuntimeKey& key);

/// The entry's folder name: a hash of the key text.
std::string runtimeEntryName(const std::string& keyText);

/// A cache entry as the eviction sees it.
struct CacheEntryAge {
    std::string name;
    /// When it was last used, in nanoseconds of some fixed clock.
    long long usedNanoseconds = 0;
};

/// The entries to remove so that `keep` stay: the ones used last stay;
/// `current` (the entry just used) always stays.
StringArray entriesToEvict(std::vector<CacheEntryAge> entries,
                           const std::string& current, std::size_t keep);

/// What the cache needs to know of one of its folders.
struct CacheFolderFacts {
    bool isFolder = false;
    bool isLink = false;
    unsigned owner = 0;
    unsigned mode = 0;
};

/// Why a folder with `facts` cannot hold the cache of the user `euid`
/// (others could plant or change a runtime in it): it is a link or not a
/// folder, another user owns it, or its group or others may write in it.
/// Empty when it can.
std::string whyUntrusted(const CacheFolderFacts& facts, unsigned euid);

/// The line of jlink's output that says what went wrong: its first line
/// that starts with "Error:", else its last line that is not blank.
std::string jlinkErrorLine(const std::string& output);

class RuntimeCache {
public:
    /// Opens the cache at `dir` (created when missing) and takes its lock,
    /// waiting for another assembly that holds it. Throws, naming the
    /// folder, when `dir` or its parent is not to be trusted
    /// (`whyUntrusted`).
    explicit RuntimeCache(const std::string& dir);
    /// Releases the lock.
    ~RuntimeCache();
    RuntimeCache(const RuntimeCache&) = delete;
    RuntimeCache& operator=(const RuntimeCache&) = delete;

    /// The Java home of the entry of `keyText`; when there is none, `link`
    /// is called with a fresh folder path to make the runtime in, and the
    /// result is kept with a listing of it (path, type, mode, size, a
    /// CRC-32 of each file, each link's target). An entry that no longer
    /// matches its listing is made again. Marks the entry used and removes the old ones. When
    /// the entry's name is taken by another key, the runtime is linked into
    /// `fallback` and not kept.
    std::string runtime(const std::string& keyText,
                        const std::function<void(const std::string&)>& link,
                        const std::string& fallback);

    /// The identity of the file or folder at `path` for a RuntimeKey;
    /// "missing" when there is none.
    static std::string identityOf(const std::string& path);

private:
    std::string dir;
    int lockFd;
};

#endif // RUNTIMECACHE_H
