// The decisions of the runtime cache: which inputs tell runtimes apart,
// which entries go, and which line of jlink's output says what failed.
#include <gtest/gtest.h>

#include <set>

#include "RuntimeCache.h"

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
