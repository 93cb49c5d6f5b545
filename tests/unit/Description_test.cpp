// Descriptions as editors save them (byte-order marks, carriage returns,
// notes above the first section) and the texts of the [Bundle] keys that
// go into property lists and desktop entries.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Description.h"
#include "DesktopEntry.h"
#include "ErrorHandling.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

const std::string bundle =
        "[Bundle]\nbundle.name=Demo\nbundle.content=app\nbundle.runtime=/rt\n";
const std::string application = "[Application]\napp.mainjar=$APPDIR/a.jar\n";

struct Read {
    std::string error;
    Description d;
};

Read read(const std::string& text) {
    TempDir dir;
    writeFile(dir / "d.cfg", text);
    Read result;
    try {
        result.d = readDescription(dir / "d.cfg");
    } catch (const VtErrorBase& e) {
        result.error = e.rawMessage();
    }
    return result;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Description, ByteOrderMarkAndCarriageReturnsAreOneCleanLine) {
    const Read bom = read("\xef\xbb\xbf" + application + bundle);
    EXPECT_TRUE(has(bom.error, "byte-order mark")) << bom.error;
    EXPECT_FALSE(has(bom.error, "nothing to start")) << bom.error;
    const Read crlf = read("[Application]\r\napp.mainjar=$APPDIR/a.jar\r\n"
                           "[Bundle]\r\nbundle.name=Demo\r\n");
    EXPECT_TRUE(has(crlf.error, "carriage return at line 1")) << crlf.error;
    const Read stray = read(application + "[JavaOptions]\njava-options=-Xmx1g\r\n"
                            + bundle);
    EXPECT_TRUE(has(stray.error, "at line 4")) << stray.error;
    for (const Read* r : {&bom, &crlf, &stray}) {
        EXPECT_EQ(r->error.find_first_of("\r\n"), std::string::npos) << r->error;
    }
    // A byte-order mark later in the file is only a character.
    EXPECT_EQ(read(application + bundle + "bundle.comment=\xef\xbb\xbf" "x\n").error, "");
}

TEST(Description, NotesBeforeTheFirstSectionStayOutOfTheCopy) {
    const Read r = read("Packaging notes: see the wiki.\napp.mainclass=x.Y\n\n"
                        + application + bundle + "[JavaOptions]\njava-options=-Da\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.d.launcherConfig,
              application + "[JavaOptions]\njava-options=-Da\n");
    EXPECT_EQ(r.d.name, "Demo");
}

TEST(Description, TextsRefuseWhatPlistAndDesktopReadersRefuse) {
    const char* const values[] = {
        "bundle.display-name=a\xc2\x85z", "bundle.display-name=\xef\xbf\xbe",
        "bundle.display-name=\xed\xa0\x80", "bundle.display-name=\xc0\xaf",
        "bundle.comment=a\x1b[31m", "bundle.keywords=ok;b\xf4\x90\x80\x80;",
        "bundle.usage=Camera: \xef\xbf\xbf", "bundle.wm-class=\x7f",
        "bundle.file-type=D\xc2\x9f|d|application/x-d",
    };
    for (const char* value : values) {
        const Read r = read(application + bundle + value + "\n");
        EXPECT_TRUE(has(r.error, "Invalid value")) << value << ": " << r.error;
        EXPECT_EQ(r.error.find('\x1b'), std::string::npos) << r.error;
    }
}

TEST(Description, CommentKeywordsCategoriesAndInstallDir) {
    const Read r = read(application + bundle + "bundle.comment=Edits demos\n"
                        "bundle.keywords=demo;editor\nbundle.keywords=text;\n"
                        "bundle.categories=Development;IDE;X-Demo-Tools;\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.d.comment, "Edits demos");
    EXPECT_EQ(r.d.keywords, (StringArray{"demo", "editor", "text"}));
    EXPECT_EQ(r.d.categories, "Development;IDE;X-Demo-Tools;");
    const std::string text = desktopEntry(r.d, "demo-Main", false);
    EXPECT_TRUE(has(text, "\nComment=Edits demos\n")) << text;
    EXPECT_TRUE(has(text, "\nKeywords=demo;editor;text;\n")) << text;
    for (const char* value : {"bundle.categories=Developer;",
                              "bundle.categories=Utility;Applet;",
                              "bundle.categories=X-;", "bundle.categories=X-a b;",
                              "bundle.install-dir=/opt/100%demo"}) {
        const Read bad = read(application + bundle + value + "\n");
        EXPECT_TRUE(has(bad.error, "Invalid value")) << value << ": " << bad.error;
    }
}

TEST(DesktopEntry, CategoriesAreTheRegisteredOnesOrOwnNames) {
    for (const char* name : {"AudioVideo", "Utility", "TextEditor", "2DGraphics",
                             "Java", "X-Foo", "X-foo_bar-2"}) {
        EXPECT_TRUE(isKnownCategory(name)) << name;
    }
    for (const char* name : {"", "utility", "Screensaver", "TrayIcon", "X-",
                             "X-a;b", "x-Foo", "Editor"}) {
        EXPECT_FALSE(isKnownCategory(name)) << name;
    }
}

TEST(DesktopEntry, AdditionalCategoriesNeedTheirMainOnesAndNoneTwice) {
    const std::vector<StringArray> accepted{
        {"Utility"}, {"AudioVideo", "Audio"}, {"AudioVideo", "Video", "TV"},
        {"Development", "IDE"}, {"Utility", "TextEditor"},
        {"Office", "Dictionary"}, {"Utility", "TextTools", "Dictionary"},
        {"Graphics", "2DGraphics", "VectorGraphics"}, {"Science", "Math"},
        {"Education", "Math"}, {"Network", "WebBrowser"}, {"X-Demo", "Java"},
        {"Game", "Qt", "KDE"}};
    for (const StringArray& names : accepted) {
        EXPECT_EQ(categoriesFault(names), "") << names.front();
    }
    EXPECT_EQ(categoriesFault({"Audio"}),
              "\"Audio\" needs one of these categories beside it: AudioVideo");
    EXPECT_EQ(categoriesFault({"Development", "TextEditor"}),
              "\"TextEditor\" needs one of these categories beside it: Utility");
    EXPECT_EQ(categoriesFault({"Utility", "Utility"}),
              "\"Utility\" is given twice");
    for (const StringArray& names : std::vector<StringArray>{
             {"Video"}, {"Audio", "Midi"}, {"Office", "TV"}, {"Math"},
             {"Utility", "IDE"}, {"Game", "KDE"}, {"System", "Calculator"}}) {
        EXPECT_NE(categoriesFault(names), "") << names.back();
    }
    const Read bad = read(application + bundle + "bundle.categories=Audio\n");
    EXPECT_TRUE(has(bad.error, "Invalid value")) << bad.error;
}

TEST(DesktopEntry, FileNamesAreDbusNames) {
    for (const char* name : {"com.example.Demo", "org.x_y.a-b", "a.b",
                             "io.github.demo2"}) {
        EXPECT_TRUE(isDbusName(name)) << name;
    }
    for (const char* name : {"", "demo", "com.2example.demo", "com.example.",
                             ".com.example", "com..example", "com.ex ample",
                             "com.example.9demo"}) {
        EXPECT_FALSE(isDbusName(name)) << name;
    }
    EXPECT_TRUE(isDbusName("a." + std::string(253, 'b')));
    EXPECT_FALSE(isDbusName("a." + std::string(254, 'b')));
}

} // namespace
