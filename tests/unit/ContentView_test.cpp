// Paths in the output as the system will resolve them once the content is
// copied: through the links that the plan makes, with the folders above the
// content counting as folders.
#include <gtest/gtest.h>

#include "ContentView.h"

namespace {

typedef std::vector<std::string> Strings;

const std::string root = "/out/Demo";

// A plan of content under lib/app, by kind: "d" a folder, "f" a file,
// anything else the text of a link.
struct Plan {
    explicit Plan(const std::vector<std::pair<std::string, std::string>>& items) {
        entries.reserve(items.size());
        for (const auto& item : items) {
            TreeEntry entry;
            entry.dest = "lib/app/" + item.first;
            entry.source = "/src/" + item.first;
            entry.kind = item.second == "d" ? TreeEntry::Directory
                    : item.second == "f" ? TreeEntry::File : TreeEntry::Link;
            entry.linkText = entry.kind == TreeEntry::Link ? item.second : "";
            entries.push_back(entry);
        }
        for (const TreeEntry& entry : entries) {
            index[entry.dest] = &entry;
        }
    }

    std::vector<TreeEntry> entries;
    ContentIndex index;
};

std::string app(const std::string& relative) {
    return root + "/lib/app/" + relative;
}

TEST(ContentView, FollowsThePlansLinksToFilesAndThroughFolders) {
    const Plan plan({{"versions", "d"}, {"versions/1.0", "d"},
                     {"versions/1.0/app.jar", "f"}, {"current", "versions/1.0"},
                     {"app.jar", "current/app.jar"}, {"again", "app.jar"},
                     {"up", "../app/versions"}});
    const ContentView view(plan.index, root);
    for (const char* path : {"versions/1.0/app.jar", "current/app.jar",
                             "app.jar", "again", "up/1.0/app.jar",
                             "current/../1.0/app.jar"}) {
        const TreeEntry* entry = view.file(app(path));
        ASSERT_NE(entry, nullptr) << path;
        EXPECT_EQ(entry->source, "/src/versions/1.0/app.jar") << path;
    }
    std::string resolved;
    ASSERT_TRUE(view.resolve(app("again"), resolved));
    EXPECT_EQ(resolved, app("versions/1.0/app.jar"));
    EXPECT_TRUE(view.isFolder(app("current")));
    EXPECT_TRUE(view.isFolder(app("up/1.0")));
    EXPECT_EQ(view.file(app("current")), nullptr);
    EXPECT_EQ(view.file(app("versions/1.0/other.jar")), nullptr);
}

TEST(ContentView, TheFoldersAboveTheContentAreFoldersAndNothingOutsideIs) {
    const Plan plan({{"a.jar", "f"}, {"loop", "loop2"}, {"loop2", "loop"},
                     {"out", "../../../../etc"}});
    const ContentView view(plan.index, root);
    EXPECT_TRUE(view.isFolder(root + "/lib/app"));
    EXPECT_TRUE(view.isFolder(root + "/lib/app/"));
    EXPECT_TRUE(view.isFolder(root + "/lib"));
    EXPECT_TRUE(view.isFolder(root));
    EXPECT_FALSE(view.isFolder(root + "/lib/ap"));
    EXPECT_FALSE(view.isFolder(app("a.jar")));
    EXPECT_FALSE(view.isFolder("/out"));
    std::string resolved;
    EXPECT_FALSE(view.resolve(app("loop"), resolved));
    EXPECT_FALSE(view.resolve(app("out/passwd"), resolved));
    EXPECT_FALSE(view.resolve("/elsewhere/a.jar", resolved));
    EXPECT_EQ(view.file(app("loop")), nullptr);
}

TEST(ContentView, JarsOfAFolderAsAStarEntryNamesThem) {
    const Plan plan({{"a.jar", "f"}, {"B.JAR", "f"}, {"c.txt", "f"},
                     {"sub", "d"}, {"sub/d.jar", "f"}, {"dir.jar", "d"},
                     {"link.jar", "a.jar"}, {"gone.jar", "nowhere.jar"},
                     {"lib", "sub"}});
    const ContentView view(plan.index, root);
    EXPECT_EQ(view.jarsIn(root + "/lib/app"),
              (Strings{app("B.JAR"), app("a.jar"), app("link.jar")}));
    EXPECT_EQ(view.jarsIn(app("lib")), (Strings{app("lib/d.jar")}));
    EXPECT_EQ(view.jarsIn(app("a.jar")), Strings{});
    EXPECT_EQ(view.jarsIn(app("none")), Strings{});
}

} // namespace
