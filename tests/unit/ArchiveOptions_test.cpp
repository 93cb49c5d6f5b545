// The pure parts of the class data archive: the runtime's release file, the
// Java home of a launcher library, the options that rule an archive out,
// the class list to dump, and the digest that names an archive.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>

#include "ArchiveOptions.h"
#include "ArchiveInputs.h"
#include "FileTimes.h"
#include "TestSupport.h"

using namespace ArchiveOptions;
using testing_support::ScopedCwd;
using testing_support::TempDir;
using testing_support::makeDirs;
using testing_support::writeFile;

TEST(ArchiveOptions, ReleaseFileAndFeatureVersion) {
    const ReleaseVersions release = parseRelease(
            "IMPLEMENTOR=\"Eclipse Adoptium\"\r\n"
            "JAVA_RUNTIME_VERSION=\"25.0.3+9-LTS\"\r\n"
            "JAVA_VERSION=\"25.0.3\"\r\n"
            "JAVA_VERSION_DATE=\"2026-04-21\"\r\n");
    EXPECT_EQ("25.0.3", release.javaVersion);
    EXPECT_EQ("25.0.3+9-LTS", release.runtimeVersion);
    EXPECT_EQ("", parseRelease("MODULES=\"java.base\"\n").javaVersion);

    const std::pair<const char*, int> versions[] = {
        {"17.0.15", 17}, {"25", 25}, {"1.8.0_402", 8}, {"13-ea", 13},
        {"", 0}, {"x17", 0}};
    for (const auto& v : versions) {
        EXPECT_EQ(v.second, featureVersion(v.first)) << v.first;
    }
}

TEST(ArchiveOptions, JavaHomeOfLibrary) {
    EXPECT_EQ("/jdk", javaHomeOfLibrary("/jdk/lib/libjli.so"));
    EXPECT_EQ("/j/Home", javaHomeOfLibrary("/j/Home/lib/jli/libjli.dylib"));
    EXPECT_EQ("", javaHomeOfLibrary("/jdk/bin/libjli.so"));
}

TEST(ArchiveOptions, OptionsThatRuleAnArchiveOut) {
    for (const char* option :
         {"-Xshare:off", "-XX:SharedArchiveFile=a.jsa",
          "-XX:+AutoCreateSharedArchive", "-XX:ArchiveClassesAtExit=a.jsa",
          "-XX:+RecordDynamicDumpInfo", "-XX:AOTCache=app.aot",
          "-XX:AOTMode=off", "-Xlog:cds", "-Xlog:aot+load=info", "-Xlog",
          "-Xlog:all=debug", "-javaagent:agent.jar", "-Xbootclasspath/a:x",
          "--patch-module=java.base=p", "--limit-modules=java.base",
          "-Djava.system.class.loader=Loader", "-XX:VMOptionsFile=f",
          "-Djava.security.manager=default", "-Djava.security.manager",
          // What the runtime reports changes with an archive.
          "-verbose:class", "-verbose", "-Xlog:class+load",
          "-Xlog:class+load=info:file=/tmp/load.txt",
          "-Xlog:class+path=info", "-XX:+PrintCommandLineFlags",
          "-XX:+PrintFlagsFinal"}) {
        EXPECT_TRUE(precludesArchive(option)) << option;
    }
    for (const char* option :
         {"-Xmx512m", "-Dname=SharedArchiveFile", "-Xlog:gc:file=gc.txt",
          "-XX:+UseZGC", "-verbose:gc", "-Xlog:gc*=info",
          "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xss1m"}) {
        EXPECT_FALSE(precludesArchive(option)) << option;
    }
}

TEST(ArchiveOptions, ClassListKeepsTheRecordingAndAddsTheRuntimesClasses) {
    const std::string recorded =
            "# NOTE: Do not modify this file.\n"
            "java/lang/Object id: 0\n"
            "app/Main id: 1\n"
            "@cp app/Main 8 16\n";
    const std::string runtime =
            "# NOTE: Do not modify this file.\n"
            "java/lang/Object\n"
            "java/util/HashMap\n"
            "@lambda-proxy java/lang/X run ()V\n"
            "@cp app/Main 8 16\n";
    EXPECT_EQ("java/lang/Object id: 0\n"
              "app/Main id: 1\n"
              "@cp app/Main 8 16\n"
              "java/util/HashMap\n"
              "@lambda-proxy java/lang/X run ()V\n",
              mergeClassLists(recorded, runtime));
}

// JDK 17 and older load an archived class of the class path without the
// privileges of its jar: under a security manager that the application
// installed, its own classes stay out of the archive.
TEST(ArchiveOptions, ASecurityManagerKeepsTheApplicationsClassesOut) {
    EXPECT_TRUE(showsSecurityManager(
            "java/lang/Object\napp/Main\njava/security/Policy\n"));
    EXPECT_TRUE(showsSecurityManager("java/lang/SecurityManager$1 id: 7\n"));
    // Every start loads the class itself.
    EXPECT_FALSE(showsSecurityManager(
            "java/lang/SecurityManager\napp/Main\njava/security/Policy$X\n"));
    EXPECT_EQ("java/lang/Object id: 0\n@lambda-proxy java/lang/X run ()V\n",
              withoutClasses("java/lang/Object id: 0\napp/Main id: 1\n"
                             "@cp app/Main 8 16\n"
                             "@lambda-proxy java/lang/X run ()V\n",
                             {"app/Main"}));
}

TEST(ArchiveInputs, WhatRulesAnArchiveOut) {
    ArchiveInputs usable;
    usable.feature = 17;
    usable.serverVm = true;
    usable.javaOptions = {"-Xmx1g"};
    usable.variables = {"JAVA_TOOL_OPTIONS=-Dx=1", "CLASSPATH=-Xshare:off"};
    EXPECT_EQ("", usable.whyRuledOut());
    const std::pair<const char*, std::function<void(ArchiveInputs&)>>
            cases[] = {
        {"runtime", [](ArchiveInputs& in) { in.feature = 11; }},
        {"server VM", [](ArchiveInputs& in) { in.serverVm = false; }},
        {"-Xshare:off", [](ArchiveInputs& in) {
             in.variables[0] = "JAVA_TOOL_OPTIONS=-Dx=1 '-Xshare:off'";
         }},
        {"not empty", [](ArchiveInputs& in) {
             in.busyClassPathDirectory = "classes";
         }},
        {"file size limit", [](ArchiveInputs& in) {
             in.fileSizeLimit = 1u << 20;
         }},
    };
    for (const auto& c : cases) {
        ArchiveInputs inputs = usable;
        c.second(inputs);
        EXPECT_FALSE(inputs.whyRuledOut().empty()) << c.first;
    }
}

TEST(ArchiveInputs, DigestChangesWithEveryInput) {
    TempDir dir;
    const std::string jar = dir / "app.jar";
    writeFile(jar, "jar");
    writeFile(dir / "mods/a.jar", "module");
    makeDirs(dir / "libs");
    writeFile(dir / "jdk/lib/libjli.so", "");
    writeFile(dir / "jdk/release", "JAVA_VERSION=\"17.0.15\"\n");
    writeFile(dir / "jdk/lib/server/classes.jsa", "base archive");
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath,
                         {jar, dir / "libs/*"});
    cfg.setPropertyValue(SectionName::Application, PropertyName::modulepath,
                         {dir / "mods"});
    const std::string home = dir / "jdk";
    const auto collect = [&](const CfgFile& c) {
        return ArchiveInputs::collect(c, home + "/lib/libjli.so");
    };
    std::set<std::string> seen{collect(cfg).digest()};
    EXPECT_EQ(1u, seen.count(collect(cfg).digest()));
    const auto changes = [&](const ArchiveInputs& inputs) {
        return seen.insert(inputs.digest()).second;
    };
    ArchiveInputs newer = collect(cfg);
    newer.release = {"17.0.16", "17.0.16+8"};
    EXPECT_TRUE(changes(newer));
    {
        testing_support::ScopedEnv tool("JAVA_TOOL_OPTIONS", "-Xmx1g");
        EXPECT_TRUE(changes(collect(cfg)));
    }
    writeFile(jar, "a longer jar");
    EXPECT_TRUE(changes(collect(cfg)));
    writeFile(dir / "mods/b.jar", "another module");
    EXPECT_TRUE(changes(collect(cfg)));
    writeFile(dir / "libs/lib.jar", "a jar for the wildcard");
    EXPECT_TRUE(changes(collect(cfg)));
    // Regenerated in place: same size, same modification time.
    struct stat before;
    ASSERT_EQ(0, stat((home + "/lib/server/classes.jsa").c_str(), &before));
    writeFile(home + "/lib/server/classes.jsa.new", "base Archive");
    ASSERT_EQ(0, rename((home + "/lib/server/classes.jsa.new").c_str(),
                        (home + "/lib/server/classes.jsa").c_str()));
    const timespec times[] = {{0, UTIME_OMIT}, FileTimes::modified(before)};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (home + "/lib/server/classes.jsa").c_str(),
                           times, 0));
    EXPECT_TRUE(changes(collect(cfg)));
    cfg.setPropertyValue(SectionName::Application, PropertyName::mainclass,
                         {"app.Main"});
    EXPECT_TRUE(changes(collect(cfg)));
    // A class path among the java options counts like the configured one.
    cfg.setPropertyValue(SectionName::JavaOptions, PropertyName::javaOptions,
                         {"-cp", jar});
    EXPECT_TRUE(changes(collect(cfg)));

    // The working directory does not count when no path depends on it.
    const std::string inHome = collect(cfg).digest();
    const ScopedCwd elsewhere(dir / "mods");
    EXPECT_EQ(inHome, collect(cfg).digest());
}
