// What the launcher will start, checked on the plan of the content: the
// layouts that `java` starts are accepted, and the [Application] keys whose
// argument vector cannot start as meant are refused with advice that works.
#include <gtest/gtest.h>

#include <cstdint>

#include "AppChecks.h"
#include "ErrorHandling.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

const std::string root = "/out/Demo";
const std::string appDir = root + "/lib/app";

std::string u2(unsigned v) {
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xff)};
}

std::string utf8(const std::string& text) {
    return "\x01" + u2(static_cast<unsigned>(text.size())) + text;
}

// A module-info.class that declares the module `name`.
std::string moduleInfo(const std::string& name) {
    const std::string pool = utf8("Module") + utf8(name) + "\x13" + u2(2)
            + utf8("module-info") + "\x07" + u2(4);
    return std::string("\xca\xfe\xba\xbe", 4) + u2(0) + u2(53) + u2(6) + pool
            + u2(0x8000) + u2(5) + u2(0) + u2(0) + u2(0) + u2(0) + u2(1)
            + u2(1) + u2(0) + u2(6) + u2(3) + u2(0) + u2(0);
}

std::string jar(const std::string& manifest, const Strings& entries) {
    std::vector<ZipItem> items{{"META-INF/MANIFEST.MF",
                                "Manifest-Version: 1.0\r\n" + manifest + "\r\n"}};
    for (const std::string& entry : entries) {
        items.push_back({entry, entry == "module-info.class"
                                        || entry.find("/module-info.class")
                                                   != std::string::npos
                                    ? moduleInfo("demo.app") : "\xca\xfe"});
    }
    return makeZip(items);
}

// The content of lib/app: files written into a temporary folder, folders
// and links only planned, as the copy would make them.
class Content {
public:
    Content& file(const std::string& rel, const std::string& bytes) {
        writeFile(temp / rel, bytes);
        return add(TreeEntry::File, rel, "");
    }
    Content& folder(const std::string& rel) {
        return add(TreeEntry::Directory, rel, "");
    }
    Content& link(const std::string& rel, const std::string& text) {
        return add(TreeEntry::Link, rel, text);
    }

    ContentIndex index() const {
        ContentIndex index;
        for (const TreeEntry& entry : entries) {
            index[entry.dest] = &entry;
        }
        return index;
    }

private:
    Content& add(TreeEntry::Kind kind, const std::string& rel,
                 const std::string& text) {
        TreeEntry entry;
        entry.kind = kind;
        entry.source = temp / rel;
        entry.dest = "lib/app/" + rel;
        entry.linkText = text;
        entries.push_back(entry);
        return *this;
    }

    TempDir temp;
    std::vector<TreeEntry> entries;
};

CfgFile application(const std::vector<std::pair<const CfgFile::PropertyId*,
                                                Strings>>& keys) {
    CfgFile config;
    for (const auto& key : keys) {
        Strings values;
        for (const std::string& value : key.second) {
            // "=text" is a value as it is; others are paths in the
            // application directory, unless absolute.
            values.push_back(value[0] == '=' ? value.substr(1)
                             : value[0] == '/' ? value : appDir + "/" + value);
        }
        config.setPropertyValue(SectionName::Application, *key.first, values);
    }
    return config;
}

std::string errorOf(const CfgFile& config, const Content& content,
                    AppFacts* facts = nullptr) {
    try {
        const ContentIndex index = content.index();
        const AppFacts found = checkApplication(config, root, index,
                                                {"java.base"});
        if (facts != nullptr) {
            *facts = found;
        }
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

using namespace PropertyName;

TEST(AppChecks, LayoutsThatJavaStartsAreAccepted) {
    // A main jar reached through a link to a versioned folder.
    Content linked;
    linked.folder("versions").folder("versions/2")
            .file("versions/2/app.jar", jar("Main-Class: demo.Main\r\n",
                                            {"demo/Main.class"}))
            .link("current", "versions/2");
    EXPECT_EQ(errorOf(application({{&mainjar, {"current/app.jar"}}}), linked), "");

    // The main jar's Class-Path names the jar that holds the main class.
    Content launcherJar;
    launcherJar.file("launcher.jar", jar("Main-Class: demo.Main\r\n"
                                         "Class-Path: lib/core%2Djar.jar\r\n", {}))
            .folder("lib").file("lib/core-jar.jar", jar("", {"demo/Main.class"}));
    AppFacts facts;
    EXPECT_EQ(errorOf(application({{&mainjar, {"launcher.jar"}}}), launcherJar,
                      &facts), "");
    EXPECT_EQ(facts.mainClass, "demo.Main");

    // A multi-release modular jar: module-info.class in versions/9 only.
    Content multiRelease;
    multiRelease.folder("mods").file("mods/demo-2.0.jar",
            jar("Multi-Release: true\r\n",
                {"META-INF/versions/9/module-info.class", "demo/Main.class"}));
    EXPECT_EQ(errorOf(application({{&mainmodule, {"=demo.app/demo.Main"}},
                                   {&modulepath, {"mods"}}}),
                      multiRelease), "");

    // The application folder itself on the class path and the module path.
    Content classes;
    classes.folder("demo").file("demo/Main.class", "\xca\xfe");
    EXPECT_EQ(errorOf(application({{&mainclass, {"=demo.Main"}},
                                   {&classpath, {appDir}}}), classes), "");
    Content modules;
    modules.file("demo.jar", jar("", {"module-info.class"}));
    EXPECT_EQ(errorOf(application({{&mainmodule, {"=demo.app"}},
                                   {&modulepath, {appDir}}}), modules), "");
}

TEST(AppChecks, AClassPathBesideTheMainJarIsRefusedUnlessTheManifestReachesIt) {
    Content content;
    content.file("app.jar", jar("Main-Class: demo.Main\r\nClass-Path: lib/a.jar "
                                "lib/b.jar\r\n", {"demo/Main.class"}))
            .folder("lib").file("lib/a.jar", jar("Class-Path: ../c.jar\r\n", {}))
            .file("lib/b.jar", jar("", {})).file("c.jar", jar("", {}))
            .file("d.jar", jar("", {}));
    AppFacts facts;
    for (const Strings& reached : {Strings{"app.jar", "lib/*"},
                                   Strings{"lib/a.jar:" + appDir + "/c.jar"}}) {
        facts.notes.clear();
        EXPECT_EQ(errorOf(application({{&mainjar, {"app.jar"}},
                                       {&classpath, reached}}), content, &facts),
                  "") << reached[0];
        ASSERT_EQ(facts.notes.size(), 1u) << reached[0];
        EXPECT_NE(facts.notes[0].find("app.classpath is redundant"),
                  std::string::npos);
    }
    for (const Strings& unreached : {Strings{"app.jar", "d.jar"}, Strings{"*"},
                                     Strings{"lib"}}) {
        const std::string error = errorOf(application(
                {{&mainjar, {"app.jar"}}, {&classpath, unreached}}), content);
        EXPECT_NE(error.find("(app.classpath) is neither the main jar nor named "
                             "by its manifest's Class-Path"), std::string::npos)
                << unreached.back() << ": " << error;
        EXPECT_NE(error.find("set app.mainclass with app.classpath"),
                  std::string::npos) << error;
    }
    // The advice works: the same jars as a class path with the main class.
    EXPECT_EQ(errorOf(application({{&mainclass, {"=demo.Main"}},
                                   {&classpath, {"app.jar", "d.jar"}}}), content),
              "");
}

TEST(AppChecks, StartShapesTheRuntimeCannotReadAsMeantAreRefused) {
    Content content;
    content.file("app.jar", jar("Main-Class: demo.Main\r\n", {"demo/Main.class"}))
            .file("plain.jar", jar("", {"demo/Main.class"}));
    const std::pair<CfgFile, const char*> cases[] = {
        {application({{&mainjar, {"app.jar"}}, {&mainclass, {"=demo.Main"}}}),
         "app.mainjar and app.mainclass are both set"},
        {application({{&mainmodule, {"=demo.app/demo.Main"}},
                      {&mainjar, {"app.jar"}}}),
         "app.mainmodule and app.mainjar are both set"},
        {application({{&mainmodule, {"=java.base"}}, {&mainclass, {"=demo.Main"}}}),
         "app.mainmodule and app.mainclass are both set"},
        {application({{&mainjar, {"plain.jar"}}}),
         "names no Main-Class in its manifest: in place of app.mainjar, set "
         "app.classpath (the jar and what it needs) and app.mainclass"},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.first, content);
        EXPECT_NE(error.find(c.second), std::string::npos) << error;
    }
    for (const char* value : {"yes", "True", "true ", "", "1"}) {
        CfgFile config = application({{&mainjar, {"app.jar"}}});
        config.setPropertyValue(SectionName::Application, locked, {value});
        EXPECT_NE(errorOf(config, content).find(
                          std::string("Invalid value \"") + value + "\" of app.locked"),
                  std::string::npos) << value;
    }
    for (const char* value : {"true", "false"}) {
        CfgFile config = application({{&mainjar, {"app.jar"}}});
        config.setPropertyValue(SectionName::Application, locked, {value});
        EXPECT_EQ(errorOf(config, content), "") << value;
    }
}

} // namespace
