// Content lines with a destination, the advice that names one, and paths
// resolved through the links a copy will hold.
#include <gtest/gtest.h>

#include "ContentInto.h"
#include "FileTree.h"

namespace {

struct IntoCase {
    const char* value;
    const char* dest;
    const char* source;
    const char* error;
};

TEST(ContentInto, SplitsAtTheFirstBarAndKeepsTheDestinationInside) {
    const IntoCase cases[] = {
        {"modes|/usr/share/jedit/modes", "modes", "/usr/share/jedit/modes", ""},
        {"my modes|/a b/c|d ", "my modes", "/a b/c|d ", ""},
        {" lib |x.jar", " lib ", "x.jar", ""},
        {"./a//b/../c|x", "a/c", "x", ""},
        {".|x", "", "x", ""},
        {"a/..|x", "", "x", ""},
        {"modes", "", "", "DEST|SOURCE is needed"},
        {"|x", "", "", "DEST is empty"},
        {"/opt/x|y", "", "", "must be relative"},
        {"..|x", "", "", "leads out"},
        {"a/../../b|x", "", "", "leads out"},
        {"lib|", "", "", "SOURCE is empty"},
    };
    for (const IntoCase& c : cases) {
        std::string why;
        const ContentInto into = parseContentInto(c.value, why);
        EXPECT_EQ(into.dest, c.dest) << c.value;
        EXPECT_EQ(into.source, c.source) << c.value;
        EXPECT_EQ(why.find(c.error) == std::string::npos, false) << c.value;
        EXPECT_EQ(why.empty(), std::string(c.error).empty()) << c.value;
    }
}

TEST(ContentInto, AdviceNamesTheLineThatPutsAFileWhereItIsLookedFor) {
    EXPECT_EQ(contentLineFor("demo.jar", "build/demo.jar"),
              "bundle.content=build/demo.jar");
    EXPECT_EQ(contentLineFor("lib/ext/demo.jar", "d.jar"),
              "bundle.content-into=lib/ext|d.jar");
    // The advice read back gives the destination it was made for.
    std::string why;
    const ContentInto into = parseContentInto(
            contentLineFor("lib/ext/demo.jar", "my dir/d.jar")
                    .substr(std::string("bundle.content-into=").size()), why);
    EXPECT_EQ(why, "");
    EXPECT_EQ(into.dest, "lib/ext");
    EXPECT_EQ(into.source, "my dir/d.jar");
}

TreeEntry entry(TreeEntry::Kind kind, const std::string& dest,
                const std::string& text = "") {
    TreeEntry e;
    e.kind = kind;
    e.dest = dest;
    e.linkText = text;
    return e;
}

TEST(ContentInto, PathsResolveThroughTheLinksOfTheCopy) {
    const TreeEntry entries[] = {
        entry(TreeEntry::Link, "app/current", "versions/2"),
        entry(TreeEntry::Directory, "app/versions"),
        entry(TreeEntry::Directory, "app/versions/2"),
        entry(TreeEntry::File, "app/versions/2/demo.jar"),
        entry(TreeEntry::Link, "app/demo.jar", "current/demo.jar"),
        entry(TreeEntry::Link, "app/etc", "/etc"),
        entry(TreeEntry::Link, "app/a", "b"),
        entry(TreeEntry::Link, "app/b", "a"),
    };
    std::map<std::string, const TreeEntry*> index;
    for (const TreeEntry& e : entries) {
        index[e.dest] = &e;
    }
    EXPECT_EQ(resolveInPlan(index, "app/current/demo.jar"),
              "app/versions/2/demo.jar");
    EXPECT_EQ(resolveInPlan(index, "app/demo.jar"), "app/versions/2/demo.jar");
    // ".." after a link leaves the folder the link leads to.
    EXPECT_EQ(resolveInPlan(index, "app/current/../2/demo.jar"),
              "app/versions/2/demo.jar");
    EXPECT_EQ(resolveInPlan(index, "app/./x/../demo.jar"),
              "app/versions/2/demo.jar");
    EXPECT_EQ(resolveInPlan(index, "app/missing.jar"), "app/missing.jar");
    EXPECT_EQ(resolveInPlan(index, "../x"), "");
    EXPECT_EQ(resolveInPlan(index, "app/etc/hosts"), "");
    EXPECT_EQ(resolveInPlan(index, "app/a/x"), "");
}

TEST(ContentInto, DotDotGoesOnOnlyFromAFolder) {
    const TreeEntry entries[] = {
        entry(TreeEntry::Link, "app/current", "versions/2"),
        entry(TreeEntry::Directory, "app/versions"),
        entry(TreeEntry::Directory, "app/versions/2"),
        entry(TreeEntry::File, "app/versions/2/demo.jar"),
        entry(TreeEntry::File, "app/hello.jar"),
    };
    std::map<std::string, const TreeEntry*> index;
    for (const TreeEntry& e : entries) {
        index[e.dest] = &e;
    }
    const std::pair<const char*, const char*> cases[] = {
        {"app/nosuch/../hello.jar", "app/nosuch"},
        {"app/hello.jar/../hello.jar", "app/hello.jar"},
        {"app/versions/2/demo.jar/../demo.jar", "app/versions/2/demo.jar"},
        {"app/current/nosuch/../demo.jar", "app/versions/2/nosuch"},
        // Folders of the copy, and the folders above its entries.
        {"app/versions/../hello.jar", ""},
        {"app/current/../2/demo.jar", ""},
        {"app/../app/hello.jar", ""},
    };
    for (const auto& c : cases) {
        std::string notFolder;
        resolveInPlan(index, c.first, &notFolder);
        EXPECT_EQ(notFolder, c.second) << c.first;
    }
}

} // namespace
