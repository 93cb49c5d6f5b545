// rpmbuild writes its scripts into the command's workspace, removed with it,
// so that a killed rpmbuild leaves nothing in the system's temporary folder.
// A stand-in for rpmbuild records where it was told to put them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "AssembleBench.h"
#include "FileChecks.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

TEST(RpmWorkspace, RpmbuildsScriptsGoToTheWorkspace) {
    TempDir temp;
    writeFile(temp / "src/target/demo.jar", jarWithMainClass("demo.Main"));
    writeFakeRuntime(temp / "jdk");
    writeFile(temp / "src/demo.cfg", "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
              "[Bundle]\nbundle.name=Demo\nbundle.identifier=com.example.demo\n"
              "bundle.version=1.2.3\nbundle.content=target\nbundle.runtime=../jdk\n"
              "bundle.package-name=demo\nbundle.maintainer=Jane <j@example.com>\n"
              "bundle.description=Demo\nbundle.license=MIT\nbundle.copyright=COPYING\n");
    writeFile(temp / "src/COPYING", "Copyright 2026 Example\n");
    // Leaves a script where it is told to (a relative folder from its working
    // one), as a killed rpmbuild does, and makes the package.
    const std::string bin = temp / "bin";
    writeFile(bin + "/rpmbuild", "#!/bin/sh\ntmp=; rpms=\n"
              "while [ $# -gt 0 ]; do\n"
              "  case \"$1\" in --define) case \"$2\" in\n"
              "    '_tmppath '*) tmp=${2#_tmppath };; '_rpmdir '*) rpms=${2#_rpmdir };;\n"
              "  esac; shift;; esac; shift\ndone\n"
              "case \"$tmp\" in /*|'') ;; *) tmp=\"$(pwd)/$tmp\";; esac\n"
              "printf '%s' \"$tmp\" > \"$RPM_LOG\"\n"
              "[ -n \"$tmp\" ] && [ -d \"$tmp\" ] && echo script > \"$tmp/rpm-tmp.1\"\n"
              "echo rpm > \"$rpms/out.rpm\"\n");
    ASSERT_EQ(chmod((bin + "/rpmbuild").c_str(), 0755), 0);
    ProcessOptions options;
    options.setEnv("PATH", bin + ":/usr/bin:/bin").setEnv("RPM_LOG", temp / "log");
    options.timeoutSeconds = 120;
    const std::string out = temp / "out";
    const ProcessResult r = runProcess(assemblePath(), {"applauncher-assemble",
            temp / "src/demo.cfg", "--output", out, "--package", "rpm",
            "--no-start-check"}, options);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string scripts = readFile(temp / "log");
    EXPECT_EQ(scripts.rfind(out + "/.Demo.assemble-", 0), 0u) << scripts;
    EXPECT_FALSE(exists(scripts + "/rpm-tmp.1"));
    EXPECT_EQ(listDir(out), (Strings{"Demo", "demo-1.2.3-1.x86_64.rpm"}));
}

} // namespace
