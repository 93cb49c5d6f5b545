// Zip archives made in memory for the tests of the zip reader, in the
// shapes that real tools and files give them, and the jars that the
// tests of the assembly command package.
#ifndef ZIPWRITER_H
#define ZIPWRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct ZipItem {
    std::string name;
    std::string data;
    /// Deflated (as stored deflate blocks), else stored.
    bool deflate = false;
};

struct ZipShape {
    explicit ZipShape(std::string prefix = "", std::string comment = "",
                      std::string trailer = "", bool zip64 = false,
                      bool descriptors = false, std::string localExtra = "")
        : prefix(prefix), comment(comment), trailer(trailer), zip64(zip64),
          descriptors(descriptors), localExtra(localExtra) {}

    /// Bytes in front of the zip data, such as a launch script.
    std::string prefix;
    /// The end record's comment.
    std::string comment;
    /// Bytes after the end record that its comment does not cover.
    std::string trailer;
    /// Sizes and offsets in ZIP64 extra fields and a ZIP64 end record, the
    /// 32-bit fields saying so.
    bool zip64;
    /// No sizes in the local headers; a data descriptor after each entry.
    bool descriptors;
    /// An extra field in the local headers only.
    std::string localExtra;
    /// Each entry's CRC-32 in its headers; else the CRCs are left 0.
    bool crcs = false;
};

/// The archive of `items` in `shape`.
std::string makeZip(const std::vector<ZipItem>& items,
                    const ZipShape& shape = ZipShape());

/// A jar as any reader takes it: `items` with their CRCs, no prefix.
std::string makeJar(const std::vector<ZipItem>& items);

/// A jar of stored entries with their CRCs: a manifest that names
/// `mainClass` (no Main-Class line when it is empty) and the class file
/// "demo/Main.class".
std::string jarWithMainClass(const std::string& mainClass);

/// `bytes` with the `size` bytes that start `fromEnd` bytes before its end
/// set to `value`, little-endian.
std::string patched(std::string bytes, std::size_t fromEnd,
                    std::uint64_t value, int size);

} // namespace testing_support

#endif // ZIPWRITER_H
