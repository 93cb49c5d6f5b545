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

using namespace testing_support;

namespace {

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

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

TEST(PackageRecord, StampLinesAreReadBackWithNameSizeAndChecksum) {
    const PackageRecords written = {
        recorded("My Demo-1.2.3-linux-x86_64.tar.gz", 1234567, 0x0badf00d),
        recorded("demo_1.0-1_amd64.deb", 0, 0),
        recorded("demo 1 2.rpm", 18446744073709ull, 0xffffffff),
    };
    const std::string lines = packageRecordLines(written);
    EXPECT_EQ(packageRecordLine(written[0]),
              "package My Demo-1.2.3-linux-x86_64.tar.gz 1234567 0badf00d");
    const PackageRecords read =
            stampedPackageRecords("applauncher-assemble\nbeside x y\n" + lines);
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].name, written[i].name);
        EXPECT_TRUE(read[i].hasIdentity) << read[i].name;
        EXPECT_TRUE(read[i].identity == written[i].identity) << read[i].name;
    }
    // The stamp's first line is its mark, never a record.
    EXPECT_TRUE(stampedPackageRecords(lines).size() == written.size() - 1);
}

TEST(PackageRecord, OldAndMalformedLinesNameAPackageWithoutProvingIt) {
    const PackageRecords read = stampedPackageRecords(
            "applauncher-assemble\n"
            "package a.deb\n"                 // an earlier version's line
            "package b.rpm 12 0BADF00D\n"     // not the checksum's form
            "package c.zip 12 badf00d\n"      // seven digits
            "package d.dmg x12 0badf00d\n"    // no size
            "package  12 0badf00d\n"          // no name
            "package ../e.deb 1 00000000\n"   // not a plain file name
            "package \npackage .\npackages f.deb\n");
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0].name, "a.deb");
    EXPECT_EQ(read[1].name, "b.rpm 12 0BADF00D");
    EXPECT_EQ(read[2].name, "c.zip 12 badf00d");
    EXPECT_EQ(read[3].name, "d.dmg x12 0badf00d");
    FileIdentity any;
    for (const PackageRecord& record : read) {
        EXPECT_FALSE(record.hasIdentity) << record.name;
        EXPECT_EQ(provePackage(&record, any), PackageProof::Unproven);
    }
    EXPECT_EQ(findPackageRecord(read, "b.rpm"), nullptr);
}

TEST(PackageRecord, AFileIsThePackageOnlyWithTheSameSizeAndChecksum) {
    const PackageRecords records = {recorded("a.deb", 5, helloCrc)};
    const PackageRecord* a = findPackageRecord(records, "a.deb");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(findPackageRecord(records, "a.rpm"), nullptr);
    FileIdentity same;
    same.size = 5;
    same.crc = helloCrc;
    FileIdentity otherBytes = same;
    otherBytes.crc ^= 1;
    FileIdentity longer = same;
    longer.size = 6;
    EXPECT_EQ(provePackage(a, same), PackageProof::Proven);
    EXPECT_EQ(provePackage(a, otherBytes), PackageProof::Changed);
    EXPECT_EQ(provePackage(a, longer), PackageProof::Changed);
    EXPECT_EQ(provePackage(nullptr, same), PackageProof::Unproven);
}

TEST(PackageRecord, IdentityOfRegularFilesOnly) {
    TempDir dir;
    writeFile(dir / "hello", "hello");
    writeFile(dir / "empty", "");
    std::string big(3 << 20, 'x');
    big[big.size() - 1] = 'y';
    writeFile(dir / "big", big);
    writeFile(dir / "big2", std::string(3 << 20, 'x'));
    makeSymlink("hello", dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    FileIdentity identity;
    ASSERT_TRUE(readFileIdentity(dir / "hello", identity));
    EXPECT_EQ(identity.size, 5u);
    EXPECT_EQ(identity.crc, helloCrc);
    ASSERT_TRUE(readFileIdentity(dir / "empty", identity));
    EXPECT_EQ(identity.size, 0u);
    EXPECT_EQ(identity.crc, 0u);
    // Read in pieces: the last byte of a file larger than one piece counts.
    FileIdentity other;
    ASSERT_TRUE(readFileIdentity(dir / "big", identity));
    ASSERT_TRUE(readFileIdentity(dir / "big2", other));
    EXPECT_EQ(identity.size, big.size());
    EXPECT_FALSE(identity == other);
    for (const char* none : {"link", "fifo", "missing", ""}) {
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

    writeFile(path, "hello");
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", records); }),
              "");
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", {nameOnly}); }),
              notMade);
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", {}); }),
              notMade);
    writeFile(path, "jello");
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", records); }),
              changed);
    writeFile(path, "hello!");
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", records); }),
              changed);
    // A link to the very file recorded is not the file written.
    writeFile(dir / "elsewhere", "hello");
    ::unlink(path.c_str());
    makeSymlink(dir / "elsewhere", path);
    EXPECT_EQ(errorOf([&] { checkEarlierPackage(path, "a.tar.gz", records); }),
              notMade);
}

TEST(PackageRecord, PackagesMadeAndKeptAreRecordedWhileAsWritten) {
    TempDir out;
    TempDir workspace;
    writeFile(workspace / "new.deb", "hello");
    writeFile(out / "kept.rpm", "hello");
    writeFile(out / "edited.zip", "hello");
    PackagePlan plan;
    plan.outputDir = out.path();
    plan.keptPackages = {recorded("kept.rpm", 5, helloCrc),
                         recorded("edited.zip", 5, helloCrc),
                         recorded("gone.dmg", 5, helloCrc)};
    writeFile(out / "edited.zip", "jello");
    const PackageRecords records =
            recordPackages(plan, {"new.deb"}, workspace.path());
    EXPECT_EQ(packageRecordLines(records),
              "package new.deb 5 3610a686\npackage kept.rpm 5 3610a686\n");
    EXPECT_NE(errorOf([&] { recordPackages(plan, {"lost.deb"},
                                           workspace.path()); }), "");
}

} // namespace
