// The decisions of the runtime cache: which inputs tell runtimes apart,
// which entries go, and which line of jlink's output says what failed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "RuntimeCache.h"
#include "TestSupport.h"

namespace {

RuntimeKey baseKey() {
    RuntimeKey key;
    key.release = "JAVA_VERSION=\"17.0.1\"\n";
    key.identities = {"1:2:3:4.5", "1:7:8:9.0"};
    key.modules = {"java.base", "java.desktop"};
    key.options = {"--strip-debug", "--module-path", "/jdk/jmods"};
    return key;
}

TEST(RuntimeCacheKey, EveryInputCountsButTheModulesOrder) {
    const std::string base = runtimeKeyText(baseKey());
    RuntimeKey reordered = baseKey();
    reordered.modules = {"java.desktop", "java.base", "java.base"};
    EXPECT_EQ(runtimeKeyText(reordered), base);

    std::vector<RuntimeKey> variants(7, baseKey());
    variants[0].release += "IMPLEMENTOR=\"x\"\n";
    variants[1].identities[1] = "1:7:8:9.1";
    variants[2].modules.push_back("java.sql");
    variants[3].options.pop_back();
    // Fields that run into each other are still told apart.
    variants[4].modules = {"java.basejava.desktop"};
    variants[5].identities = {"1:2:3:4.5\n1:7:8:9.0"};
    variants[6].options = {"--strip-debug --module-path", "/jdk/jmods"};
    std::set<std::string> texts{base};
    std::set<std::string> names{runtimeEntryName(base)};
    for (const RuntimeKey& key : variants) {
        texts.insert(runtimeKeyText(key));
        names.insert(runtimeEntryName(runtimeKeyText(key)));
    }
    EXPECT_EQ(texts.size(), variants.size() + 1);
    EXPECT_EQ(names.size(), variants.size() + 1);
    for (const std::string& name : names) {
        EXPECT_EQ(name.size(), 16u);
        EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos);
    }
}

TEST(RuntimeCacheEviction, KeepsTheNewestAndTheOneJustUsed) {
    const std::vector<CacheEntryAge> entries{
        {"a", 40}, {"b", 10}, {"c", 30}, {"d", 20}, {"e", 50}};
    EXPECT_EQ(entriesToEvict(entries, "e", 3), (StringArray{"d", "b"}));
    // The current entry stays even when its time says otherwise.
    EXPECT_EQ(entriesToEvict(entries, "b", 3), (StringArray{"c", "d"}));
    EXPECT_EQ(entriesToEvict(entries, "x", 5), StringArray{});
    EXPECT_EQ(entriesToEvict({{"a", 1}}, "a", 3), StringArray{});
    EXPECT_EQ(entriesToEvict(entries, "a", 1),
              (StringArray{"e", "c", "d", "b"}));
}

TEST(RuntimeCacheJlink, ReportsItsErrorLineNotTheStackTrace) {
    EXPECT_EQ(jlinkErrorLine("Error: Module java.nosuch not found\n"
                             "java.lang.module.FindException: x\n"
                             "\tat jdk.jlink/a.B.c(B.java:1)\n\n"),
              "Error: Module java.nosuch not found");
    EXPECT_EQ(jlinkErrorLine("Warning: w\nError: first\nError: second\n"),
              "Error: first");
    EXPECT_EQ(jlinkErrorLine("something broke\n\tat x\n  \n"), "\tat x");
    EXPECT_EQ(jlinkErrorLine(""), "");
}

} // namespace

namespace {

TEST(RuntimeCacheTrust, OnlyTheUsersOwnRealFoldersHoldTheCache) {
    CacheFolderFacts own;
    own.isFolder = true;
    own.owner = 1000;
    own.mode = 0700;
    EXPECT_EQ(whyUntrusted(own, 1000), "");
    own.mode = 0755;
    EXPECT_EQ(whyUntrusted(own, 1000), "");
    CacheFolderFacts f = own;
    f.mode = 0777;
    EXPECT_EQ(whyUntrusted(f, 1000), "others may write in it");
    f.mode = 01777;
    EXPECT_EQ(whyUntrusted(f, 1000), "others may write in it");
    f.mode = 0775;
    EXPECT_EQ(whyUntrusted(f, 1000), "others may write in it");
    f = own;
    f.owner = 65534;
    EXPECT_EQ(whyUntrusted(f, 1000), "another user owns it");
    f = own;
    f.isLink = true;
    f.isFolder = false;
    EXPECT_EQ(whyUntrusted(f, 1000), "it is a link");
    f = own;
    f.isFolder = false;
    EXPECT_EQ(whyUntrusted(f, 1000), "it is not a folder");
}

// A cache in a temporary folder whose linker makes a small runtime and
// counts its calls.
struct LinkedCache {
    LinkedCache() { ::chmod(temp.path().c_str(), 0700); }

    std::string runtime() {
        RuntimeCache cache(dir());
        return cache.runtime("key", [this](const std::string& to) {
            ++links;
            testing_support::writeFile(to + "/release", "JAVA_VERSION=\"17\"\n");
            testing_support::writeFile(to + "/lib/modules", "modules");
        }, temp / "fallback");
    }
    std::string dir() const { return temp / "cache/runtimes"; }

    testing_support::TempDir temp;
    int links = 0;
};

TEST(RuntimeCacheEntries, AnEntryChangedSinceItWasLinkedIsMadeAgain) {
    LinkedCache c;
    const std::string home = c.runtime();
    EXPECT_EQ(c.runtime(), home);
    EXPECT_EQ(c.links, 1);
    // A file planted, a file removed, a file changed in place.
    testing_support::writeFile(home + "/lib/planted.so", "x");
    EXPECT_EQ(c.runtime(), home);
    EXPECT_EQ(c.links, 2);
    EXPECT_NE(::access((home + "/lib/planted.so").c_str(), F_OK), 0);
    ::unlink((home + "/lib/modules").c_str());
    c.runtime();
    EXPECT_EQ(c.links, 3);
    testing_support::writeFile(home + "/lib/modules", "modulez");
    c.runtime();
    EXPECT_EQ(c.links, 4);
    EXPECT_EQ(testing_support::readFile(home + "/lib/modules"), "modules");
    ::chmod((home + "/release").c_str(), 0666);
    c.runtime();
    EXPECT_EQ(c.links, 5);
    c.runtime();
    EXPECT_EQ(c.links, 5);
}

TEST(RuntimeCacheEntries, AFolderOthersMayWriteInIsNotUsed) {
    LinkedCache c;
    c.runtime();
    ::chmod(c.dir().c_str(), 0777);
    EXPECT_THROW(RuntimeCache cache(c.dir()), std::exception);
    ::chmod(c.dir().c_str(), 0755);
    ::chmod((c.temp / "cache").c_str(), 0777);
    EXPECT_THROW(RuntimeCache cache(c.dir()), std::exception);
    ::chmod((c.temp / "cache").c_str(), 0755);
    // A link in place of the cache's folder.
    ::rename(c.dir().c_str(), (c.temp / "elsewhere").c_str());
    ::symlink((c.temp / "elsewhere").c_str(), c.dir().c_str());
    EXPECT_THROW(RuntimeCache cache(c.dir()), std::exception);
}

} // namespace
