// The pure parts of the class data archive: the runtime's release file, the
// Java home of a launcher library, the options that rule an archive out and
// the digest that names it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ClassDataArchive.h"
#include "TestSupport.h"

using namespace ClassDataArchive;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(ClassDataArchive, ReleaseFileAndFeatureVersion) {
    const RuntimeRelease release = parseRelease(
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

TEST(ClassDataArchive, JavaHomeOfLibrary) {
    EXPECT_EQ("/jdk", javaHomeOfLibrary("/jdk/lib/libjli.so"));
    EXPECT_EQ("/j/Home", javaHomeOfLibrary("/j/Home/lib/jli/libjli.dylib"));
    EXPECT_EQ("", javaHomeOfLibrary("/jdk/bin/libjli.so"));
}

TEST(ClassDataArchive, OptionsThatRuleAnArchiveOut) {
    for (const char* option :
         {"-Xshare:off", "-XX:SharedArchiveFile=a.jsa",
          "-XX:+AutoCreateSharedArchive", "-XX:ArchiveClassesAtExit=a.jsa",
          "-XX:AOTCache=app.aot", "-XX:AOTMode=off", "-Xlog:cds",
          "-Xlog:aot+load=info", "-Xlog", "-Xlog:all=debug",
          "-javaagent:agent.jar", "-Xbootclasspath/a:x",
          "--patch-module=java.base=p", "--limit-modules=java.base",
          "-Djava.system.class.loader=Loader", "-XX:VMOptionsFile=f"}) {
        EXPECT_TRUE(precludesArchive(option)) << option;
    }
    for (const char* option :
         {"-Xmx512m", "-Dname=SharedArchiveFile", "-Xlog:gc:file=gc.txt",
          "-Xlog:class+load=info:file=/tmp/cds/load.txt", "-XX:+UseZGC",
          "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xss1m"}) {
        EXPECT_FALSE(precludesArchive(option)) << option;
    }
}

TEST(ClassDataArchive, DigestChangesWithEveryInput) {
    TempDir dir;
    const std::string jar = dir / "app.jar";
    writeFile(jar, "jar");
    writeFile(dir / "mods/a.jar", "module");
    CfgFile cfg;
    cfg.setPropertyValue(SectionName::Application, PropertyName::classpath,
                         {jar});
    cfg.setPropertyValue(SectionName::Application, PropertyName::modulepath,
                         {dir / "mods"});
    const RuntimeRelease release{"17.0.15", "17.0.15+6"};
    std::set<std::string> seen{digest(cfg, "/jdk", release, "")};
    EXPECT_EQ(1u, seen.count(digest(cfg, "/jdk", release, "")));

    const auto changes = [&](const CfgFile& c, const RuntimeRelease& r,
                             const std::string& env) {
        return seen.insert(digest(c, "/jdk", r, env)).second;
    };
    EXPECT_TRUE(changes(cfg, {"17.0.16", "17.0.16+8"}, ""));
    EXPECT_TRUE(changes(cfg, release, "JAVA_TOOL_OPTIONS=-Xmx1g"));
    writeFile(jar, "a longer jar");
    EXPECT_TRUE(changes(cfg, release, ""));
    writeFile(dir / "mods/b.jar", "another module");
    EXPECT_TRUE(changes(cfg, release, ""));
    cfg.setPropertyValue(SectionName::Application, PropertyName::mainclass,
                         {"app.Main"});
    EXPECT_TRUE(changes(cfg, release, ""));
    // A class path among the java options counts like the configured one.
    cfg.setPropertyValue(SectionName::JavaOptions, PropertyName::javaOptions,
                         {"-cp", jar});
    EXPECT_TRUE(changes(cfg, release, ""));
    writeFile(jar, "a jar that grew once more");
    EXPECT_TRUE(changes(cfg, release, ""));
}
