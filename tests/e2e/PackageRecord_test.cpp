// Packages replaced under --replace only as this command wrote them: the
// stamp records each package's size and checksum once the package exists
// (the package itself holds the stamp without that line); a package
// changed since, even to bytes of the same size, or one that a stamp of an
// earlier version names alone, is refused before any work, and neither it
// nor the output changes. A signed bundle's stamp stays as signed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "AppLayout.h"
#include "AssembleBench.h"
#include "FileChecks.h"
#include "TestSupport.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Strings;

const char* const tarball = "My Demo-1.2.3-linux-x86_64.tar.gz";
const char* const stamp = "My Demo/lib/.applauncher-assemble";

// An application of one jar on the substitute runtime.
class Bench {
public:
    Bench() {
        writeFile(temp / "src/target/demo.jar", jarWithMainClass("demo.Main"));
        writeFakeRuntime(temp / "jdk");
        describe("bundle.runtime=../jdk\n");
    }

    void describe(const std::string& keys) const {
        writeFile(temp / "src/demo.cfg", "[Application]\napp.mainjar=$APPDIR/demo.jar\n"
                  "[Bundle]\nbundle.name=My Demo\nbundle.version=1.2.3\n"
                  "bundle.identifier=com.example.demo\nbundle.content=target\n" + keys);
    }

    std::string out() const { return temp / "out"; }

    ProcessResult assemble(const Strings& options,
                           ProcessOptions process = ProcessOptions()) const {
        Strings args{"applauncher-assemble", temp / "src/demo.cfg", "--output", out(),
                     "--no-start-check"};
        args.insert(args.end(), options.begin(), options.end());
        process.setEnv("SOURCE_DATE_EPOCH", "1796794853");
        process.timeoutSeconds = 120;
        return runProcess(assemblePath(), args, process);
    }

    TempDir temp;
};

TEST(PackageRecord, APackageIsReplacedOnlyAsItWasWritten) {
    Bench b;
    ASSERT_EQ(b.assemble({"--package", "tar.gz"}).exitStatus, 0);
    const std::string path = b.out() + "/" + tarball;
    const std::string written = readFile(path);
    const std::string stampText = readFile(b.out() + "/" + stamp);
    // The stamp records the tarball's size; the tarball holds the stamp as
    // it was before the tarball existed.
    const std::string line = std::string("\npackage ") + tarball + " "
            + std::to_string(written.size()) + " ";
    ASSERT_NE(stampText.find(line), std::string::npos) << stampText;
    const ProcessResult inside = runProcess("/bin/sh", {"sh", "-c",
            "tar -xzOf \"$1\" \"$2\"", "sh", path, stamp});
    EXPECT_EQ(inside.out, stampText.substr(0, stampText.find(line) + 1));

    std::string sameSize = written;
    sameSize[sameSize.size() / 2] ^= 0x55;
    for (const std::string& other : {sameSize, written + "re-signed"}) {
        writeFile(path, other);
        const ProcessResult r = b.assemble({"--replace", "--package", "tar.gz"});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "applauncher-assemble: \"" + path + "\" changed since "
                         "applauncher-assemble wrote it: it is left alone\n");
        EXPECT_EQ(readFile(path), other);
        EXPECT_EQ(readFile(b.out() + "/" + stamp), stampText);
        EXPECT_EQ(listDir(b.out()), (Strings{"My Demo", tarball}));
    }
    // As written, it is this command's: replaced, and recorded anew.
    writeFile(path, written);
    const ProcessResult r = b.assemble({"--replace", "--package", "tar.gz"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(readFile(b.out() + "/" + stamp), stampText);

    // The stamp an earlier version wrote names the package alone.
    const std::string old = std::string("applauncher-assemble\npackage ") + tarball + "\n";
    unlink((b.out() + "/" + stamp).c_str());
    writeFile(b.out() + "/" + stamp, old);
    const std::string nameOnly = "applauncher-assemble: \"" + path + "\" was recorded "
            "by an earlier applauncher-assemble without its contents, so it cannot be "
            "proven unchanged: remove it to make it anew\n";
    ProcessResult refused = b.assemble({"--replace", "--package", "tar.gz"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, nameOnly);
    EXPECT_EQ(readFile(path), written);
    EXPECT_EQ(readFile(b.out() + "/" + stamp), old);
    // A run that makes no package keeps that line while the file is there.
    ASSERT_EQ(b.assemble({"--replace"}).exitStatus, 0);
    EXPECT_EQ(readFile(b.out() + "/" + stamp), old);
    refused = b.assemble({"--replace", "--package", "tar.gz"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, nameOnly);
    unlink(path.c_str());
    ASSERT_EQ(b.assemble({"--replace"}).exitStatus, 0);
    EXPECT_EQ(readFile(b.out() + "/" + stamp), "applauncher-assemble\n");
}

// The number of lines of `stampText` that record the tarball.
std::size_t tarballLines(const std::string& stampText) {
    std::size_t count = 0;
    const std::string line = std::string("\npackage ") + tarball + " ";
    for (std::size_t at = stampText.find(line); at != std::string::npos;
         at = stampText.find(line, at + 1)) {
        ++count;
    }
    return count;
}

// A stop between putting the new output in place and putting its package
// there leaves the earlier package beside the new output: the new stamp
// still proves it, so the next --replace takes it, with or without making
// packages; and only the package proven last is carried on.
TEST(PackageRecord, TheEarlierPackageStaysProvenBesideTheNewOutput) {
    Bench b;
    const std::string path = b.out() + "/" + tarball;
    // Each run's application differs from the one before, and so does its
    // tarball.
    const auto replaceWith = [&](const char* extra, const Strings& options) {
        writeFile(b.temp / (std::string("src/target/") + extra), extra);
        Strings all{"--replace"};
        all.insert(all.end(), options.begin(), options.end());
        return b.assemble(all);
    };
    ASSERT_EQ(b.assemble({"--package", "tar.gz"}).exitStatus, 0);
    const std::string first = readFile(path);
    ProcessResult r = replaceWith("two", {"--package", "tar.gz"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    ASSERT_NE(readFile(path), first);
    EXPECT_EQ(tarballLines(readFile(b.out() + "/" + stamp)), 2u);
    // As a stop before the package's exchange leaves it.
    writeFile(path, first);
    r = replaceWith("three", {"--package", "tar.gz"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string third = readFile(path);
    ASSERT_NE(third, first);
    r = replaceWith("four", {"--package", "tar.gz"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(tarballLines(readFile(b.out() + "/" + stamp)), 2u);

    // The first package, proven two runs back, is no longer.
    writeFile(path, first);
    r = b.assemble({"--replace", "--package", "tar.gz"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "applauncher-assemble: \"" + path + "\" changed since "
                     "applauncher-assemble wrote it: it is left alone\n");
    // What the last run replaced: a run without packages keeps it recorded,
    // and a later one replaces it.
    writeFile(path, third);
    r = replaceWith("five", {});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(tarballLines(readFile(b.out() + "/" + stamp)), 1u);
    r = replaceWith("six", {"--package", "tar.gz"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(readFile(path), third);
}

// A signed bundle's stamp is sealed by its signature, before the packages
// exist: it stays as signed, recording none, and --replace leaves them.
TEST(PackageRecord, ASignedBundlesStampStaysAsSigned) {
    Bench b;
    const std::string bin = b.temp / "bin";
    // codesign keeps the stamp of the bundle it signs.
    writeFile(bin + "/codesign", "#!/bin/sh\nfor last; do :; done\n"
              "case \"$last\" in *.app) cp \"$last/Contents/Resources/"
              ".applauncher-assemble\" \"$SIGNED_STAMP\";; esac\n");
    chmod((bin + "/codesign").c_str(), 0755);
    writeMacInputs(b.temp.path(), AppLayout::bundleMark);
    b.describe("bundle.runtime=../mac.jdk\n");
    ProcessOptions process;
    process.setEnv("PATH", bin + ":/usr/bin:/bin").setEnv("SIGNED_STAMP", b.temp / "signed");
    Strings options{"--target", "bundle", "--launcher", b.temp / "applauncher",
                    "--sign", "-", "--package", "zip"};
    ProcessResult r = b.assemble(options, process);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "applauncher-assemble: note: the signed bundle's stamp cannot record "
                     "the packages made after it was signed: --replace leaves them alone\n");
    EXPECT_EQ(readFile(b.out() + "/My Demo.app/Contents/Resources/.applauncher-assemble"),
              readFile(b.temp / "signed"));

    const std::string zip = b.out() + "/My Demo-1.2.3.zip";
    const std::string written = readFile(zip);
    options.push_back("--replace");
    r = b.assemble(options, process);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "applauncher-assemble: \"" + zip + "\" exists and was not made by "
                     "applauncher-assemble: it is left alone\n");
    EXPECT_EQ(readFile(zip), written);
}

} // namespace
