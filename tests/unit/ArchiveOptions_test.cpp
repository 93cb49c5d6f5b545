// The pure parts of the class data archive's runtime options: the runtime's
// release file, the Java home of a launcher library, the options that rule
// an archive out and the class list to dump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>

#include "ArchiveOptions.h"
#include "ClassDataArchive.h"
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

TEST(ArchiveOptions, TheDumpGetsNoOptionThatWritesAFileOfTheApplications) {
    for (const char* option :
         {"-Xlog:gc:file=/var/log/app/gc.log", "-Xlog:gc*:gc.log:time",
          "-Xlog:safepoint=info:file=\"s.log\"::filecount=5",
          "-Xloggc:/tmp/gc.log", "-XX:HeapDumpPath=/tmp/app.hprof",
          "-XX:+HeapDumpOnOutOfMemoryError", "-XX:ErrorFile=/tmp/hs_err.log",
          "-XX:+LogCompilation", "-XX:LogFile=/tmp/compile.log",
          "-XX:+LogVMOutput", "-XX:StartFlightRecording=filename=a.jfr",
          "-XX:StartFlightRecording:filename=a.jfr",
          "-XX:FlightRecorderOptions=repository=/tmp/jfr",
          "-XX:OnOutOfMemoryError=kill -9 %p", "-XX:+PerfDataSaveToFile"}) {
        EXPECT_TRUE(writesFiles(option)) << option;
    }
    for (const char* option :
         {"-Xlog:gc", "-Xlog:gc:stdout", "-Xlog:gc*=debug:stderr:uptime",
          "-Xlog:gc::uptime", "-Xlog:disable", "-Xlog:gc:#1", "-Xmx512m",
          "-XX:+UseG1GC", "-XX:MaxHeapSize=1g", "-Dlog.file=/tmp/x.log",
          "-XX:+UseCompressedOops", "-XX:HeapDumpPathology"}) {
        EXPECT_FALSE(writesFiles(option)) << option;
    }
    EXPECT_EQ((StringArray{"-Xmx1g", "-Xlog:gc", "-Dx=y"}),
              withoutFileWriters({"-Xmx1g", "-Xlog:gc:file=app.log",
                                  "-Xlog:gc", "-XX:ErrorFile=e.log",
                                  "-Dx=y"}));
}

TEST(ArchiveOptions, AnOptionsVariableLosesOnlyItsFileWriters) {
    // Untouched when nothing in it writes a file: its quoting stays.
    EXPECT_EQ("-Dname=\"a b\" -Xmx1g",
              variableWithoutFileWriters("-Dname=\"a b\" -Xmx1g"));
    EXPECT_EQ("-Xmx1g -Dx=y",
              variableWithoutFileWriters(
                      "  -Xmx1g -Xlog:gc:file=/home/u/app.log\t-Dx=y "));
    EXPECT_EQ("", variableWithoutFileWriters("-XX:+HeapDumpOnOutOfMemoryError"));
    EXPECT_EQ("", variableWithoutFileWriters(""));
}

// What the assembly command tells a packager whose app.cds=auto can never
// take effect, whatever machine the application runs on.
TEST(ArchiveOptions, WhyAnApplicationIsNeverArchived) {
    const auto cfgOf = [](const std::string& cds, const std::string& locked,
                          const StringArray& javaOptions) {
        CfgFile cfg;
        cfg.setPropertyValue(SectionName::Application, PropertyName::cds,
                             {cds});
        if (!locked.empty()) {
            cfg.setPropertyValue(SectionName::Application,
                                 PropertyName::locked, {locked});
        }
        cfg.setPropertyValue(SectionName::JavaOptions,
                             PropertyName::javaOptions, javaOptions);
        return cfg;
    };
    using ClassDataArchive::whyNeverArchived;
    EXPECT_EQ("", whyNeverArchived(cfgOf("auto", "false", {"-Xmx1g"}), "17.0.15"));
    EXPECT_EQ("", whyNeverArchived(cfgOf("off", "true", {"-Xshare:off"}), "11"));
    EXPECT_EQ("", whyNeverArchived(cfgOf("", "", {"-javaagent:a.jar"}), "17"));
    EXPECT_EQ("a locked application (app.locked=true) has no archive",
              whyNeverArchived(cfgOf("auto", "true", {}), "25"));
    EXPECT_EQ("the runtime's JAVA_VERSION is \"11.0.2\", and the archive "
              "needs 13 or later",
              whyNeverArchived(cfgOf("auto", "", {}), "11.0.2"));
    EXPECT_EQ("the runtime's release file has no JAVA_VERSION",
              whyNeverArchived(cfgOf("auto", "", {}), ""));
    // Ant's own script starts it so.
    EXPECT_EQ("the java option \"-Djava.security.manager=allow\" rules the "
              "archive out",
              whyNeverArchived(cfgOf("auto", "", {"-Xmx256m",
                                                 "-Djava.security.manager=allow"}),
                               "17.0.15"));
}
