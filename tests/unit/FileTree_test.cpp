// The plan of a tree copy on a file system held in memory, shaped as
// distributions install applications: jars and folders linked into shared
// folders, links that meet, links that lead to "/", to the output, into a
// loop or to nothing.
#include <gtest/gtest.h>

#include <map>

#include "ErrorHandling.h"
#include "FileTree.h"

namespace {

typedef TreeSource::Kind Kind;

class FakeTree : public TreeSource {
public:
    void folder(const std::string& path) { nodes[path] = {Kind::Folder, ""}; }
    void file(const std::string& path) { nodes[path] = {Kind::File, ""}; }
    void link(const std::string& path, const std::string& text) {
        nodes[path] = {Kind::Link, text};
    }

    Info examine(const std::string& path) override {
        return infoOf(resolve(path, false));
    }
    Info follow(const std::string& path) override {
        return infoOf(resolve(path, true));
    }
    std::string readLink(const std::string& path) override {
        return nodes.at(path).text;
    }
    std::string realPath(const std::string& path) override {
        const std::string real = resolve(path, true);
        return real == "!loop" || nodes.count(real) == 0 ? "" : real;
    }
    StringArray list(const std::string& path) override {
        StringArray names;
        const std::string real = resolve(path, true);
        const std::string prefix = real == "/" ? "/" : real + "/";
        for (const auto& node : nodes) {
            if (node.first.compare(0, prefix.size(), prefix) == 0
                    && node.first.find('/', prefix.size()) == std::string::npos
                    && node.first.size() > prefix.size()) {
                names.push_back(node.first.substr(prefix.size()));
            }
        }
        return names;
    }

private:
    struct Node {
        Kind kind;
        std::string text;
    };

    Info infoOf(const std::string& real) {
        Info info;
        if (real == "!loop") {
            info.kind = Kind::Unreadable;
            info.error = "Too many levels of symbolic links";
        } else if (nodes.count(real) != 0) {
            info.kind = nodes[real].kind;
            info.mode = 0644;
            info.id = real;
        }
        return info;
    }

    // The path with the links of its components followed (the last one
    // only when `followLast`); "!loop" when they never end.
    std::string resolve(const std::string& path, bool followLast) {
        StringArray todo;
        tstrings::split(todo, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
        std::string current = "/";
        for (int hops = 0; !todo.empty();) {
            const std::string part = todo.front();
            todo.erase(todo.begin());
            if (part == ".") {
                continue;
            }
            if (part == "..") {
                current = normalizePath(current + "/..");
                continue;
            }
            const std::string next = current == "/" ? "/" + part
                                                    : current + "/" + part;
            const auto it = nodes.find(next);
            if (it == nodes.end() || it->second.kind != Kind::Link
                    || (todo.empty() && !followLast)) {
                current = next;
                continue;
            }
            if (++hops > 40) {
                return "!loop";
            }
            StringArray target;
            tstrings::split(target, it->second.text, "/",
                            tstrings::SPLIT_EXCLUDE_EMPTY);
            todo.insert(todo.begin(), target.begin(), target.end());
            if (it->second.text[0] == '/') {
                current = "/";
            }
        }
        return current;
    }

    std::map<std::string, Node> nodes{{"/", {Kind::Folder, ""}}};
};

// A Debian-like system: an application folder whose jars link into
// /usr/share/java, and an output folder in a home.
FakeTree debian() {
    FakeTree fs;
    for (const char* folder : {"/usr", "/usr/share", "/usr/share/java",
                               "/usr/share/jedit", "/usr/share/jedit/modes",
                               "/usr/share/app", "/usr/share/app/lib",
                               "/home", "/home/u", "/home/u/out"}) {
        fs.folder(folder);
    }
    fs.file("/usr/share/java/ant-1.10.jar");
    fs.link("/usr/share/java/ant.jar", "ant-1.10.jar");
    fs.file("/usr/share/jedit/modes/java.xml");
    fs.file("/usr/share/jedit/modes/xml.xml");
    fs.file("/usr/share/app/lib/own.jar");
    return fs;
}

TreePlan planOf(FakeTree& fs, OutsideLinks outside = OutsideLinks::CopyTarget) {
    TreePlan plan;
    planTree(fs, "/usr/share/app", "lib/app", outside,
             OutputPlace{"/home/u/out", "Demo"}, plan);
    return plan;
}

std::string planError(FakeTree& fs,
                      OutsideLinks outside = OutsideLinks::CopyTarget) {
    try {
        planOf(fs, outside);
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

// "dest <- source" for copies, "dest -> text" for links.
std::vector<std::string> shown(const TreePlan& plan) {
    std::vector<std::string> lines;
    for (const TreeEntry& entry : plan) {
        lines.push_back(entry.kind == TreeEntry::Link
                        ? entry.dest + " -> " + entry.linkText
                        : entry.dest + (entry.kind == TreeEntry::Directory
                                        ? "/" : "") + " <- " + entry.source);
    }
    return lines;
}

typedef std::vector<std::string> Lines;

TEST(FileTreePlan, CopiesWhatLinksOutOfTheTreeName) {
    FakeTree fs = debian();
    fs.link("/usr/share/app/lib/ant.jar", "../../java/ant.jar");
    fs.link("/usr/share/app/modes", "/usr/share/jedit/modes");
    EXPECT_EQ(shown(planOf(fs)), (Lines{
            "lib/app/lib/ <- /usr/share/app/lib",
            "lib/app/lib/ant.jar <- /usr/share/java/ant-1.10.jar",
            "lib/app/lib/own.jar <- /usr/share/app/lib/own.jar",
            "lib/app/modes/ <- /usr/share/jedit/modes",
            "lib/app/modes/java.xml <- /usr/share/jedit/modes/java.xml",
            "lib/app/modes/xml.xml <- /usr/share/jedit/modes/xml.xml"}));
}

TEST(FileTreePlan, CopiesOnceWhatSeveralLinksReach) {
    FakeTree fs = debian();
    fs.link("/usr/share/app/a.jar", "/usr/share/java/ant.jar");
    fs.link("/usr/share/app/b.jar", "/usr/share/java/ant-1.10.jar");
    fs.link("/usr/share/app/modes", "/usr/share/jedit/modes");
    fs.link("/usr/share/app/lib/xml.xml", "/usr/share/jedit/modes/xml.xml");
    EXPECT_EQ(shown(planOf(fs)), (Lines{
            "lib/app/a.jar <- /usr/share/java/ant-1.10.jar",
            "lib/app/b.jar -> a.jar",
            "lib/app/lib/ <- /usr/share/app/lib",
            "lib/app/lib/own.jar <- /usr/share/app/lib/own.jar",
            // Before the folder it lies in is reached: still a link into
            // that folder's copy.
            "lib/app/lib/xml.xml -> ../modes/xml.xml",
            "lib/app/modes/ <- /usr/share/jedit/modes",
            "lib/app/modes/java.xml <- /usr/share/jedit/modes/java.xml",
            "lib/app/modes/xml.xml <- /usr/share/jedit/modes/xml.xml"}));
    fs.link("/usr/share/app/z.xml", "/usr/share/jedit/modes/java.xml");
    EXPECT_EQ(shown(planOf(fs)).back(), "lib/app/z.xml -> modes/java.xml");
}

TEST(FileTreePlan, KeepsLinksInsideTheTree) {
    FakeTree fs = debian();
    fs.link("/usr/share/app/current.jar", "lib/own.jar");
    fs.link("/usr/share/app/lib/abs.jar", "/usr/share/app/lib/own.jar");
    const Lines lines = shown(planOf(fs));
    EXPECT_EQ(lines.front(), "lib/app/current.jar -> lib/own.jar");
    EXPECT_EQ(lines[2], "lib/app/lib/abs.jar -> own.jar");
}

TEST(FileTreePlan, RefusesLinksThatCannotBeCopiedNamingThem) {
    struct Case {
        const char* name;
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"root", "/", "points to /"},
        {"home", "/home", "points to \"/home\", which holds the output folder"},
        {"up", "..", "points to \"/usr/share\", which holds it"},
        {"dangling", "/usr/share/java/gone.jar",
         "points to \"/usr/share/java/gone.jar\", which does not exist"},
        {"loop", "/usr/share/other", "cannot be followed: Too many levels"},
    };
    for (const Case& c : cases) {
        FakeTree fs = debian();
        fs.link("/usr/share/other", "/usr/share/app/loop");
        fs.link(std::string("/usr/share/app/") + c.name, c.text);
        const std::string error = planError(fs);
        EXPECT_EQ(error.rfind(std::string("The link \"/usr/share/app/") + c.name
                              + "\" ", 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(FileTreePlan, ARuntimeLeavesOutLinksToNothing) {
    FakeTree fs = debian();
    fs.link("/usr/share/app/src.zip", "/usr/share/java/gone.zip");
    EXPECT_EQ(planError(fs, OutsideLinks::CopyExistingTarget), "");
    for (const std::string& line : shown(planOf(fs, OutsideLinks::CopyExistingTarget))) {
        EXPECT_EQ(line.find("src.zip"), std::string::npos) << line;
    }
    fs.link("/usr/share/app/root", "/");
    EXPECT_NE(planError(fs, OutsideLinks::CopyExistingTarget), "");
}

TEST(FileTreePlan, AFolderCopiedThroughALinkMayNotHoldALoop) {
    FakeTree fs = debian();
    fs.link("/usr/share/jedit/modes/again", "/usr/share/jedit");
    fs.link("/usr/share/app/modes", "/usr/share/jedit/modes");
    const std::string error = planError(fs);
    EXPECT_NE(error.find("\"/usr/share/app/modes\""), std::string::npos) << error;
}

TEST(FileTreePlan, RefusesContentLinksThatNameNothingOrLoopInsideTheTree) {
    struct Case {
        const char* name;
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"x.jar", "missing.jar", "points to \"missing.jar\", which does not exist"},
        {"l1", "l2", "cannot be followed: Too many levels"},
        {"self", "self", "cannot be followed: Too many levels"},
    };
    for (const Case& c : cases) {
        FakeTree fs = debian();
        if (std::string(c.name) == "l1") {
            fs.link("/usr/share/app/l2", "l1");
        }
        fs.link(std::string("/usr/share/app/") + c.name, c.text);
        const std::string error = planError(fs);
        EXPECT_EQ(error.rfind(std::string("The link \"/usr/share/app/")
                              + c.name + "\" ", 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        // A runtime's copy leaves them out.
        for (const std::string& line :
             shown(planOf(fs, OutsideLinks::CopyExistingTarget))) {
            EXPECT_EQ(line.find(std::string("lib/app/") + c.name + " "),
                      std::string::npos) << line;
        }
    }
}

TEST(FileTreePlan, RefusesLinksIntoTheOutput) {
    const char* const targets[] = {"/home/u/out/Demo", "/home/u/out/Demo/lib",
                                   "/home/u/out/Demo/lib/app/own.jar",
                                   "/home/u/out/.Demo.assemble-x1Y2z3"};
    for (const char* target : targets) {
        FakeTree fs = debian();
        for (const char* folder : {"/home/u/out/Demo", "/home/u/out/Demo/lib",
                                   "/home/u/out/Demo/lib/app",
                                   "/home/u/out/.Demo.assemble-x1Y2z3"}) {
            fs.folder(folder);
        }
        fs.file("/home/u/out/Demo/lib/app/own.jar");
        fs.link("/usr/share/app/prev", target);
        EXPECT_EQ(planError(fs), std::string("The link \"/usr/share/app/prev\" "
                  "points to \"") + target + "\", inside the output: an "
                  "earlier output is not copied into the new one");
    }
    FakeTree fs = debian();
    fs.folder("/home/u/out/Demo-old");
    fs.file("/home/u/out/Demo-old/notes.txt");
    fs.link("/usr/share/app/old", "/home/u/out/Demo-old");
    EXPECT_EQ(planError(fs), "");
}

TEST(FileTreeOutput, TellsTheRootAndBuildFoldersFromTheirNeighbours) {
    const OutputPlace out{"/home/u/out", "Demo.app"};
    EXPECT_TRUE(insideOutput(out, "/home/u/out/Demo.app"));
    EXPECT_TRUE(insideOutput(out, "/home/u/out/Demo.app/Contents/Info.plist"));
    EXPECT_TRUE(insideOutput(out, "/home/u/out/.Demo.app.assemble-abc/x"));
    EXPECT_FALSE(insideOutput(out, "/home/u/out"));
    EXPECT_FALSE(insideOutput(out, "/home/u/out/Demo.apps"));
    EXPECT_FALSE(insideOutput(out, "/home/u/out/.Demo.assemble-abc"));
    EXPECT_FALSE(insideOutput(out, "/home/u/Demo.app"));
}

// Several content lines, planned together.
TreePlan planOfItems(FakeTree& fs, const std::vector<TreeItem>& items) {
    TreePlan plan;
    planTrees(fs, items, OutsideLinks::CopyTarget,
              OutputPlace{"/home/u/out", "Demo"}, plan);
    return plan;
}

TEST(FileTreePlan, CopiesOnceAcrossContentLinesTheOutermostTarget) {
    FakeTree fs = debian();
    fs.folder("/usr/share/c1");
    fs.folder("/usr/share/c2");
    fs.link("/usr/share/c1/a1", "/usr/share/jedit/modes");
    fs.link("/usr/share/c2/b2", "/usr/share/jedit");
    fs.link("/usr/share/c2/m", "/usr/share/jedit/modes");
    EXPECT_EQ(shown(planOfItems(fs, {{"/usr/share/c1", "lib/app"},
                                     {"/usr/share/c2", "lib/app/more"}})),
              (Lines{"lib/app/a1 -> more/b2/modes",
                     "lib/app/more/b2/ <- /usr/share/jedit",
                     "lib/app/more/b2/modes/ <- /usr/share/jedit/modes",
                     "lib/app/more/b2/modes/java.xml <- "
                     "/usr/share/jedit/modes/java.xml",
                     "lib/app/more/b2/modes/xml.xml <- "
                     "/usr/share/jedit/modes/xml.xml",
                     "lib/app/more/m -> b2/modes"}));
    // Two lines linking one folder: the first link is copied.
    FakeTree same = debian();
    same.folder("/usr/share/c1");
    same.folder("/usr/share/c2");
    same.link("/usr/share/c1/x", "/usr/share/java");
    same.link("/usr/share/c2/y", "/usr/share/java/");
    const Lines lines = shown(planOfItems(same, {{"/usr/share/c1", "lib/app"},
                                                 {"/usr/share/c2", "lib/app"}}));
    EXPECT_EQ(lines.front(), "lib/app/x/ <- /usr/share/java");
    EXPECT_EQ(lines.back(), "lib/app/y -> x");
}

} // namespace
