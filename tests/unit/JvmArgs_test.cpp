// The runtime's argument vector as Jvm::initFromConfigFile assembles it from
// a configuration, and the trace lines of the Jvm's life.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"
#include "LogCapture.h"
#include "TestSupport.h"

using testing_support::TempDir;
using testing_support::writeFile;
using testing_support::RecordingSink;

namespace {

// Collects the default logger's records while it lives and puts the sink
// that was installed before back afterwards.
std::string appPathOption() {
    return "-Dvantry.app-path=" + SysInfo::getProcessModulePath();
}

StringArray assemble(const CfgFile& cfg, const StringArray& initial = {"/exe"}) {
    Jvm jvm;
    for (const std::string& a : initial) {
        jvm.addArgument(a);
    }
    EXPECT_EQ(&jvm, &jvm.initFromConfigFile(cfg));
    return jvm.getArguments();
}

} // namespace

// Every property at once, read from a file: the nine steps in their fixed
// order, whatever the order of the lines in the file, and only the
// properties that take part.
TEST(JvmArgs, AllStepsInFixedOrderFromFile) {
    RecordingSink quiet;
    TempDir dir;
    const std::string splash = dir / "splash.png";
    writeFile(splash, "png");
    const std::string cfgPath = dir / "app.cfg";
    writeFile(cfgPath,
              "[ArgOptions]\n"
              "arguments=one\n"
              "arguments=two words\n"
              "arguments=\n"
              "[JavaOptions]\n"
              "java-options=-Xmx1g\n"
              "java-options=-Dp=a b\n"
              "[AppCDSJavaOptions]\n"
              "java-options=-Xshare:auto\n"
              "[AppCDSGenerateCacheJavaOptions]\n"
              "java-options=-Xshare:dump\n"
              "[Application]\n"
              "app.mainjar=first.jar\n"
              "app.mainjar=app.jar\n"
              "app.mainclass=com.example.Main\n"
              "app.mainmodule=mod/com.example.Main\n"
              "app.splash=" + splash + "\n"
              "app.classpath=x.jar\n"
              "app.classpath=y.jar\n"
              "app.modulepath=mods1\n"
              "app.modulepath=mods2\n"
              "app.memory=auto\n"
              "app.runtime=/rt\n"
              "app.version=1.0\n");
    const CfgFile cfg = CfgFile::load(cfgPath);

    const StringArray expected = {
        "/exe", "pre-existing",
        "--module-path", "mods1", "--module-path", "mods2",
        "-classpath", "x.jar:y.jar",
        "-splash:" + splash,
        "-Xmx1g", "-Dp=a b",
        appPathOption(),
        "-m", "mod/com.example.Main",
        "com.example.Main",
        "-jar", "app.jar",
        "one", "two words", "",
    };
    EXPECT_EQ(expected, assemble(cfg, {"/exe", "pre-existing"}));
}

// Module, class and jar are independent steps: each is applied when present,
// always in the order module, class, jar, after the app-path entry and before
// the arguments.
TEST(JvmArgs, MainModuleClassJarInEveryCombination) {
    RecordingSink quiet;
    for (int mask = 0; mask != 8; ++mask) {
        const bool module = (mask & 1) != 0;
        const bool cls = (mask & 2) != 0;
        const bool jar = (mask & 4) != 0;
        SCOPED_TRACE(testing::Message() << "module=" << module << " class="
                     << cls << " jar=" << jar);
        CfgFile cfg;
        // Several values: the last one counts.
        if (module) {
            cfg.setPropertyValue(SectionName::Application,
                                 PropertyName::mainmodule, {"old", "m/c.M"});
        }
        if (cls) {
            cfg.setPropertyValue(SectionName::Application,
                                 PropertyName::mainclass, {"old", "c.Main"});
        }
        if (jar) {
            cfg.setPropertyValue(SectionName::Application,
                                 PropertyName::mainjar, {"old", "a.jar"});
        }
        cfg.setPropertyValue(SectionName::ArgOptions, PropertyName::arguments,
                             {"arg"});
        cfg.setPropertyValue(SectionName::JavaOptions,
                             PropertyName::javaOptions, {"-opt"});

        StringArray expected = {"/exe", "-opt", appPathOption()};
        if (module) {
            expected.insert(expected.end(), {"-m", "m/c.M"});
        }
        if (cls) {
            expected.push_back("c.Main");
        }
        if (jar) {
            expected.insert(expected.end(), {"-jar", "a.jar"});
        }
        expected.push_back("arg");
        EXPECT_EQ(expected, assemble(cfg));
    }
}

// Each module path value has its own option word; the class path values are
// joined into one entry.
TEST(JvmArgs, ModulePathRepeatedClassPathJoined) {
    RecordingSink quiet;
    struct Case {
        StringArray modulepath;
        StringArray classpath;
        StringArray expected;
    };
    const Case cases[] = {
        {{"a", "b"}, {"x.jar", "y.jar"},
         {"--module-path", "a", "--module-path", "b", "-classpath",
          "x.jar:y.jar"}},
        {{"only"}, {"one.jar"},
         {"--module-path", "only", "-classpath", "one.jar"}},
        {{"a:b"}, {"x.jar", "", "z.jar"},
         {"--module-path", "a:b", "-classpath", "x.jar::z.jar"}},
        {{}, {}, {"-classpath", ""}},
    };
    for (const Case& c : cases) {
        CfgFile cfg;
        cfg.setPropertyValue(SectionName::Application,
                             PropertyName::modulepath, c.modulepath);
        cfg.setPropertyValue(SectionName::Application,
                             PropertyName::classpath, c.classpath);
        StringArray expected = {"/exe"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        expected.push_back(appPathOption());
        EXPECT_EQ(expected, assemble(cfg));
    }
}

// The splash entry is added when its file or directory exists; otherwise a
// WARNING names the value and nothing is added. The last value counts.
TEST(JvmArgs, SplashOnlyWhenItExists) {
    TempDir dir;
    const std::string file = dir / "splash.gif";
    writeFile(file, "gif");
    const std::string subdir = dir / "splashdir";
    testing_support::makeDirs(subdir);
    const std::string missing = dir / "missing.gif";

    struct Case {
        StringArray values;
        std::string entry;   // empty: no entry and a warning
        std::string warned;  // the value named by the warning
    };
    const Case cases[] = {
        {{file}, "-splash:" + file, ""},
        {{subdir}, "-splash:" + subdir, ""},
        {{missing, file}, "-splash:" + file, ""},
        {{missing}, "", missing},
        {{file, missing}, "", missing},
        {{""}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values.back());
        CfgFile cfg;
        cfg.setPropertyValue(SectionName::Application, PropertyName::splash,
                             c.values);
        cfg.setPropertyValue(SectionName::Application, PropertyName::mainclass,
                             {"M"});
        RecordingSink sink;
        const StringArray args = assemble(cfg);

        StringArray expected = {"/exe"};
        if (!c.entry.empty()) {
            expected.push_back(c.entry);
        }
        expected.insert(expected.end(), {appPathOption(), "M"});
        EXPECT_EQ(expected, args);

        const std::vector<LogEvent> warnings = sink.withLevel("WARNING");
        if (c.entry.empty()) {
            ASSERT_EQ(1u, warnings.size());
            EXPECT_EQ("Splash property ignored. File \"" + c.warned
                      + "\" not found", warnings[0].message);
            EXPECT_EQ("JvmLauncher.cpp", warnings[0].sourceFile);
            EXPECT_EQ("initFromConfigFile", warnings[0].functionName);
            EXPECT_GT(warnings[0].lineNumber, 0);
        } else {
            EXPECT_TRUE(warnings.empty());
        }
    }
}

// Without Application and ArgOptions sections only the java options and the
// app-path entry follow what was there; options pass through unchanged.
TEST(JvmArgs, OnlyJavaOptionsAndAppPath) {
    RecordingSink quiet;
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::JavaOptions, PropertyName::javaOptions,
                         {"-Dx=\"quoted\" $APPDIR", "-Xss2m"});
    // Properties in the wrong section play no part.
    cfg.setPropertyValue(SectionName::JavaOptions, PropertyName::mainjar,
                         {"wrong.jar"});
    cfg.setPropertyValue(SectionName::AppCDSJavaOptions,
                         PropertyName::arguments, {"wrong-arg"});
    EXPECT_EQ((StringArray{"/exe", "-Dx=\"quoted\" $APPDIR", "-Xss2m",
                           appPathOption()}),
              assemble(cfg));

    EXPECT_EQ((StringArray{"/exe", appPathOption()}), assemble(CfgFile()));
    EXPECT_EQ((StringArray{appPathOption()}), assemble(CfgFile(), {}));
}

// The app-path entry names the running executable itself.
TEST(JvmArgs, AppPathIsTheRunningExecutable) {
    RecordingSink quiet;
    const std::string self = SysInfo::getProcessModulePath();
#ifdef __linux__
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf));
    ASSERT_GT(n, 0);
    ASSERT_EQ(std::string(buf, static_cast<std::size_t>(n)), self);
#endif

    const StringArray args = assemble(CfgFile(), {});
    ASSERT_EQ(1u, args.size());
    EXPECT_EQ("-Dvantry.app-path=" + self, args[0]);
}

// The constructor and destructor trace the object's address; the Jvm starts
// empty.
TEST(JvmArgs, LifeIsTracedWithTheAddress) {
    RecordingSink sink;
    std::string address;
    {
        Jvm jvm;
        std::ostringstream text;
        text << static_cast<const void*>(&jvm);
        address = text.str();
        EXPECT_TRUE(jvm.getPath().empty());
        EXPECT_TRUE(jvm.getArguments().empty());
        EXPECT_TRUE(jvm.getEnvVariableNames().empty());
        EXPECT_TRUE(jvm.getEnvVariableValues().empty());
        ASSERT_EQ(1u, sink.events.size());
    }
    ASSERT_EQ(2u, sink.events.size());
    ASSERT_EQ("0x", address.substr(0, 2));

    const LogEvent& created = sink.events[0];
    EXPECT_EQ("TRACE", created.levelName);
    EXPECT_EQ("Jvm(" + address + ")::Jvm()", created.message);
    EXPECT_EQ("JvmLauncher.cpp", created.sourceFile);
    EXPECT_EQ("Jvm", created.functionName);

    const LogEvent& destroyed = sink.events[1];
    EXPECT_EQ("TRACE", destroyed.levelName);
    EXPECT_EQ("Jvm(" + address + ")::~Jvm()", destroyed.message);
    EXPECT_EQ("JvmLauncher.cpp", destroyed.sourceFile);
    EXPECT_EQ("~Jvm", destroyed.functionName);
    EXPECT_NE(created.lineNumber, destroyed.lineNumber);
}
