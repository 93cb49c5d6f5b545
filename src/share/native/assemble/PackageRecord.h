// How the output's stamp records the packages written beside it: each by
// its file name, its size and the CRC-32 of its whole contents, so that
// --replace replaces or removes a package file only while it is still the
// file this command wrote. The lines are added to the stamp once the
// packages exist (the packages themselves hold the stamp without them).
// A run that replaces a package it proved records both the new package and
// the earlier one under that name, so that a crash between the output's
// exchange and the package's leaves the earlier package proven still: a
// name has at most two lines. Stamps of earlier versions name a package
// alone; such a line proves nothing about the file.
#ifndef PACKAGERECORD_H
#define PACKAGERECORD_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// What tells one file's contents from another's.
struct FileIdentity {
    unsigned long long size = 0;
    std::uint32_t crc = 0;
};

bool operator==(const FileIdentity& a, const FileIdentity& b);

struct PackageRecord {
    std::string name;
    /// False for a line that names the package alone.
    bool hasIdentity = false;
    FileIdentity identity;
};

typedef std::vector<PackageRecord> PackageRecords;

/// The stamp's line (without its line feed) that records the package
/// `record`: "package <name> <size> <crc32, 8 hex digits>", or, without an
/// identity, "package <name>".
std::string packageRecordLine(const PackageRecord& record);

/// The lines for `records`, each ending in a line feed.
std::string packageRecordLines(const PackageRecords& records);

/// The packages the stamp text `stamp` records, in its order. The first
/// line (the stamp's mark) is no record; a name that is not a plain file
/// name (empty, ".", "..", one with a '/') is skipped.
PackageRecords stampedPackageRecords(const std::string& stamp);

enum class PackageProof {
    /// A record of the name has the file's identity.
    Proven,
    /// The name's records have identities, and the file's is none of them:
    /// it changed since it was written.
    Changed,
    /// An earlier version recorded the name alone: nothing proves the file.
    NameOnly,
    /// Nothing records the name.
    Unproven,
};

/// Whether the file `name` of identity `file` is a package that `records`
/// record.
PackageProof provePackage(const PackageRecords& records,
                          const std::string& name, const FileIdentity& file);

/// The record of `name` in `records` that has the identity `file`; null
/// when none has.
const PackageRecord* provingRecord(const PackageRecords& records,
                                   const std::string& name,
                                   const FileIdentity& file);

/// True when a record of `name` in `records` has an identity of `size`
/// bytes: only then can a file of that size be proven.
bool recordsSize(const PackageRecords& records, const std::string& name,
                 unsigned long long size);

/// `records` without repeated lines, in their order.
PackageRecords distinctRecords(const PackageRecords& records);

/// The size and CRC-32 of the regular file at `path` (a link is not
/// followed), read in pieces; false when it is no regular file or cannot
/// be read. When `worthReading` refuses the file's size, nothing is read:
/// the identity holds that size and a CRC of 0.
bool readFileIdentity(const std::string& path, FileIdentity& identity,
                      const std::function<bool(unsigned long long)>&
                              worthReading = nullptr);

#endif // PACKAGERECORD_H
