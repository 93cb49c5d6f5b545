// The rpm of an application whose description is full of rpm macros: each
// field reads back from the package as written and no "%(command)" runs.
// Output folders and names the packages cannot take are refused before
// anything is written.
#include <gtest/gtest.h>

#include <algorithm>

#include "AssembleBench.h"
#include "FileChecks.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

// A description whose package texts each try to run `touch` on a marker of
// their own, its jar and a runtime of the substitute library.
class MacroBench {
public:
    explicit MacroBench(const std::string& keys = "bundle.package-name=macro-demo\n") {
        writeFile(temp / "src/target/demo.jar", jarWithMainClass("demo.Main"));
        writeFile(temp / "src/COPYING", "Copyright 2026 Example %(touch " + marker("copy") + ")\n");
        writeFakeRuntime(temp / "jdk");
        writeFile(temp / "src/demo.cfg", "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
                  "[Bundle]\nbundle.name=Demo\nbundle.identifier=com.example.demo\n"
                  "bundle.version=1.2.3\nbundle.content=target\nbundle.runtime=../jdk\n"
                  "bundle.maintainer=" + maintainer() + "\n"
                  "bundle.description=" + summary() + "\n"
                  "bundle.description=" + paragraph() + "\n"
                  "bundle.license=" + license() + "\n"
                  "bundle.homepage=" + homepage() + "\n"
                  "bundle.copyright=COPYING\n" + keys);
    }
    std::string marker(const std::string& field) const { return temp / ("marker-" + field); }
    std::string maintainer() const { return "Jane %(touch " + marker("maintainer") + ") <j@example.com>"; }
    std::string summary() const { return "Demo %(touch " + marker("summary") + ") 100%"; }
    std::string paragraph() const { return "Runs %(touch " + marker("paragraph") + ") at %{_bindir}"; }
    std::string license() const { return "MIT or %(touch " + marker("license") + ")"; }
    std::string homepage() const { return "https://example.com/%(touch${IFS}" + marker("url") + ")"; }
    ProcessResult assemble(const std::string& out, const std::string& format = "rpm") const {
        ProcessOptions options;
        options.setEnv("SOURCE_DATE_EPOCH", "1796794853");
        options.timeoutSeconds = 120;
        return runProcess(assemblePath(), {"applauncher-assemble", temp / "src/demo.cfg",
                                           "--output", out, "--package", format}, options);
    }
    Strings markers() const {
        Strings found;
        for (const char* field : {"copy", "maintainer", "summary", "paragraph", "license",
                                  "url", "folder"}) {
            if (exists(marker(field))) {
                found.push_back(field);
            }
        }
        return found;
    }
    TempDir temp;
};

TEST(RpmRecipe, MacrosInTheDescriptionStayTextAndRunNothing) {
    if (findTool("rpm").empty() || findTool("rpmbuild").empty()) {
        GTEST_SKIP() << "rpm and rpmbuild are not installed (Debian: rpm); .ci/run installs them";
    }
    MacroBench b;
    const ProcessResult r = b.assemble(b.temp / "out");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string rpm = b.temp / "out/macro-demo-1.2.3-1.x86_64.rpm";
    ProcessOptions options;
    options.timeoutSeconds = 60;
    const ProcessResult info = runProcess(findTool("rpm"), {"rpm", "-qp", "--qf",
            "%{SUMMARY}\\n%{LICENSE}\\n%{URL}\\n%{PACKAGER}\\n%{DESCRIPTION}\\n", rpm}, options);
    ASSERT_EQ(info.exitStatus, 0) << info.err;
    EXPECT_EQ(info.out, b.summary() + "\n" + b.license() + "\n" + b.homepage() + "\n"
              + b.maintainer() + "\n" + b.paragraph() + "\n");
    const ProcessResult log = runProcess(findTool("rpm"), {"rpm", "-qp", "--changelog", rpm},
                                         options);
    EXPECT_NE(log.out.find(b.maintainer()), std::string::npos) << log.out;
    EXPECT_EQ(b.markers(), Strings());
}

TEST(RpmRecipe, OutputFolderRpmbuildCannotTakeIsRefusedFirst) {
    if (findTool("rpmbuild").empty()) {
        GTEST_SKIP() << "rpmbuild is not installed (Debian: rpm); .ci/run installs it";
    }
    MacroBench b;
    const Strings names{"out%(touch " + b.marker("folder") + ")", "it's out"};
    for (const std::string& name : names) {
        const std::string out = b.temp / name;
        const ProcessResult r = b.assemble(out);
        EXPECT_EQ(r.exitStatus, 1) << name;
        EXPECT_EQ(r.err.rfind("applauncher-assemble: An rpm package cannot be made in the "
                              "output folder", 0), 0u) << r.err;
        EXPECT_FALSE(exists(out)) << name;
    }
    EXPECT_EQ(b.markers(), Strings());
}

TEST(RpmRecipe, ContentNameRpmCannotHoldIsRefusedFirst) {
    if (findTool("rpmbuild").empty()) {
        GTEST_SKIP() << "rpmbuild is not installed (Debian: rpm); .ci/run installs it";
    }
    MacroBench b;
    writeFile(b.temp / "src/target/two\nlines.txt", "text");
    const ProcessResult r = b.assemble(b.temp / "out");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("applauncher-assemble: An rpm package cannot hold \"", 0), 0u)
            << r.err;
    EXPECT_NE(r.err.find("two\\nlines.txt\": rpm takes no control character"),
              std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(exists(b.temp / "out"));
}

TEST(PackageChecks, FileNameLongerThanAFileNameMayBeIsRefusedFirst) {
    MacroBench b("bundle.package-name=" + std::string(250, 'p') + "\n");
    const ProcessResult r = b.assemble(b.temp / "out", "deb");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("applauncher-assemble: The package's file name \"ppp", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("more than a file name may have (255)"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(b.temp / "out"));
}

} // namespace
