// The commit of an assembled output, on a file system held in memory: what
// ends up at the output path and in the build folder when moves succeed,
// when the exchange is missing, when a move or an undo fails, and when what
// is to be replaced was not made by the command. Also the limits on the
// names and paths the assembly makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>

#include <zlib.h>

#include "Commit.h"
#include "ErrorHandling.h"
#include "PathLimits.h"

namespace {

typedef CommitSystem::Kind Kind;

struct Node {
    Kind kind;
    std::string contents;
    /// Set where a file system is mounted on the node.
    std::string mount = std::string();
    /// Tells the node from every other; it moves with the node.
    unsigned id = 0;
};

// Paths map to nodes; a folder's entries are the paths below it.
class FakeSystem : public CommitSystem {
public:
    std::map<std::string, Node> nodes;
    bool hasExchange = true;
    /// "rename <from>" or "exchange <a>": the errno that call returns.
    std::map<std::string, int> failures;
    /// Run before each exchange and each rename (a change made behind the
    /// command's back).
    std::function<void()> beforeExchange;
    std::function<void(const std::string& from)> beforeRename;

    void folder(const std::string& path) { make(path, Kind::Folder, ""); }
    void file(const std::string& path, const std::string& text) {
        make(path, Kind::File, text);
    }
    void link(const std::string& path) { make(path, Kind::Link, ""); }

    std::string nodeOf(const std::string& path) override {
        const auto it = nodes.find(path);
        return it == nodes.end() ? std::string()
                                 : std::to_string(it->second.id);
    }
    /// Mounts another file system on the existing `path`.
    void mountOn(const std::string& path) { nodes[path].mount = path; }

    StringArray list(const std::string& path) override {
        StringArray names;
        for (const std::string& name : below(path)) {
            if (name.find('/') == std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }

    std::string mountOf(const std::string& path) override {
        for (std::string at = path; !at.empty();
             at = at.substr(0, at.rfind('/'))) {
            const auto it = nodes.find(at);
            if (it != nodes.end() && !it->second.mount.empty()) {
                return it->second.mount;
            }
        }
        return "/";
    }

    Kind kindOf(const std::string& path) override {
        const auto it = nodes.find(path);
        return it == nodes.end() ? Kind::Missing : it->second.kind;
    }

    bool read(const std::string& path, std::size_t limit,
              std::string& text) override {
        const auto it = nodes.find(path);
        if (it == nodes.end() || it->second.kind != Kind::File) {
            return false;
        }
        text = it->second.contents.substr(0, limit);
        return true;
    }

    int renameNoReplace(const std::string& from,
                        const std::string& to) override {
        if (beforeRename) {
            beforeRename(from);
        }
        if (const int e = failure("rename " + from)) {
            return e;
        }
        if (kindOf(to) != Kind::Missing) {
            return EEXIST;
        }
        if (kindOf(from) == Kind::Missing) {
            return ENOENT;
        }
        std::map<std::string, Node> moved = take(from);
        put(moved, from, to);
        return 0;
    }

    int exchange(const std::string& a, const std::string& b) override {
        if (beforeExchange) {
            beforeExchange();
        }
        if (!hasExchange) {
            return ENOTSUP;
        }
        if (const int e = failure("exchange " + a)) {
            return e;
        }
        std::map<std::string, Node> first = take(a);
        std::map<std::string, Node> second = take(b);
        put(first, a, b);
        put(second, b, a);
        return 0;
    }

    bool identify(const std::string& path, FileIdentity& identity) override {
        const auto it = nodes.find(path);
        if (it == nodes.end() || it->second.kind != Kind::File) {
            return false;
        }
        const std::string& bytes = it->second.contents;
        identity.size = bytes.size();
        identity.crc = static_cast<std::uint32_t>(::crc32(
                ::crc32(0L, Z_NULL, 0),
                reinterpret_cast<const Bytef*>(bytes.data()),
                static_cast<uInt>(bytes.size())));
        return true;
    }

    // The paths below `dir` (itself excluded), relative to it.
    std::set<std::string> below(const std::string& dir) const {
        std::set<std::string> names;
        for (const auto& node : nodes) {
            if (node.first.compare(0, dir.size() + 1, dir + "/") == 0) {
                names.insert(node.first.substr(dir.size() + 1));
            }
        }
        return names;
    }

private:
    unsigned lastId = 0;

    void make(const std::string& path, Kind kind, const std::string& text) {
        Node node{kind, text};
        node.id = ++lastId;
        nodes[path] = node;
    }

    int failure(const std::string& key) {
        const auto it = failures.find(key);
        return it == failures.end() ? 0 : it->second;
    }

    std::map<std::string, Node> take(const std::string& path) {
        std::map<std::string, Node> taken;
        for (auto it = nodes.begin(); it != nodes.end();) {
            if (it->first == path
                    || it->first.compare(0, path.size() + 1, path + "/") == 0) {
                taken.insert(*it);
                it = nodes.erase(it);
            } else {
                ++it;
            }
        }
        return taken;
    }

    void put(const std::map<std::string, Node>& taken,
             const std::string& from, const std::string& to) {
        for (const auto& node : taken) {
            nodes[to + node.first.substr(from.size())] = node.second;
        }
    }
};

const char* const stampPath = "Contents/Resources/.applauncher-assemble";
const char* const newEntitlements = "<plist>new</plist>";
const char* const oldEntitlements = "<plist>old</plist>";

// A bundle "Demo.app" whose main file says `version`, with its stamp
// recording `entitlements` (none when empty).
void bundle(FakeSystem& fs, const std::string& at, const std::string& version,
            const std::string& entitlements) {
    fs.folder(at);
    fs.folder(at + "/Contents");
    fs.folder(at + "/Contents/Resources");
    fs.file(at + "/Contents/Info.plist", version);
    fs.file(at + "/" + stampPath,
            stampText(entitlements.empty()
                      ? BesideFiles{}
                      : BesideFiles{{"Demo.entitlements", entitlements}}));
}

// The build folder holds a new bundle and its entitlements.
FakeSystem withNewBundle() {
    FakeSystem fs;
    fs.folder("/out");
    fs.folder("/out/.build");
    bundle(fs, "/out/.build/Demo.app", "new", newEntitlements);
    fs.file("/out/.build/Demo.entitlements", newEntitlements);
    return fs;
}

// The output holds an earlier bundle of the command and its entitlements.
void withOldBundle(FakeSystem& fs) {
    bundle(fs, "/out/Demo.app", "old", oldEntitlements);
    fs.file("/out/Demo.entitlements", oldEntitlements);
}

CommitPlan plan(bool replace) {
    CommitPlan p;
    p.buildDir = "/out/.build";
    p.outputDir = "/out";
    p.root = "Demo.app";
    p.stamp = stampPath;
    p.beside = {"Demo.entitlements"};
    p.replace = replace;
    return p;
}

// The commit's error message; "" when it succeeded.
std::string commitError(FakeSystem& fs, const CommitPlan& plan, bool& keep) {
    try {
        commitOutput(fs, plan, keep);
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

std::string commitError(FakeSystem& fs, bool replace, bool& keep) {
    return commitError(fs, plan(replace), keep);
}

std::string errorOf(FakeSystem& fs, const CommitPlan& p, bool& keep) {
    try {
        commitOutput(fs, p, keep);
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

std::string checkError(FakeSystem& fs, bool replace) {
    try {
        checkDestinations(fs, plan(replace));
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

std::string contents(FakeSystem& fs, const std::string& path) {
    std::string text;
    return fs.read(path, 1 << 20, text) ? text : "<none>";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Commit, MovesBothEntriesIntoAnEmptyOutput) {
    FakeSystem fs = withNewBundle();
    bool keep = true;
    EXPECT_EQ(commitError(fs, false, keep), "");
    EXPECT_FALSE(keep);
    EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "new");
    EXPECT_EQ(contents(fs, "/out/Demo.entitlements"), newEntitlements);
    EXPECT_EQ(fs.below("/out/.build"), std::set<std::string>{});
}

TEST(Commit, ReplacesAnEarlierOutputWithOrWithoutTheExchange) {
    for (const bool hasExchange : {true, false}) {
        FakeSystem fs = withNewBundle();
        withOldBundle(fs);
        fs.hasExchange = hasExchange;
        bool keep = true;
        EXPECT_EQ(commitError(fs, true, keep), "") << hasExchange;
        EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "new");
        EXPECT_EQ(contents(fs, "/out/Demo.entitlements"), newEntitlements);
        // The earlier output waits in the build folder, removed with it.
        std::set<std::string> left;
        for (const std::string& name : fs.below("/out/.build")) {
            if (contains(name, "Info.plist")) {
                left.insert(contents(fs, "/out/.build/" + name));
            }
        }
        EXPECT_EQ(left, std::set<std::string>{"old"}) << hasExchange;
    }
}

TEST(Commit, AFailedSecondMoveUndoesTheFirst) {
    for (const bool replace : {false, true}) {
        for (const bool hasExchange : {true, false}) {
            FakeSystem fs = withNewBundle();
            if (replace) {
                withOldBundle(fs);
            }
            fs.hasExchange = hasExchange;
            fs.failures["rename /out/.build/Demo.entitlements"] = EIO;
            fs.failures["exchange /out/.build/Demo.entitlements"] = EIO;
            const std::map<std::string, Node> before = fs.nodes;
            bool keep = true;
            const std::string error = commitError(fs, replace, keep);
            EXPECT_TRUE(contains(error, "Demo.entitlements")) << error;
            EXPECT_FALSE(keep);
            // Exactly as before: the earlier output in place, the new one
            // in the build folder.
            EXPECT_TRUE(fs.nodes.size() == before.size()
                        && std::equal(before.begin(), before.end(),
                                      fs.nodes.begin(),
                                      [](const std::pair<const std::string, Node>& a,
                                         const std::pair<const std::string, Node>& b) {
                                          return a.first == b.first
                                                  && a.second.kind == b.second.kind
                                                  && a.second.contents == b.second.contents;
                                      }))
                    << "replace " << replace << ", exchange " << hasExchange;
        }
    }
}

TEST(Commit, AFailedUndoKeepsTheBuildFolderAndSaysSo) {
    FakeSystem fs = withNewBundle();
    withOldBundle(fs);
    fs.hasExchange = false;
    fs.failures["rename /out/.build/Demo.entitlements"] = EIO;
    fs.failures["rename /out/.build/.replaced-Demo.app"] = EACCES;
    bool keep = false;
    const std::string error = commitError(fs, true, keep);
    EXPECT_TRUE(keep);
    EXPECT_TRUE(contains(error, "cannot put \"/out/Demo.app\" back")) << error;
    EXPECT_TRUE(contains(error, "/out/.build")) << error;
    EXPECT_EQ(contents(fs, "/out/.build/.replaced-Demo.app/Contents/Info.plist"),
              "old");
}

TEST(Commit, ReplacesOnlyAStampReachedThroughRealFolders) {
    FakeSystem linkedResources = withNewBundle();
    withOldBundle(linkedResources);
    linkedResources.link("/out/Demo.app/Contents/Resources");
    FakeSystem linkedRoot = withNewBundle();
    linkedRoot.link("/out/Demo.app");
    FakeSystem linkedStamp = withNewBundle();
    withOldBundle(linkedStamp);
    linkedStamp.link(std::string("/out/Demo.app/") + stampPath);
    FakeSystem otherStamp = withNewBundle();
    withOldBundle(otherStamp);
    otherStamp.file(std::string("/out/Demo.app/") + stampPath,
                    "applauncher-assembler\n");
    for (FakeSystem* fs : {&linkedResources, &linkedRoot, &linkedStamp,
                           &otherStamp}) {
        const std::map<std::string, Node> before = fs->nodes;
        bool keep = false;
        const std::string error = commitError(*fs, true, keep);
        EXPECT_TRUE(contains(error, "\"/out/Demo.app\" exists and was not made "
                                    "by applauncher-assemble")) << error;
        EXPECT_EQ(fs->nodes.size(), before.size());
    }
}

TEST(Commit, NeverReplacesAnOutputThatHoldsAMountPoint) {
    const char* const points[] = {"/out/Demo.app/Contents/MacOS/data",
                                  "/out/Demo.app/Contents/notes.txt",
                                  "/out/Demo.app"};
    for (const char* point : points) {
        FakeSystem fs = withNewBundle();
        withOldBundle(fs);
        fs.folder("/out/Demo.app/Contents/MacOS");
        fs.folder("/out/Demo.app/Contents/MacOS/data");
        fs.file("/out/Demo.app/Contents/MacOS/data/file1", "precious");
        fs.file("/out/Demo.app/Contents/notes.txt", "precious");
        fs.mountOn(point);
        const std::map<std::string, Node> before = fs.nodes;
        const std::string error = checkError(fs, true);
        EXPECT_EQ(error, std::string("\"/out/Demo.app\" holds the mount "
                                     "point \"") + point + "\": unmount it "
                         "before replacing the earlier output");
        bool keep = false;
        EXPECT_EQ(commitError(fs, true, keep), error);
        EXPECT_FALSE(keep);
        EXPECT_EQ(fs.nodes.size(), before.size());
        EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "old");
    }
    // Mounted while the command runs: found on the folder swapped out, and
    // the swap undone.
    for (const bool hasExchange : {true, false}) {
        FakeSystem fs = withNewBundle();
        withOldBundle(fs);
        fs.hasExchange = hasExchange;
        fs.beforeExchange = [&fs]() {
            fs.folder("/out/Demo.app/Contents/data");
            fs.mountOn("/out/Demo.app/Contents/data");
        };
        bool keep = false;
        const std::string error = commitError(fs, true, keep);
        EXPECT_TRUE(contains(error, "holds the mount point "
                             "\"/out/Demo.app/Contents/data\"")) << error;
        EXPECT_EQ(fs.mountOf("/out/Demo.app/Contents/data"),
                  "/out/Demo.app/Contents/data");
        EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "old");
    }
}

TEST(Commit, TheStampIsCheckedAgainOnTheFolderSwappedOut) {
    for (const bool hasExchange : {true, false}) {
        FakeSystem fs = withNewBundle();
        withOldBundle(fs);
        fs.hasExchange = hasExchange;
        // While the command runs, the user's own folder takes the place of
        // the earlier output.
        fs.beforeExchange = [&fs]() {
            if (fs.kindOf("/out/Demo.app/mine.txt") == Kind::Missing) {
                fs.nodes.erase(std::string("/out/Demo.app/") + stampPath);
                fs.file("/out/Demo.app/mine.txt", "precious");
            }
        };
        bool keep = false;
        const std::string error = commitError(fs, true, keep);
        EXPECT_TRUE(contains(error, "was not made by applauncher-assemble"))
                << error;
        EXPECT_FALSE(keep);
        EXPECT_EQ(contents(fs, "/out/Demo.app/mine.txt"), "precious");
        EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "old");
        EXPECT_EQ(contents(fs, "/out/.build/Demo.app/Contents/Info.plist"),
                  "new");
    }
}

// The output holds an earlier bundle whose stamp records its dmg as
// `record` ("size" with the dmg's identity, "name" by name alone), and
// the build folder a new bundle and dmg.
FakeSystem withPackages(const std::string& record) {
    FakeSystem fs = withNewBundle();
    withOldBundle(fs);
    fs.file("/out/.build/Demo-1.0.dmg", "new dmg");
    fs.file("/out/Demo-1.0.dmg", "old dmg");
    PackageRecord dmg;
    dmg.name = "Demo-1.0.dmg";
    dmg.hasIdentity = record == "size"
            && fs.identify("/out/Demo-1.0.dmg", dmg.identity);
    fs.file(std::string("/out/Demo.app/") + stampPath,
            stampText({{"Demo.entitlements", oldEntitlements}})
                    + packageRecordLines({dmg}));
    return fs;
}

TEST(Commit, ReplacesAPackageOnlyWhileItIsAsRecorded) {
    CommitPlan withDmg = plan(true);
    withDmg.beside.push_back("Demo-1.0.dmg");
    const std::string changed = "\"/out/Demo-1.0.dmg\" changed since "
            "applauncher-assemble wrote it: it is left alone";
    struct Case {
        const char* name;
        const char* record;
        /// Runs before the commit's check, or before its first exchange.
        std::function<void(FakeSystem&)> early, late;
        const char* error;
        /// The dmg at the output afterwards.
        const char* dmg;
    };
    const auto sameSize = [](FakeSystem& fs) {
        fs.file("/out/Demo-1.0.dmg", "OLD dmg");
    };
    const auto none = [](FakeSystem&) {};
    const Case cases[] = {
        {"as recorded", "size", none, none, "", "new dmg"},
        {"changed, same size", "size", sameSize, none, changed.c_str(),
         "OLD dmg"},
        {"changed during the assembly", "size", none, sameSize,
         changed.c_str(), "OLD dmg"},
        {"recorded by name alone", "name", none, none,
         "\"/out/Demo-1.0.dmg\" exists and is not the file "
         "applauncher-assemble wrote beside \"/out/Demo.app\": it is left "
         "alone", "old dmg"},
    };
    for (const Case& c : cases) {
        for (const bool hasExchange : {true, false}) {
            FakeSystem fs = withPackages(c.record);
            fs.hasExchange = hasExchange;
            c.early(fs);
            bool changedLate = false;
            fs.beforeExchange = [&]() {
                if (!changedLate) {
                    changedLate = true;
                    c.late(fs);
                }
            };
            bool keep = false;
            std::string error;
            try {
                commitOutput(fs, withDmg, keep);
            } catch (const VtErrorBase& e) {
                error = e.rawMessage();
            }
            EXPECT_EQ(error, c.error) << c.name;
            EXPECT_FALSE(keep) << c.name;
            EXPECT_EQ(contents(fs, "/out/Demo-1.0.dmg"), c.dmg) << c.name;
            if (error.empty()) {
                continue;
            }
            // Refused: the rest of the earlier output as it was too.
            EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "old")
                    << c.name;
            EXPECT_EQ(contents(fs, "/out/Demo.entitlements"), oldEntitlements)
                    << c.name;
        }
    }
}

// The check before any work and the commit read the stamp alike: a record
// far into a large stamp proves the package at both, a package recorded
// with two identities is proven by either, and a stamp larger than any the
// command writes is refused before anything moves.
TEST(Commit, TheCheckAndTheCommitReadTheSameStamp) {
    CommitPlan withDmg = plan(true);
    withDmg.beside.push_back("Demo-1.0.dmg");
    const std::string stamp = std::string("/out/Demo.app/") + stampPath;
    PackageRecord earlier;
    earlier.name = "Demo-1.0.dmg";
    earlier.hasIdentity = true;
    earlier.identity.size = 3;
    const std::string padding(100 << 10, '#');
    for (const bool hasExchange : {true, false}) {
        FakeSystem fs = withPackages("size");
        fs.hasExchange = hasExchange;
        const std::string records = contents(fs, stamp).substr(
                stampText({{"Demo.entitlements", oldEntitlements}}).size());
        fs.file(stamp, stampText({{"Demo.entitlements", oldEntitlements}})
                + padding + "\n" + packageRecordLines({earlier}) + records);
        bool keep = false;
        EXPECT_EQ(errorOf(fs, withDmg, keep), "") << hasExchange;
        EXPECT_EQ(contents(fs, "/out/Demo-1.0.dmg"), "new dmg");
    }

    FakeSystem fs = withPackages("size");
    fs.file(stamp, contents(fs, stamp) + std::string(1 << 20, '#'));
    bool keep = false;
    EXPECT_EQ(errorOf(fs, withDmg, keep), "\"" + stamp + "\" holds more than "
              "1048576 bytes, more than a stamp of applauncher-assemble does: "
              "the earlier output is left alone");
    EXPECT_EQ(contents(fs, "/out/Demo.app/Contents/Info.plist"), "old");
    EXPECT_EQ(contents(fs, "/out/Demo-1.0.dmg"), "old dmg");
    // Without --replace, the advice comes first.
    EXPECT_TRUE(contains(checkError(fs, false), "exists: remove it, or give --replace"));
}

// A refused commit puts back only what it moved: what the user saved at a
// destination meanwhile stays there, not in the build folder that is
// removed, which is kept and named instead.
TEST(Commit, AnUndoLeavesWhatTheUserSavedMeanwhile) {
    CommitPlan withDmg = plan(true);
    withDmg.beside.push_back("Demo-1.0.dmg");
    const auto expectKept = [](const std::string& error, bool keep,
                               const std::string& dest) {
        EXPECT_TRUE(contains(error, "\"" + dest + "\" changed after it was "
                                    "put in place and is left there"))
                << error;
        EXPECT_TRUE(keep);
    };
    const auto saveOwnRoot = [](FakeSystem& fs) {
        for (const std::string& below : fs.below("/out/Demo.app")) {
            fs.nodes.erase("/out/Demo.app/" + below);
        }
        fs.folder("/out/Demo.app");
        fs.file("/out/Demo.app/mine.txt", "precious");
    };
    {
        // With the exchange: the dmg cannot be exchanged, and a folder of
        // the user's is saved as the new bundle before the undo exchanges
        // it back.
        FakeSystem fs = withPackages("size");
        fs.failures["exchange /out/.build/Demo-1.0.dmg"] = EIO;
        int exchanges = 0;
        fs.beforeExchange = [&]() {
            if (++exchanges == 3) {
                saveOwnRoot(fs);
            }
        };
        bool keep = false;
        const std::string error = commitError(fs, withDmg, keep);
        EXPECT_TRUE(contains(error, "Cannot replace \"/out/Demo-1.0.dmg\""))
                << error;
        expectKept(error, keep, "/out/Demo.app");
        EXPECT_EQ(contents(fs, "/out/Demo.app/mine.txt"), "precious");
        EXPECT_EQ(contents(fs, "/out/Demo-1.0.dmg"), "old dmg");
        EXPECT_EQ(contents(fs, "/out/.build/Demo.app/Contents/Info.plist"),
                  "old");
    }
    {
        // Without it: the root folder saved anew as the undo moves it back.
        FakeSystem fs = withPackages("size");
        fs.hasExchange = false;
        bool changed = false;
        fs.beforeExchange = [&]() {
            if (!changed) {
                changed = true;
                fs.file("/out/Demo-1.0.dmg", "OLD dmg");
            }
        };
        fs.beforeRename = [&](const std::string& from) {
            if (from == "/out/Demo.app"
                    && contents(fs, "/out/Demo.app/Contents/Info.plist")
                            == "new") {
                saveOwnRoot(fs);
            }
        };
        bool keep = false;
        const std::string error = commitError(fs, withDmg, keep);
        EXPECT_TRUE(contains(error, "changed since applauncher-assemble "
                                    "wrote it")) << error;
        expectKept(error, keep, "/out/Demo.app");
        EXPECT_EQ(contents(fs, "/out/Demo.app/mine.txt"), "precious");
        EXPECT_EQ(contents(fs, "/out/Demo-1.0.dmg"), "OLD dmg");
    }
}

TEST(Commit, ReplacesTheEntitlementsOnlyAsTheStampRecordsThem) {
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> prepare;
        bool replaced;
    };
    const Case cases[] = {
        {"recorded", [](FakeSystem&) {}, true},
        {"hand-edited", [](FakeSystem& fs) {
             fs.file("/out/Demo.entitlements", "<plist>mine</plist>");
         }, false},
        {"no bundle beside it", [](FakeSystem& fs) {
             for (const std::string& name : fs.below("/out/Demo.app")) {
                 fs.nodes.erase("/out/Demo.app/" + name);
             }
             fs.nodes.erase("/out/Demo.app");
         }, false},
        {"stamp of an earlier version", [](FakeSystem& fs) {
             fs.file(std::string("/out/Demo.app/") + stampPath,
                     "applauncher-assemble\n");
         }, false},
        {"a link", [](FakeSystem& fs) { fs.link("/out/Demo.entitlements"); },
         false},
    };
    for (const Case& c : cases) {
        FakeSystem fs = withNewBundle();
        withOldBundle(fs);
        c.prepare(fs);
        const std::string kept = contents(fs, "/out/Demo.entitlements");
        bool keep = false;
        const std::string error = commitError(fs, true, keep);
        if (c.replaced) {
            EXPECT_EQ(error, "") << c.name;
            EXPECT_EQ(contents(fs, "/out/Demo.entitlements"), newEntitlements);
        } else {
            EXPECT_EQ(error, "\"/out/Demo.entitlements\" exists and is not the "
                             "file applauncher-assemble wrote beside "
                             "\"/out/Demo.app\": it is left alone") << c.name;
            EXPECT_EQ(contents(fs, "/out/Demo.entitlements"), kept) << c.name;
        }
    }
}

TEST(Commit, ALoneEntitlementsFileNeverAdvisesReplace) {
    for (const bool replace : {false, true}) {
        FakeSystem fs = withNewBundle();
        fs.file("/out/Demo.entitlements", "<plist>mine</plist>");
        const std::string error = checkError(fs, replace);
        EXPECT_TRUE(contains(error, "left alone")) << error;
        EXPECT_FALSE(contains(error, "--replace")) << error;
    }
}

TEST(Commit, AnExistingOutputWithoutReplaceIsRefusedWithAdvice) {
    FakeSystem fs = withNewBundle();
    withOldBundle(fs);
    EXPECT_EQ(checkError(fs, false),
              "\"/out/Demo.app\" exists: remove it, or give --replace to "
              "replace an earlier output of this command");
    EXPECT_EQ(checkError(fs, true), "");
}

TEST(CommitStamp, RecordsExactlyTheFilesWrittenBesideTheRoot) {
    const std::string stamp = stampText({{"Demo.entitlements", "<a/>\n"},
                                         {"Other.entitlements", ""}});
    EXPECT_EQ(stamp.rfind("applauncher-assemble\n", 0), 0u);
    EXPECT_TRUE(stampRecords(stamp, "Demo.entitlements", "<a/>\n"));
    EXPECT_TRUE(stampRecords(stamp, "Other.entitlements", ""));
    EXPECT_FALSE(stampRecords(stamp, "Demo.entitlements", "<a/>"));
    EXPECT_FALSE(stampRecords(stamp, "Demo.entitlements", "<b/>\n"));
    EXPECT_FALSE(stampRecords(stamp, "Demo.entitlement", "<a/>\n"));
    EXPECT_FALSE(stampRecords(stampText({}), "Demo.entitlements", ""));
}

TEST(CommitMessages, NameTheNewOutputInsteadOfTheBuildFolder) {
    const std::string build = "/out/.Demo.app.assemble-a1b2c3";
    EXPECT_EQ(withoutBuildFolder(
                      "codesign --sign - " + build + "/Demo.app failed: "
                      + build + "/Demo.app: bad", build, "Demo.app"),
              "codesign --sign - the new output failed: the new output: bad");
    // Never the output path: under --replace it names the earlier output,
    // which a failure leaves untouched.
    EXPECT_EQ(withoutBuildFolder(
                      "Cannot write \"" + build + "/Demo.app/lib/runtime/jmods/"
                      "java.base.jmod\": No space left on device", build,
                      "Demo.app"),
              "Cannot write the new output's \"lib/runtime/jmods/"
              "java.base.jmod\": No space left on device");
    EXPECT_EQ(withoutBuildFolder("Cannot sync \"" + build + "/Demo.app\", \""
                                 + build + "/Demo.entitlements\" or \""
                                 + build + "\"", build, "Demo.app"),
              "Cannot sync the new output, the new \"Demo.entitlements\" or "
              "\"the build folder\"");
    EXPECT_EQ(withoutBuildFolder("no path here", build, "Demo.app"),
              "no path here");
}

std::string limitError(const StringArray& paths, std::size_t nameMax,
                       std::size_t pathMax) {
    PathLimits limits;
    limits.nameMax = nameMax;
    limits.pathMax = pathMax;
    try {
        checkPathLimits("Demo", "/out", paths, limits);
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

TEST(PathLimits, RefuseAComponentOrAPathBeyondTheSystemsLimit) {
    // "/out/a/" and 10 bytes make 17, 18 with the terminating zero.
    EXPECT_EQ(limitError({"a/0123456789"}, 10, 18), "");
    EXPECT_TRUE(contains(limitError({"a/01234567890"}, 10, 100),
                         "\"01234567890\" would have 11 bytes, more than "
                         "the 10"));
    EXPECT_TRUE(contains(limitError({"ok", "a/0123456789"}, 10, 17),
                         "would have 17 bytes, more than the 16"));
    EXPECT_TRUE(contains(limitError({".Demo.assemble-XXXXXX"}, 20, 100),
                         "The name \"Demo\" is too long"));
}

} // namespace
