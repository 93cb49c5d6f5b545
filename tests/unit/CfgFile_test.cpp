// The configuration file parser, macro expansion and the value accessors.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "TestSupport.h"

using namespace std::string_literals;
using testing_support::TempDir;

namespace {

namespace S = SectionName;
namespace P = PropertyName;

const CfgFile::SectionId* const allSections[] = {
    &S::Application, &S::JavaOptions, &S::AppCDSJavaOptions,
    &S::AppCDSGenerateCacheJavaOptions, &S::ArgOptions,
};

// Everything the file holds, as "Section/property" -> values.
typedef std::map<std::string, StringArray> Dump;

Dump dump(const CfgFile& cfg) {
    Dump result;
    for (const CfgFile::SectionId* section : allSections) {
        for (const CfgFile::Properties::value_type& p :
             cfg.getProperties(*section)) {
            result[std::string(section->name()) + "/" + p.first.name()] =
                    p.second;
        }
    }
    return result;
}

CfgFile loadText(const std::string& text) {
    TempDir tmp;
    testing_support::writeFile(tmp / "app.cfg", text);
    return CfgFile::load(tmp / "app.cfg");
}

// The raw message of the error that `load` throws; checks that the composed
// message names this file's parser and the load function.
std::string loadError(const std::string& path) {
    try {
        CfgFile::load(path);
    } catch (const VtError<std::runtime_error>& e) {
        const std::string raw = e.rawMessage();
        const std::string what = e.what();
        const std::string head = "CfgFile.cpp(";
        const std::string tail = ") at load(): " + raw;
        EXPECT_EQ(0u, what.find(head)) << what;
        EXPECT_GT(what.size(), head.size() + tail.size()) << what;
        if (what.size() > head.size() + tail.size()) {
            const std::string line = what.substr(
                    head.size(), what.size() - head.size() - tail.size());
            EXPECT_EQ(std::string::npos, line.find_first_not_of("0123456789"))
                    << what;
            EXPECT_EQ(tail, what.substr(what.size() - tail.size())) << what;
        }
        return raw;
    }
    return "<no error>";
}

// A deterministic stream of bytes.
class Bytes {
public:
    unsigned char next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned char>(state >> 56);
    }

private:
    std::uint64_t state = 12345;
};

} // namespace

TEST(CfgFile, Vocabulary) {
    const std::pair<const CfgFile::SectionId*, const char*> sections[] = {
        {&S::Application, "Application"},
        {&S::JavaOptions, "JavaOptions"},
        {&S::AppCDSJavaOptions, "AppCDSJavaOptions"},
        {&S::AppCDSGenerateCacheJavaOptions, "AppCDSGenerateCacheJavaOptions"},
        {&S::ArgOptions, "ArgOptions"},
    };
    const std::pair<const CfgFile::PropertyId*, const char*> properties[] = {
        {&P::version, "app.version"},       {&P::mainjar, "app.mainjar"},
        {&P::mainmodule, "app.mainmodule"}, {&P::mainclass, "app.mainclass"},
        {&P::classpath, "app.classpath"},   {&P::modulepath, "app.modulepath"},
        {&P::runtime, "app.runtime"},       {&P::splash, "app.splash"},
        {&P::memory, "app.memory"},         {&P::arguments, "arguments"},
        {&P::javaOptions, "java-options"},  {&P::cds, "app.cds"},
        {&P::locked, "app.locked"},
    };
    // Every property is accepted in every section, stored under the constants.
    std::string text;
    Dump expected;
    for (const auto& s : sections) {
        EXPECT_STREQ(s.second, s.first->name());
        text += "["s + s.second + "]\n";
        for (const auto& p : properties) {
            EXPECT_STREQ(p.second, p.first->name());
            const std::string value = "v-"s + s.second + "-" + p.second;
            text += p.second + "="s + value + "\n";
            expected[s.second + "/"s + p.second] = {value};
        }
    }
    const CfgFile cfg = loadText(text);
    EXPECT_EQ(expected, dump(cfg));
    for (const auto& s : sections) {
        EXPECT_EQ(13u, cfg.getProperties(*s.first).size()) << s.second;
    }

    // Ids compare by text, not by pointer, as unsigned bytes.
    static const char appText[] = "Application";
    const CfgFile::SectionId app(appText);
    EXPECT_NE(static_cast<const void*>(appText),
              static_cast<const void*>(S::Application.name()));
    EXPECT_TRUE(app == S::Application);
    EXPECT_EQ(cfg.getProperties(S::Application).size(),
              cfg.getProperties(app).size());
    EXPECT_FALSE(app < S::Application);
    EXPECT_FALSE(S::Application < app);
    EXPECT_TRUE(CfgFile::SectionId("App") < S::Application);
    EXPECT_FALSE(S::Application < CfgFile::SectionId("App"));
    EXPECT_FALSE(CfgFile::SectionId("App") == S::Application);
    EXPECT_TRUE(S::AppCDSJavaOptions < S::Application);
    EXPECT_TRUE(CfgFile::PropertyId("z") < CfgFile::PropertyId("\x80"));
    EXPECT_FALSE(CfgFile::PropertyId("\x80") < CfgFile::PropertyId("z"));
    EXPECT_TRUE(CfgFile::PropertyId("") < P::arguments);
}

TEST(CfgFile, LineRules) {
    struct Case {
        const char* what;
        std::string text;
        Dump expected;
    };
    const std::string mainjar = "Application/app.mainjar";
    const std::string args = "ArgOptions/arguments";
    const std::string jopts = "JavaOptions/java-options";
    const Case cases[] = {
        {"plain", "[Application]\napp.mainjar=hello.jar\n",
         {{mainjar, {"hello.jar"}}}},
        {"no final line feed", "[Application]\napp.mainjar=hello.jar",
         {{mainjar, {"hello.jar"}}}},
        {"blank before =", "[Application]\napp.mainjar = hello.jar\n", {}},
        {"blank after =", "[Application]\napp.mainjar= hello.jar\n",
         {{mainjar, {" hello.jar"}}}},
        {"leading blank", "[Application]\n app.mainjar=x\n", {}},
        {"tabs kept", "[Application]\napp.mainjar=\tx \t\n",
         {{mainjar, {"\tx \t"}}}},
        {"empty value", "[Application]\napp.mainjar=\n", {{mainjar, {""}}}},
        {"names are case-sensitive", "[Application]\nAPP.MAINJAR=x\n", {}},
        {"CR LF", "[Application]\r\napp.mainjar=a.jar\r\n",
         {{mainjar, {"a.jar\r"}}}},
        {"CR ends the name", "[ArgOptions]\r\narguments\r\n", {}},
        {"CR alone as value", "[ArgOptions]\r\narguments=\r\n",
         {{args, {"\r"}}}},
        {"BOM keeps the header from being one",
         "\xEF\xBB\xBF[Application]\napp.mainjar=a.jar\n", {}},
        {"BOM only in the first line",
         "\xEF\xBB\xBF\n[Application]\napp.mainjar=a.jar\n",
         {{mainjar, {"a.jar"}}}},
        {"= in value", "[JavaOptions]\njava-options=-Dx=y\n",
         {{jopts, {"-Dx=y"}}}},
        {"escaped = does not separate",
         "[JavaOptions]\njava-options\\=x=y\n", {}},
        {"escaped = only", "[JavaOptions]\njava-options\\=x\n", {}},
        {"backslashes kept in value",
         "[JavaOptions]\njava-options=-Da\\=b\\\n", {{jopts, {"-Da\\=b\\"}}}},
        {"first unescaped = separates",
         "[JavaOptions]\njava-options=a\\=b=c\n", {{jopts, {"a\\=b=c"}}}},
        {"no =", "[ArgOptions]\narguments\n", {{args, {""}}}},
        {"= first", "[ArgOptions]\n=arguments\n", {}},
        {"= first, escaped later", "[ArgOptions]\n=\\=x\n", {}},
        {"values in file order",
         "[JavaOptions]\njava-options=b\njava-options=a\n",
         {{jopts, {"b", "a"}}}},
        {"duplicates kept", "[ArgOptions]\narguments=a\narguments=a\n",
         {{args, {"a", "a"}}}},
        {"blank lines inside a section",
         "[ArgOptions]\n\narguments=a\n\n\narguments=b",
         {{args, {"a", "b"}}}},
        {"text after ]", "[Application] trailing\napp.mainjar=x\n",
         {{mainjar, {"x"}}}},
        {"blanks inside []", "[ Application ]\napp.mainjar=x\n", {}},
        {"section case", "[application]\napp.mainjar=x\n", {}},
        {"empty section name", "[]\napp.mainjar=x\n", {}},
        {"last ] wins", "[Application]]\napp.mainjar=x\n", {}},
        {"last ] wins inside", "[App]lication]\napp.mainjar=x\n", {}},
        {"last ] wins after text", "[Application] x]\napp.mainjar=x\n", {}},
        {"unknown header ends a section",
         "[Application]\napp.mainjar=x\n[Other]\napp.mainjar=y\n",
         {{mainjar, {"x"}}}},
        {"before the first header", "app.mainjar=x\n[Application]\n", {}},
        {"comment", "[Application]\n;app.mainjar=x\n", {}},
        {"comment does not end a section",
         "[Application]\n;x\napp.mainjar=x\n", {{mainjar, {"x"}}}},
        {"commented-out header", "[Application]\napp.mainjar=a\n"
                                 ";[JavaOptions]\napp.mainjar=b\n",
         {{mainjar, {"a", "b"}}}},
        {"semicolon in value", "[Application]\napp.mainjar=;x ;y\n",
         {{mainjar, {";x ;y"}}}},
        {"number sign is no comment", "[ArgOptions]\narguments=#x\n",
         {{args, {"#x"}}}},
        {"known property in another section",
         "[JavaOptions]\napp.mainjar=x\n", {{"JavaOptions/app.mainjar", {"x"}}}},
        {"AppCDS sections",
         "[AppCDSJavaOptions]\njava-options=a\n"
         "[AppCDSGenerateCacheJavaOptions]\njava-options=b\n",
         {{"AppCDSJavaOptions/java-options", {"a"}},
          {"AppCDSGenerateCacheJavaOptions/java-options", {"b"}}}},
        {"NUL inside a value", "[Application]\napp.mainjar=a\0b\n"s,
         {{mainjar, {"a\0b"s}}}},
        {"NUL after ]", "[Application]\0tail\napp.mainjar=x\n"s,
         {{mainjar, {"x"}}}},
        {"NUL inside a section name", "[Appli\0cation]\napp.mainjar=x\n"s, {}},
        {"NUL inside a property name", "[Application]\napp.main\0jar=x\n"s,
         {}},
        {"NUL after a property name", "[Application]\napp.mainjar\0=x\n"s,
         {}},
        {"empty file", "", {}},
        {"blank lines only", "\n\n\n", {}},
        {"section without known property", "[Application]\nfoo=bar\n", {}},
        {"empty section then another",
         "[ArgOptions]\n[Application]\napp.mainjar=x\n", {{mainjar, {"x"}}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, dump(loadText(c.text))) << c.what;
    }
}

TEST(CfgFile, RepeatedSectionReplacesItsBlock) {
    struct Case {
        const char* what;
        std::string text;
        Dump expected;
    };
    const Case cases[] = {
        {"later block wins",
         "[ArgOptions]\narguments=a\n[JavaOptions]\njava-options=j\n"
         "[ArgOptions]\narguments=b\n",
         {{"ArgOptions/arguments", {"b"}}, {"JavaOptions/java-options", {"j"}}}},
        {"no merging of properties",
         "[Application]\napp.mainjar=m\napp.mainclass=c\n[JavaOptions]\n"
         "[Application]\napp.mainclass=d\n",
         {{"Application/app.mainclass", {"d"}}}},
        {"header repeated at once",
         "[ArgOptions]\narguments=a\n[ArgOptions]\narguments=b\narguments=c\n",
         {{"ArgOptions/arguments", {"b", "c"}}}},
        {"empty later block keeps the earlier one",
         "[ArgOptions]\narguments=a\n[JavaOptions]\njava-options=j\n"
         "[ArgOptions]\nfoo=bar\n",
         {{"ArgOptions/arguments", {"a"}}, {"JavaOptions/java-options", {"j"}}}},
        {"empty later block at the end",
         "[ArgOptions]\narguments=a\n[ArgOptions]\n",
         {{"ArgOptions/arguments", {"a"}}}},
        {"empty later block followed by another section",
         "[ArgOptions]\narguments=a\n[ArgOptions]\n[JavaOptions]\n"
         "java-options=j\n",
         {{"ArgOptions/arguments", {"a"}}, {"JavaOptions/java-options", {"j"}}}},
        {"three occurrences",
         "[ArgOptions]\narguments=a\n[ArgOptions]\narguments=b\n"
         "[ArgOptions]\n;nothing\n",
         {{"ArgOptions/arguments", {"b"}}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, dump(loadText(c.text))) << c.what;
    }
}

TEST(CfgFile, GetPropertiesOfAbsentSections) {
    const CfgFile empty = loadText("");
    const CfgFile some = loadText("[Application]\napp.mainjar=x\n[Other]\n");
    for (const CfgFile::SectionId* section : allSections) {
        EXPECT_TRUE(empty.getProperties(*section).empty()) << section->name();
    }
    EXPECT_EQ(1u, some.getProperties(S::Application).size());
    EXPECT_TRUE(some.getProperties(S::JavaOptions).empty());
    EXPECT_TRUE(some.getProperties(CfgFile::SectionId("Other")).empty());
    EXPECT_TRUE(some.getProperties(CfgFile::SectionId("")).empty());
}

TEST(CfgFile, ValuesAndLastValue) {
    const CfgFile cfg = loadText("[Application]\napp.classpath=a\n"
                                 "app.classpath=b\napp.mainjar=\n");
    EXPECT_EQ((StringArray{"a", "b"}),
              cfg.values(S::Application, PropertyName::classpath));
    EXPECT_EQ("b", cfg.lastValue(S::Application, PropertyName::classpath));
    EXPECT_EQ("", cfg.lastValue(S::Application, PropertyName::mainjar));
    EXPECT_TRUE(cfg.values(S::Application, PropertyName::mainclass).empty());
    EXPECT_TRUE(cfg.values(S::JavaOptions, PropertyName::javaOptions).empty());
    EXPECT_EQ("", cfg.lastValue(S::ArgOptions, PropertyName::arguments));
}

TEST(CfgFile, SetPropertyValue) {
    CfgFile cfg = loadText("[Application]\napp.mainjar=m\napp.mainclass=c\n"
                           "[ArgOptions]\narguments=a\narguments=b\n");
    const CfgFile original(cfg);

    CfgFile& same = cfg.setPropertyValue(S::ArgOptions, P::arguments, {"x"});
    EXPECT_EQ(&cfg, &same);
    cfg.setPropertyValue(S::JavaOptions, P::javaOptions, {"-a", "-b"})
            .setPropertyValue(S::Application, P::mainjar, {"n"})
            .setPropertyValue(S::Application, P::splash, {});
    const Dump expected = {
        {"Application/app.mainclass", {"c"}},
        {"Application/app.mainjar", {"n"}},
        {"Application/app.splash", {}},
        {"ArgOptions/arguments", {"x"}},
        {"JavaOptions/java-options", {"-a", "-b"}},
    };
    EXPECT_EQ(expected, dump(cfg));
    // Copies are independent values.
    EXPECT_EQ((Dump{{"Application/app.mainclass", {"c"}},
                    {"Application/app.mainjar", {"m"}},
                    {"ArgOptions/arguments", {"a", "b"}}}),
              dump(original));
}

TEST(CfgFile, LoadErrors) {
    TempDir tmp;
    const std::string missing = tmp / "sub/../missing.cfg";
    EXPECT_EQ("Error opening \"" + missing + "\" file: "
                      + std::strerror(ENOENT),
              loadError(missing));

    const std::string noBracket = tmp / "no-bracket.cfg";
    testing_support::writeFile(noBracket,
                               "\n;comment\n[Application\napp.mainjar=x\n");
    EXPECT_EQ("Error parsing [" + noBracket
                      + "] file at 3: Missing ']' character",
              loadError(noBracket));

    // Valid sections before the bad header do not matter; CR LF lines count.
    const std::string late = tmp / "late.cfg";
    testing_support::writeFile(
            late, "[Application]\r\napp.mainjar=x\r\n\r\n[JavaOptions\r\n");
    EXPECT_EQ("Error parsing [" + late + "] file at 4: Missing ']' character",
              loadError(late));

    const std::string bracket = tmp / "bracket.cfg";
    for (const char* text : {"[", "[\n", "[[", "[Application"}) {
        testing_support::writeFile(bracket, text);
        EXPECT_EQ("Error parsing [" + bracket
                          + "] file at 1: Missing ']' character",
                  loadError(bracket))
                << text;
    }

    const std::string dir = tmp / "dir.cfg";
    testing_support::makeDirs(dir);
    EXPECT_EQ("Failed to read \"" + dir
                      + "\" file up to the end: Is a directory",
              loadError(dir));
}

TEST(CfgFile, UnreadableFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which reads a file whatever its "
                        "mode bits say";
    }
    TempDir tmp;
    const std::string path = tmp / "locked.cfg";
    testing_support::writeFile(path, "[Application]\napp.mainjar=x\n");
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    EXPECT_EQ("Error opening \"" + path + "\" file: " + std::strerror(EACCES),
              loadError(path));
}

TEST(CfgFile, BadInputNeverCrashes) {
    // Every byte but the line feed survives in a value.
    Bytes bytes;
    std::string everyByte;
    for (int i = 0; i < 4096; ++i) {
        const char c = static_cast<char>(bytes.next());
        if (c != '\n') {
            everyByte += c;
        }
    }
    for (int c = 0; c < 256; ++c) {
        if (c != '\n') {
            everyByte += static_cast<char>(c);
        }
    }
    EXPECT_EQ((Dump{{"ArgOptions/arguments", {everyByte}}}),
              dump(loadText("[ArgOptions]\narguments=" + everyByte + "\n")));

    // Many lines of junk, each one a value.
    std::string text = "[ArgOptions]\n";
    StringArray lines;
    for (int i = 0; i < 500; ++i) {
        std::string line;
        const int length = bytes.next() % 64;
        for (int j = 0; j < length; ++j) {
            const char c = static_cast<char>(bytes.next());
            line += (c == '\n') ? '\r' : c;
        }
        lines.push_back(line);
        text += "arguments=" + line + "\n";
    }
    EXPECT_EQ((Dump{{"ArgOptions/arguments", lines}}), dump(loadText(text)));

    // Pure junk: it loads, or fails on a header without "]", nothing else.
    std::string junk;
    for (int i = 0; i < 65536; ++i) {
        junk += static_cast<char>(bytes.next());
    }
    for (const std::string& prefix : {""s, "[ArgOptions]\n"s, "\n["s}) {
        try {
            loadText(prefix + junk);
        } catch (const VtError<std::runtime_error>& e) {
            EXPECT_EQ(0u, std::string(e.rawMessage()).find("Error parsing ["))
                    << e.rawMessage();
        }
    }

    // One line of 10 MB, with and without a section.
    const std::string big(10u << 20, 'x');
    const CfgFile bigCfg = loadText("[ArgOptions]\narguments=" + big);
    const CfgFile::Properties& props = bigCfg.getProperties(S::ArgOptions);
    ASSERT_EQ(1u, props.count(P::arguments));
    ASSERT_EQ(1u, props.at(P::arguments).size());
    EXPECT_TRUE(props.at(P::arguments)[0] == big);
    EXPECT_TRUE(dump(loadText(big)).empty());
}

TEST(CfgFile, ExpandMacrosReplacesEveryOccurrence) {
    struct Case {
        const char* what;
        CfgFile::Macros macros;
        StringArray values, expected;
    };
    const Case cases[] = {
        {"one macro", {{"$APPDIR", "/opt/app"}},
         {"$APPDIR/lib/a.jar", "$APPDIR:$APPDIR", "$APPDIRX", "x$APPDIR",
          "$appdir", "$APP", "", "plain", "$ APPDIR"},
         {"/opt/app/lib/a.jar", "/opt/app:/opt/app", "/opt/appX", "x/opt/app",
          "$appdir", "$APP", "", "plain", "$ APPDIR"}},
        {"the launcher's three",
         {{"$APPDIR", "/r/Contents/app"}, {"$BINDIR", "/r/Contents/MacOS"},
          {"$ROOTDIR", "/r"}},
         {"$ROOTDIR/runtime", "-Dp=$APPDIR:$BINDIR", "$BINDIR$ROOTDIR"},
         {"/r/runtime", "-Dp=/r/Contents/app:/r/Contents/MacOS",
          "/r/Contents/MacOS/r"}},
        {"chain", {{"$A", "x"}, {"$B", "$A"}},
         {"$B", "$A$B", "$B$A", "[$B]"}, {"x", "xx", "xx", "[x]"}},
        {"chain in map order", {{"$A", "$B"}, {"$B", "y"}}, {"$A"}, {"y"}},
        {"names are plain text taken in map order", {{"$A", "1"}, {"$AB", "2"}},
         {"$AB"}, {"1B"}},
        {"empty name changes nothing", {{"", "z"}}, {"ab", ""}, {"ab", ""}},
        {"empty text", {{"$X", ""}}, {"a$Xb$X"}, {"ab"}},
        {"no macros", {}, {"$APPDIR"}, {"$APPDIR"}},
    };
    for (const Case& c : cases) {
        CfgFile cfg;
        cfg.setPropertyValue(S::Application, P::classpath, c.values);
        const CfgFile expanded = cfg.expandMacros(c.macros);
        EXPECT_EQ((Dump{{"Application/app.classpath", c.expected}}),
                  dump(expanded))
                << c.what;
        EXPECT_EQ((Dump{{"Application/app.classpath", c.values}}), dump(cfg))
                << c.what << ": the original must stay as it was";
    }

    // A chain longer than any small fixed number of passes.
    CfgFile::Macros chain = {{"$M00", "end"}};
    for (int i = 1; i < 40; ++i) {
        const std::string name = (i < 10 ? "$M0" : "$M") + std::to_string(i);
        const std::string prev = (i <= 10 ? "$M0" : "$M") + std::to_string(i - 1);
        chain[name] = prev;
    }
    CfgFile cfg;
    cfg.setPropertyValue(S::ArgOptions, P::arguments, {"$M39", "<$M20|$M05>"});
    EXPECT_EQ((Dump{{"ArgOptions/arguments", {"end", "<end|end>"}}}),
              dump(cfg.expandMacros(chain)));
}

TEST(CfgFile, ExpandMacrosCoversAllSectionsAndKeepsNames) {
    std::string text;
    Dump expected;
    for (const CfgFile::SectionId* s : allSections) {
        text += "["s + s->name() + "]\n";
        text += "app.mainjar=$APPDIR/" + std::string(s->name()) + "\n";
        text += "java-options=-Dx=$APPDIR\njava-options=plain\n";
        expected[s->name() + "/app.mainjar"s] = {"/a/"s + s->name()};
        expected[s->name() + "/java-options"s] = {"-Dx=/a", "plain"};
    }
    const CfgFile cfg = loadText(text);
    EXPECT_EQ(expected, dump(cfg.expandMacros({{"$APPDIR", "/a"}})));

    // Macros named like sections and properties touch values only.
    const CfgFile named = loadText(
            "[Application]\napp.mainjar=app.mainjar in Application\n"
            "[ArgOptions]\narguments=arguments\n");
    const Dump expandedNames = {
        {"Application/app.mainjar", {"Y in X"}},
        {"ArgOptions/arguments", {"Z"}},
    };
    EXPECT_EQ(expandedNames,
              dump(named.expandMacros({{"Application", "X"},
                                       {"app.mainjar", "Y"},
                                       {"arguments", "Z"},
                                       {"ArgOptions", "W"}})));

    // An empty map gives an equal copy.
    EXPECT_EQ(dump(cfg), dump(cfg.expandMacros({})));
}

TEST(CfgFile, ExpandMacrosThatNeverSettleFail) {
    struct Case {
        const char* what;
        CfgFile::Macros macros;
        const CfgFile::SectionId* section;
        const CfgFile::PropertyId* property;
        std::string value;
    };
    const std::string longValue = "$A" + std::string(300, 'v');
    const Case cases[] = {
        {"text holds its own name", {{"$APPDIR", "/x/$APPDIR"}},
         &S::Application, &P::mainjar, "$APPDIR/a.jar"},
        {"text is its own name", {{"$A", "$A"}}, &S::Application, &P::runtime,
         "$A"},
        {"cycle of two", {{"$A", "$B"}, {"$B", "$A"}}, &S::ArgOptions,
         &P::arguments, "$A"},
        {"cycle of two, other end", {{"$A", "$B"}, {"$B", "$A"}},
         &S::ArgOptions, &P::arguments, "x$B$A"},
        {"cycle of three", {{"$A", "$B"}, {"$B", "$C"}, {"$C", "$A"}},
         &S::JavaOptions, &P::javaOptions, "$C"},
        {"doubling", {{"$A", "$A$A"}}, &S::JavaOptions, &P::javaOptions, "$A"},
        {"doubling many", {{"$A", "$A$A"}}, &S::AppCDSJavaOptions,
         &P::classpath, "$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A:$A"},
    };
    for (const Case& c : cases) {
        CfgFile cfg;
        cfg.setPropertyValue(S::Application, P::mainclass, {"fine"});
        cfg.setPropertyValue(*c.section, *c.property, {"ok", c.value});
        const auto start = std::chrono::steady_clock::now();
        try {
            cfg.expandMacros(c.macros);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const VtError<std::runtime_error>& e) {
            EXPECT_EQ("Macros in the value of the \""s + c.property->name()
                              + "\" property of the \"" + c.section->name()
                              + "\" section do not settle: \"" + c.value
                              + "\"",
                      e.rawMessage())
                    << c.what;
            EXPECT_EQ(0u, std::string(e.what()).find("CfgFile.cpp("))
                    << e.what();
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, std::chrono::milliseconds(500)) << c.what;
    }

    // A long value is quoted in part.
    CfgFile cfg;
    cfg.setPropertyValue(S::Application, P::mainjar, {longValue});
    try {
        cfg.expandMacros({{"$A", "$A$A"}});
        ADD_FAILURE() << "no error";
    } catch (const VtError<std::runtime_error>& e) {
        EXPECT_EQ("Macros in the value of the \"app.mainjar\" property of the "
                  "\"Application\" section do not settle: \""
                          + longValue.substr(0, 256) + "...\"",
                  e.rawMessage());
    }
}

TEST(CfgFile, ValueAccessors) {
    typedef CfgFile::Properties::value_type Entry;
    EXPECT_EQ("b", CfgFile::asString(Entry(P::mainjar, {"a", "b"})));
    EXPECT_EQ("a", CfgFile::asString(Entry(P::mainjar, {"a"})));
    EXPECT_EQ("", CfgFile::asString(Entry(P::mainjar, {"x", ""})));
    EXPECT_EQ("", CfgFile::asString(Entry(P::mainjar, {})));

    EXPECT_EQ("a.jar:lib/b.jar",
              CfgFile::asPathList(Entry(P::classpath, {"a.jar", "lib/b.jar"})));
    EXPECT_EQ("one", CfgFile::asPathList(Entry(P::classpath, {"one"})));
    EXPECT_EQ("", CfgFile::asPathList(Entry(P::classpath, {})));
    EXPECT_EQ("a:b::c", CfgFile::asPathList(Entry(P::classpath, {"a:b", "", "c"})));

    // Through a loaded file: the last line of a property wins.
    const CfgFile cfg = loadText("[Application]\napp.runtime=r1\n"
                                 "app.runtime=r2\napp.classpath=a.jar\n"
                                 "app.classpath=$APPDIR/b.jar\n");
    const CfgFile expanded = cfg.expandMacros({{"$APPDIR", "/app"}});
    const CfgFile::Properties& props = expanded.getProperties(S::Application);
    EXPECT_EQ("r2", CfgFile::asString(*props.find(P::runtime)));
    EXPECT_EQ("a.jar:/app/b.jar", CfgFile::asPathList(*props.find(P::classpath)));
}
