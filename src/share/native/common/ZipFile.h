// A zip archive such as a jar: the entries of its central directory and the
// data of each, stored or deflated. Reads what the Java runtime's zip reader
// reads: archives with a launch script or other bytes in front of the zip
// data (the directory's offsets count from where the zip data starts), a
// comment or other bytes after the end record, ZIP64 end records and sizes
// and offsets in ZIP64 extra fields, entries written with data descriptors,
// local headers whose name and extra fields differ from the directory's.
// Like the runtime, it refuses a ZIP64 archive with a script in front (its
// ZIP64 end record is no longer where the locator says).
// Every offset and size taken from the archive is checked against the file
// before anything is read or allocated for it, and the directory is parsed
// through a window of fixed size: what a damaged or hostile archive claims
// never decides how much memory is taken.
#ifndef ZIPFILE_H
#define ZIPFILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Inflater.h"
#include "ReadOnlyFile.h"

/// One entry of the central directory.
struct ZipEntry {
    std::string name;
    /// 0: stored, 8: deflated; entries of other methods cannot be read.
    unsigned method = 0;
    /// The general purpose flags; bit 0 marks an encrypted entry, which
    /// cannot be read.
    unsigned flags = 0;
    /// The sizes as the directory gives them (from the ZIP64 field when
    /// the 32-bit one says so). A read takes `compressedSize` bytes from
    /// the file; what they decompress to is the data, whatever `size` says.
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    /// Where the entry's local header lies in the file, counted from the
    /// file's first byte (whatever lies in front of the zip data included).
    std::uint64_t localHeader = 0;
};

class ZipFile {
public:
    /// Reads the central directory of the regular file at `path`.
    explicit ZipFile(const std::string& path);

    /// Reads the central directory of `file`.
    explicit ZipFile(std::unique_ptr<ReadOnlyFile> file);

    /// Why the archive cannot be read, naming the file when it was opened
    /// by path; empty when its directory was read.
    const std::string& error() const { return why; }

    /// The entries in the directory's order; none when error() says why.
    const std::vector<ZipEntry>& entries() const { return list; }

    /// The entry named exactly `name` (directories end with '/'); the last
    /// one when there are several, the one the runtime takes. Null when
    /// there is none.
    const ZipEntry* find(const std::string& name) const;

    /// The data of `entry`, one of entries(), decompressed into `data`, at
    /// most `limit` bytes. True when all of it is there, or when `stop`
    /// (see Inflater::Stop, also asked of stored data as it grows) ended the
    /// read early: `data` then holds what was read up to there, cut at
    /// `limit`. False, with `data` empty, when the entry is larger than
    /// `limit`, encrypted, compressed otherwise, damaged or lies outside the
    /// file.
    bool read(const ZipEntry& entry, std::string& data, std::size_t limit,
              const Inflater::Stop& stop = Inflater::Stop()) const;

private:
    void readDirectory();

    std::unique_ptr<ReadOnlyFile> file;
    std::vector<ZipEntry> list;
    std::string why;
};

#endif // ZIPFILE_H
