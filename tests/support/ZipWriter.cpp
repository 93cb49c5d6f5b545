#include "ZipWriter.h"

#include <algorithm>

#include "TestBytes.h"

namespace testing_support {

namespace {

// Raw deflate data made of stored blocks.
std::string storedBlocks(const std::string& data) {
    std::string out;
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(0xffff, data.size() - pos);
        out += static_cast<char>(pos + n == data.size() ? 1 : 0);
        out += le(n, 2) + le(n ^ 0xffff, 2) + data.substr(pos, n);
        pos += n;
    } while (pos < data.size());
    return out;
}

} // namespace

std::string makeZip(const std::vector<ZipItem>& items,
                    const ZipShape& shape) {
    const std::uint64_t all = 0xffffffffu;
    std::string out, dir;
    for (const ZipItem& item : items) {
        const std::string data =
                item.deflate ? storedBlocks(item.data) : item.data;
        const std::string sizes = le(data.size(), 4) + le(item.data.size(), 4);
        const std::string common = le(20, 2) + le(shape.descriptors ? 8 : 0, 2)
                + le(item.deflate ? 8 : 0, 2) + le(0, 4)
                + le(shape.crcs ? crc32(item.data) : 0, 4);
        const std::uint64_t offset = out.size();
        out += "PK\3\4" + common + (shape.descriptors ? le(0, 8) : sizes)
                + le(item.name.size(), 2) + le(shape.localExtra.size(), 2)
                + item.name + shape.localExtra + data;
        if (shape.descriptors) {
            out += "PK\7\10" + le(0, 4) + sizes;
        }
        const std::string extra = !shape.zip64 ? std::string()
                : le(1, 2) + le(24, 2) + le(item.data.size(), 8)
                        + le(data.size(), 8) + le(offset, 8);
        dir += "PK\1\2" + le(20, 2) + common
                + (shape.zip64 ? le(all, 4) + le(all, 4) : sizes)
                + le(item.name.size(), 2) + le(extra.size(), 2) + le(0, 2)
                + le(0, 8)
                + le(shape.zip64 ? all : offset, 4) + item.name + extra;
    }
    const std::uint64_t dirOffset = out.size();
    out += dir;
    if (shape.zip64) {
        const std::uint64_t record = out.size();
        out += "PK\6\6" + le(44, 8) + le(45, 2) + le(45, 2) + le(0, 8)
                + le(items.size(), 8) + le(items.size(), 8)
                + le(dir.size(), 8) + le(dirOffset, 8);
        out += "PK\6\7" + le(0, 4) + le(record, 8) + le(1, 4);
    }
    const std::uint64_t count = shape.zip64 ? 0xffff : items.size();
    out += "PK\5\6" + le(0, 4) + le(count, 2) + le(count, 2)
            + le(shape.zip64 ? all : dir.size(), 4)
            + le(shape.zip64 ? all : dirOffset, 4)
            + le(shape.comment.size(), 2) + shape.comment;
    return shape.prefix + out + shape.trailer;
}

std::string makeJar(const std::vector<ZipItem>& items) {
    ZipShape shape;
    shape.crcs = true;
    return makeZip(items, shape);
}

std::string jarWithMainClass(const std::string& mainClass) {
    const std::string manifest = "Manifest-Version: 1.0\r\n"
            + (mainClass.empty() ? "" : "Main-Class: " + mainClass + "\r\n")
            + "\r\n";
    return makeJar({{"META-INF/MANIFEST.MF", manifest},
                    {"demo/Main.class", "\xca\xfe\xba\xbe"}});
}

std::string patched(std::string bytes, std::size_t fromEnd,
                    std::uint64_t value, int size) {
    bytes.replace(bytes.size() - fromEnd, size, le(value, size));
    return bytes;
}

} // namespace testing_support
