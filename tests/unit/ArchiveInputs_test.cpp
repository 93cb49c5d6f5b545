// What an archive depends on: the reasons that rule it out, and the digest
// that names it, which every input changes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>

#include "ArchiveInputs.h"
#include "FileTimes.h"
#include "TestSupport.h"

using testing_support::ScopedCwd;
using testing_support::TempDir;
using testing_support::makeDirs;
using testing_support::writeFile;

TEST(ArchiveInputs, WhatRulesAnArchiveOut) {
    ArchiveInputs usable;
    usable.feature = 17;
    usable.serverVm = true;
    usable.javaOptions = {"-Xmx1g"};
    usable.variables = {"JAVA_TOOL_OPTIONS=-Dx=1", "CLASSPATH=-Xshare:off"};
    usable.classPath = {"/opt/app/lib/app.jar", "/opt/app/lib/b.jar"};
    EXPECT_EQ("", usable.whyRuledOut());
    const std::pair<const char*, std::function<void(ArchiveInputs&)>>
            cases[] = {
        {"runtime", [](ArchiveInputs& in) { in.feature = 11; }},
        {"server VM", [](ArchiveInputs& in) { in.serverVm = false; }},
        {"-Xshare:off", [](ArchiveInputs& in) {
             in.variables[0] = "JAVA_TOOL_OPTIONS=-Dx=1 '-Xshare:off'";
         }},
        // The builder runs in "/", where these name other files.
        {"relative", [](ArchiveInputs& in) { in.classPath[1] = "lib/b.jar"; }},
        {"working directory", [](ArchiveInputs& in) { in.classPath[1] = ""; }},
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
