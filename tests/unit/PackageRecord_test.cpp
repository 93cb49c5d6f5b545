// How the stamp records the packages beside the output, and the decision
// whether a file beside it is still the package recorded: stamp lines
// written and read back (old stamps that name a package alone among them),
// the size and checksum of real files, and the refusal of an earlier
// package that changed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "ErrorHandling.h"
#include "PackageRecord.h"
#include "Packages.h"
#include "TestSupport.h"
#include "ThrownErrors.h"

using namespace testing_support;

namespace {

PackageRecord recorded(const std::string& name, unsigned long long size,
                       std::uint32_t crc) {
    PackageRecord record;
    record.name = name;
    record.hasIdentity = true;
    record.identity.size = size;
    record.identity.crc = crc;
    return record;
}

// The CRC-32 of "hello" as every implementation of it computes.
const std::uint32_t helloCrc = 0x3610a686;

TEST(PackageRecord, StampLinesAreReadBackOldAndMalformedOnesProveNothing) {
    const PackageRecords written = {
        recorded("My Demo-1.2.3-linux-x86_64.tar.gz", 1234567, 0x0badf00d),
        recorded("demo 1 2.rpm", 18446744073709ull, 0xffffffff)};
    EXPECT_EQ(packageRecordLine(written[0]),
              "package My Demo-1.2.3-linux-x86_64.tar.gz 1234567 0badf00d");
    const PackageRecords read = stampedPackageRecords(
            "applauncher-assemble\nbeside x y\n" + packageRecordLines(written)
            + "package a.deb\n"                 // an earlier version's line
            "package b.rpm 12 0BADF00D\n"       // not the checksum's form
            "package c.zip x12 0badf00d\n"      // no size
            "package  12 0badf00d\npackage ../e.deb 1 00000000\n"
            "package \npackage .\npackages f.deb\n");
    ASSERT_EQ(read.size(), 5u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read[i].name, written[i].name);
        EXPECT_TRUE(read[i].hasIdentity && read[i].identity == written[i].identity);
    }
    EXPECT_EQ(read[2].name, "a.deb");
    EXPECT_EQ(read[3].name, "b.rpm 12 0BADF00D");
    EXPECT_EQ(read[4].name, "c.zip x12 0badf00d");
    for (std::size_t i = 2; i < read.size(); ++i) {
        EXPECT_EQ(provePackage(&read[i], FileIdentity()), PackageProof::Unproven);
    }
    // The stamp's first line is its mark, never a record.
    EXPECT_EQ(stampedPackageRecords("package a.deb\n").size(), 0u);
}

TEST(PackageRecord, AFileIsThePackageOnlyWithTheSameSizeAndChecksum) {
    const PackageRecords records = {recorded("a.deb", 5, helloCrc)};
    const PackageRecord* a = findPackageRecord(records, "a.deb");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(findPackageRecord(records, "a.rpm"), nullptr);
    EXPECT_EQ(provePackage(a, recorded("", 5, helloCrc).identity), PackageProof::Proven);
    EXPECT_EQ(provePackage(a, recorded("", 5, helloCrc ^ 1).identity),
              PackageProof::Changed);
    EXPECT_EQ(provePackage(a, recorded("", 6, helloCrc).identity), PackageProof::Changed);
    EXPECT_EQ(provePackage(nullptr, a->identity), PackageProof::Unproven);

    // Of real files, read in pieces: regular files only, every byte counts.
    TempDir dir;
    writeFile(dir / "hello", "hello");
    writeFile(dir / "big", std::string(3 << 20, 'x') + "y");
    writeFile(dir / "big2", std::string(3 << 20, 'x') + "z");
    makeSymlink("hello", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    FileIdentity identity;
    FileIdentity other;
    ASSERT_TRUE(readFileIdentity(dir / "hello", identity));
    EXPECT_EQ(provePackage(a, identity), PackageProof::Proven);
    ASSERT_TRUE(readFileIdentity(dir / "big", identity));
    ASSERT_TRUE(readFileIdentity(dir / "big2", other));
    EXPECT_EQ(identity.size, (3u << 20) + 1);
    EXPECT_FALSE(identity == other);
    for (const char* none : {"link", "fifo", "missing"}) {
        EXPECT_FALSE(readFileIdentity(dir / none, identity)) << none;
    }
}

TEST(PackageRecord, AnEarlierPackageIsReplacedOnlyAsItWasWritten) {
    TempDir dir;
    const std::string path = dir / "a.tar.gz";
    const std::string notMade = "\"" + path + "\" exists and was not made by "
            "applauncher-assemble: it is left alone";
    const std::string changed = "\"" + path + "\" changed since "
            "applauncher-assemble wrote it: it is left alone";
    const PackageRecords records = {recorded("a.tar.gz", 5, helloCrc)};
    PackageRecord nameOnly;
    nameOnly.name = "a.tar.gz";
    const auto check = [&](const PackageRecords& with) {
        return errorOf([&] { checkEarlierPackage(path, "a.tar.gz", with); });
    };
    writeFile(path, "hello");
    EXPECT_EQ(check(records), "");
    EXPECT_EQ(check({nameOnly}), notMade);
    EXPECT_EQ(check({}), notMade);
    for (const char* other : {"jello", "hello!"}) {
        writeFile(path, other);
        EXPECT_EQ(check(records), changed) << other;
    }
    // A link to the very file recorded is not the file written.
    writeFile(dir / "elsewhere", "hello");
    ::unlink(path.c_str());
    makeSymlink(dir / "elsewhere", path);
    EXPECT_EQ(check(records), notMade);
}

TEST(PackageRecord, PackagesMadeAndKeptAreRecordedWhileAsWritten) {
    TempDir out;
    TempDir workspace;
    writeFile(workspace / "new.deb", "hello");
    writeFile(out / "kept.rpm", "hello");
    writeFile(out / "edited.zip", "jello");
    PackagePlan plan;
    plan.outputDir = out.path();
    plan.keptPackages = {recorded("kept.rpm", 5, helloCrc),
                         recorded("edited.zip", 5, helloCrc),
                         recorded("gone.dmg", 5, helloCrc)};
    EXPECT_EQ(packageRecordLines(recordPackages(plan, {"new.deb"}, workspace.path())),
              "package new.deb 5 3610a686\npackage kept.rpm 5 3610a686\n");
    EXPECT_NE(errorOf([&] { recordPackages(plan, {"lost.deb"}, workspace.path()); }), "");
}

} // namespace
