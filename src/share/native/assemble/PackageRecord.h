// How the output's stamp records the packages written beside it: each by
// its file name, its size and the CRC-32 of its whole contents, so that
// --replace replaces or removes a package file only while it is still the
// file this command wrote. The lines are added to the stamp once the
// packages exist (the packages themselves hold the stamp without them).
// Stamps of earlier versions name a package alone; such a line proves
// nothing about the file.
#ifndef PACKAGERECORD_H
#define PACKAGERECORD_H

#include <cstdint>
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

/// The record of the package `name` in `records`; null when there is none.
const PackageRecord* findPackageRecord(const PackageRecords& records,
                                       const std::string& name);

enum class PackageProof {
    /// The file is the package recorded.
    Proven,
    /// The record has an identity, and the file's differs: it changed since
    /// it was written.
    Changed,
    /// Nothing records the file with an identity.
    Unproven,
};

/// Whether the file of identity `file` is the package that `record`
/// (possibly null) records.
PackageProof provePackage(const PackageRecord* record,
                          const FileIdentity& file);

/// The size and CRC-32 of the regular file at `path` (a link is not
/// followed), read in pieces; false when it is no regular file or cannot
/// be read.
bool readFileIdentity(const std::string& path, FileIdentity& identity);

#endif // PACKAGERECORD_H
