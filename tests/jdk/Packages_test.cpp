// The Linux packages of the sample application on a runtime that JDK 17's
// jlink makes, checked by the distributions' own tools: lintian reports no
// error and only the warnings the README explains, rpmlint with the
// shipped filters reports no error; the tarball extracted, the deb
// installed into a throwaway dpkg root and the rpm into a throwaway rpm
// root each start and greet.
#include <gtest/gtest.h>

#include <algorithm>

#include "JdkSupport.h"

namespace jdk_tests {
namespace {

typedef std::vector<std::string> Strings;

const char jdk17[] = "/usr/lib/jvm/java-17-openjdk-amd64";

std::string tool(const std::string& name) {
    const ProcessResult r = runProcess("/bin/sh", {"sh", "-c", "command -v " + name});
    return r.exitStatus == 0 ? r.out.substr(0, r.out.find('\n')) : std::string();
}

ProcessResult run(const Strings& args, const std::string& program = "") {
    ProcessOptions options;
    options.timeoutSeconds = 300;
    options.setEnv("LC_ALL", "C.UTF-8").unsetEnv("JAVA_TOOL_OPTIONS")
            .unsetEnv("JDK_JAVA_OPTIONS").unsetEnv("LD_LIBRARY_PATH");
    return runProcess(program.empty() ? tool(args[0]) : program, args, options);
}

// The lines of `report` that start with one of `kinds` ("E: ", "W: ")
// and name none of the `allowed` tags.
Strings unexpected(const std::string& report, const Strings& kinds, const Strings& allowed) {
    Strings found;
    std::size_t start = 0;
    while (start < report.size()) {
        const std::size_t end = std::min(report.find('\n', start), report.size());
        const std::string line = report.substr(start, end - start);
        start = end + 1;
        for (const std::string& kind : kinds) {
            const std::size_t at = line.find(kind);
            if (at == std::string::npos || (at != 0 && line[at - 1] != ' ')) {
                continue;
            }
            // lintian names the package first ("W: demo: tag ..."); rpmlint
            // before the kind ("demo.x86_64: W: tag ...").
            std::size_t from = at + kind.size();
            const std::size_t blank = line.find(' ', from);
            if (blank != std::string::npos && line[blank - 1] == ':') {
                from = blank + 1;
            }
            const std::string tag = line.substr(from, line.find(' ', from) - from);
            if (std::find(allowed.begin(), allowed.end(), tag) == allowed.end()) {
                found.push_back(line);
            }
        }
    }
    return found;
}

void expectGreets(const std::string& launcher) {
    const ProcessResult r = run({launcher}, launcher);
    EXPECT_EQ(r.exitStatus, 0) << launcher << ": " << r.err;
    EXPECT_NE(r.out.find("Hello from the Demo application!"), std::string::npos)
            << launcher << ": " << r.out;
}

TEST(LinuxPackages, CheckCleanInstallAndStartOnJdk17) {
    SKIP_IF_SLOW_LEFT_OUT();
    const std::string javac = std::string(jdk17) + "/bin/javac";
    if (!exists(javac)) {
        GTEST_SKIP() << "JDK 17 is not at " << jdk17 << " (Debian: openjdk-17-jdk-headless)";
    }
    for (const char* needed : {"lintian", "rpmlint", "rpmbuild", "dpkg"}) {
        if (tool(needed).empty()) {
            GTEST_SKIP() << needed << " is not installed; .ci/run installs lintian, rpm and rpmlint";
        }
    }
    TempDir temp;
    const std::string bin = std::string(jdk17) + "/bin/";
    ASSERT_EQ(run({bin + "javac", "--release", "11", "-d", temp / "classes",
                   sourceDir() + "/sample/src/demo/Main.java"}, bin + "javac").exitStatus, 0);
    makeDirs(temp / "src/target");
    ASSERT_EQ(run({bin + "jar", "--create", "--file", temp / "src/target/demo.jar",
                   "--main-class", "demo.Main", "-C", temp / "classes", "."},
                  bin + "jar").exitStatus, 0);
    writeFile(temp / "src/COPYING", "Copyright 2026 Example\n\nLicensed under the MIT licence.\n");
    writeFile(temp / "src/demo.cfg", readFile(sourceDir() + "/sample/demo.cfg")
              + "bundle.jdk=" + jdk17 + "\nbundle.maintainer=Jane Doe <jane@example.com>\n"
                "bundle.description=Demonstration of a packaged Java application\n"
                "bundle.description=Demo prints its arguments and the properties of its start.\n"
                "bundle.copyright=COPYING\nbundle.package-name=applauncher-test-sample\n"
                "bundle.homepage=https://example.com/demo\nbundle.license=MIT\n"
                "bundle.formats=tar.gz,deb,rpm\n");
    makeDirs(temp / "out");
    const ProcessResult made = run({"applauncher-assemble", temp / "src/demo.cfg", "--output",
                                    temp / "out"}, assemblePath());
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const std::string deb = temp / "out/applauncher-test-sample_1.0.0-1_amd64.deb";
    const std::string rpm = temp / "out/applauncher-test-sample-1.0.0-1.x86_64.rpm";

    const ProcessResult lintian = run({"lintian", "--no-cfg", deb});
    EXPECT_EQ(unexpected(lintian.out + lintian.err, {"E: ", "W: "},
                         {"initial-upload-closes-no-bugs"}), Strings())
            << lintian.out << lintian.err;
    const ProcessResult rpmlint = run({"rpmlint", "-r", sourceDir()
            + "/src/linux/resources/applauncher.rpmlintrc", rpm});
    EXPECT_EQ(unexpected(rpmlint.out + rpmlint.err, {"E: ", "W: "},
                         {"jar-not-indexed", "hidden-file-or-dir", "files-duplicate",
                          "desktopfile-without-binary", "invalid-license"}), Strings())
            << rpmlint.out << rpmlint.err;
    EXPECT_NE(rpmlint.out.find(" 0 errors"), std::string::npos) << rpmlint.out;

    makeDirs(temp / "x");
    ASSERT_EQ(run({"tar", "-xzf", temp / "out/Demo-1.0.0-linux-x86_64.tar.gz", "-C",
                   temp / "x"}).exitStatus, 0);
    expectGreets(temp / "x/Demo/bin/Demo");

    const std::string root = temp / "dpkg";
    for (const char* dir : {"/var/lib/dpkg/info", "/var/lib/dpkg/updates",
                            "/var/lib/dpkg/triggers"}) {
        makeDirs(root + dir);
    }
    writeFile(root + "/var/lib/dpkg/status", "");
    const ProcessResult installed = run({"dpkg", "--root=" + root, "--force-depends", "-i", deb});
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    expectGreets(root + "/opt/Demo/bin/Demo");
    ASSERT_EQ(run({"dpkg", "--root=" + root, "-r", "applauncher-test-sample"}).exitStatus, 0);
    EXPECT_FALSE(exists(root + "/opt/Demo"));

    const ProcessResult rpmInstalled = run({"rpm", "-i", "--root", temp / "rpm", "--nodeps",
                                            "--noscripts", rpm});
    ASSERT_EQ(rpmInstalled.exitStatus, 0) << rpmInstalled.out << rpmInstalled.err;
    expectGreets(temp / "rpm/opt/Demo/bin/Demo");
}

} // namespace
} // namespace jdk_tests
