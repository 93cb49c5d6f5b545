// The decisions of the start check: when the output's runtime can be asked
// at all, what it is asked, in which environment, and which of its lines
// the refusal quotes.
#include <gtest/gtest.h>

#include <algorithm>

#include "StartCheck.h"

namespace {

typedef std::vector<std::string> Strings;

std::ptrdiff_t indexOf(const Strings& args, const std::string& arg) {
    return std::find(args.begin(), args.end(), arg) - args.begin();
}

TEST(StartCheck, AsksAboutTheLaunchersVectorWithDryRunAmongTheOptions) {
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath,
                         {"/a/x.jar", "/a/y.jar"});
    cfg.setPropertyValue(SectionName::Application, PropertyName::mainclass,
                         {"demo.Main"});
    cfg.setPropertyValue(SectionName::JavaOptions, PropertyName::javaOptions,
                         {"-Xmx512", "-Dx=1\r"});
    cfg.setPropertyValue(SectionName::ArgOptions, PropertyName::arguments,
                         {"--dry-run"});
    const Strings args = StartCheck::arguments(cfg, "/out/Demo/bin/Demo");
    // The runtime reads options up to the main class: --dry-run has to come
    // before it, and after the application's own options, which it must
    // judge as the launcher passes them.
    const std::ptrdiff_t dryRun = indexOf(args, "--dry-run");
    EXPECT_LT(indexOf(args, "-Dx=1\r"), dryRun);
    EXPECT_LT(indexOf(args, "-Xmx512"), dryRun);
    EXPECT_LT(indexOf(args, "-XX:-UsePerfData"), indexOf(args, "demo.Main"));
    EXPECT_LT(dryRun, indexOf(args, "demo.Main"));
    EXPECT_EQ(Strings(args.begin(), args.begin() + 2),
              (Strings{"-classpath", "/a/x.jar:/a/y.jar"}));
    EXPECT_EQ(Strings(args.end() - 3, args.end()),
              (Strings{"-Dvantry.app-path=/out/Demo/bin/Demo", "demo.Main",
                       "--dry-run"}));
}

TEST(StartCheck, RunsWithoutThePackagersRuntimeSettings) {
    for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS",
                             "JDK_JAVA_OPTIONS", "CLASSPATH", "VANTRY_DEBUG",
                             "VANTRY_"}) {
        EXPECT_TRUE(StartCheck::isRemovedVariable(name)) << name;
    }
    for (const char* name : {"PATH", "HOME", "JAVA_HOME", "XVANTRY_DEBUG",
                             "vantry_debug", "JAVA_OPTIONS", "LANG"}) {
        EXPECT_FALSE(StartCheck::isRemovedVariable(name)) << name;
    }
}

TEST(StartCheck, QuotesTheRuntimesFirstErrorLineAsOneLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"Error occurred during initialization of VM\nToo small maximum heap\n",
         "Error occurred during initialization of VM: Too small maximum heap"},
        {"\nError: Could not find or load main class demo.Nope\nCaused by: "
         "java.lang.ClassNotFoundException: demo.Nope\n",
         "Error: Could not find or load main class demo.Nope"},
        {"OpenJDK 64-Bit Server VM warning: Options -Xverify:none are "
         "deprecated\nInvalid maximum heap size: -Xmx64m\r\nError: Could not "
         "create the Java Virtual Machine.\n",
         "Invalid maximum heap size: -Xmx64m\\r"},
        {"OpenJDK 64-Bit Server VM warning: only this\n",
         "OpenJDK 64-Bit Server VM warning: only this"},
        {"Unrecognized option: -\x1b[1m\tx\n", "Unrecognized option: -\\x1b[1m\\tx"},
        {"  \n\r\n", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StartCheck::firstErrorLine(c.first), c.second) << c.first;
    }
}

TEST(StartCheck, AsksOnlyARuntimeThatRunsHere) {
    const StartCheck::Host linux{"Linux", "x86_64"};
    ExecutableInfo elf;
    elf.format = BinaryFormat::Elf;
    elf.architectures = {"x86_64"};
    ExecutableInfo machO;
    machO.format = BinaryFormat::MachO;
    machO.architectures = {"x86_64", "arm64"};
    RuntimeRelease linuxRuntime;
    linuxRuntime.osName = "Linux";
    linuxRuntime.architectures = {"x86_64"};
    RuntimeRelease macRuntime;
    macRuntime.osName = "Darwin";
    macRuntime.architectures = {"arm64"};
    EXPECT_TRUE(StartCheck::canRun(linux, elf, linuxRuntime));
    EXPECT_FALSE(StartCheck::canRun(linux, machO, macRuntime));
    EXPECT_FALSE(StartCheck::canRun(StartCheck::Host{"Linux", "arm64"}, elf,
                                    linuxRuntime));
    EXPECT_TRUE(StartCheck::canRun(StartCheck::Host{"Darwin", "arm64"}, machO,
                                   macRuntime));
    EXPECT_FALSE(StartCheck::canRun(StartCheck::Host{"Darwin", "x86_64"},
                                    machO, macRuntime));
}

} // namespace
