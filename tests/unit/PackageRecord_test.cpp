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
        EXPECT_EQ(provePackage(read, read[i].name, FileIdentity()),
                  PackageProof::NameOnly);
    }
    // The stamp's first line is its mark, never a record.
    EXPECT_EQ(stampedPackageRecords("package a.deb\n").size(), 0u);
}

TEST(PackageRecord, AFileIsThePackageOnlyWithTheSameSizeAndChecksum) {
    const PackageRecords records = {recorded("a.deb", 5, helloCrc)};
    const FileIdentity hello = recorded("", 5, helloCrc).identity;
    EXPECT_EQ(provePackage(records, "a.deb", hello), PackageProof::Proven);
    EXPECT_EQ(provePackage(records, "a.deb", recorded("", 5, helloCrc ^ 1).identity),
              PackageProof::Changed);
    EXPECT_EQ(provePackage(records, "a.deb", recorded("", 6, helloCrc).identity),
              PackageProof::Changed);
    EXPECT_EQ(provePackage(records, "a.rpm", hello), PackageProof::Unproven);
    EXPECT_EQ(provingRecord(records, "a.rpm", hello), nullptr);
    EXPECT_FALSE(recordsSize(records, "a.rpm", 5));
    const PackageRecord* a = &records[0];

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
    EXPECT_TRUE(identity == a->identity);
    ASSERT_TRUE(readFileIdentity(dir / "big", identity));
    ASSERT_TRUE(readFileIdentity(dir / "big2", other));
    EXPECT_EQ(identity.size, (3u << 20) + 1);
    EXPECT_FALSE(identity == other);
    for (const char* none : {"link", "fifo", "missing"}) {
        EXPECT_FALSE(readFileIdentity(dir / none, identity)) << none;
    }
    // A size no record has is not read: the file cannot be proven anyway.
    std::vector<unsigned long long> asked;
    ASSERT_TRUE(readFileIdentity(dir / "big", identity, [&](unsigned long long size) {
        asked.push_back(size);
        return false;
    }));
    EXPECT_EQ(asked, std::vector<unsigned long long>{(3u << 20) + 1});
    EXPECT_EQ(identity.size, (3u << 20) + 1);
    EXPECT_FALSE(identity == other);
}

// A run that replaces a package it proved records the earlier identity
// too: a file with either is proven, and only the one that proved it is
// carried on, so a name never has more than two lines.
TEST(PackageRecord, TheEarlierIdentityProvenStaysRecordedBesideTheNew) {
    const PackageRecords stamped = {recorded("a.deb", 5, helloCrc),
                                    recorded("a.deb", 7, 0x1234)};
    EXPECT_EQ(provePackage(stamped, "a.deb", recorded("", 7, 0x1234).identity),
              PackageProof::Proven);
    EXPECT_EQ(provePackage(stamped, "a.deb", recorded("", 5, helloCrc).identity),
              PackageProof::Proven);
    EXPECT_EQ(provePackage(stamped, "a.deb", recorded("", 7, 0x1235).identity),
              PackageProof::Changed);
    EXPECT_TRUE(recordsSize(stamped, "a.deb", 7) && recordsSize(stamped, "a.deb", 5));

    TempDir out;
    TempDir workspace;
    writeFile(out / "a.deb", "hello");
    writeFile(workspace / "a.deb", "");
    PackagePlan plan;
    plan.outputDir = out.path();
    plan.replacedPackages = {checkEarlierPackage(out / "a.deb", "a.deb", stamped)};
    EXPECT_EQ(packageRecordLines(recordPackages(plan, {"a.deb"}, workspace.path())),
              "package a.deb 0 00000000\npackage a.deb 5 3610a686\n");
    // Made again the same, it is one line.
    writeFile(workspace / "a.deb", "hello");
    EXPECT_EQ(packageRecordLines(recordPackages(plan, {"a.deb"}, workspace.path())),
              "package a.deb 5 3610a686\n");
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
    EXPECT_EQ(checkEarlierPackage(path, "a.tar.gz", records).identity.size, 5u);
    EXPECT_EQ(check({nameOnly}), "\"" + path + "\" was recorded by an earlier "
              "applauncher-assemble without its contents, so it cannot be proven "
              "unchanged: remove it to make it anew");
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
    writeFile(out / "old.deb", "anything");
    PackageRecord oldDeb;
    oldDeb.name = "old.deb";
    PackageRecord goneDeb;
    goneDeb.name = "gone.deb";
    plan.keptPackages = {recorded("kept.rpm", 5, helloCrc),
                         recorded("edited.zip", 5, helloCrc),
                         recorded("gone.dmg", 5, helloCrc), oldDeb, goneDeb};
    // A name recorded alone by an earlier version stays so while its file
    // is there.
    EXPECT_EQ(packageRecordLines(recordPackages(plan, {"new.deb"}, workspace.path())),
              "package new.deb 5 3610a686\npackage kept.rpm 5 3610a686\n"
              "package old.deb\n");
    EXPECT_NE(errorOf([&] { recordPackages(plan, {"lost.deb"}, workspace.path()); }), "");
}

} // namespace
