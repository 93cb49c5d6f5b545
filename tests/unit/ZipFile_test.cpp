// The zip reader: the entries and their data in every shape of archive
// that the runtime reads, and damaged archives refused before anything is
// read or allocated for what they claim.
#include <gtest/gtest.h>

#include "JarManifest.h"
#include "TestSupport.h"
#include "ZipFile.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

const std::string script = "#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n";

// Includes an entry larger than the reader's pieces and a deflate block.
std::vector<ZipItem> items() {
    std::string big;
    for (int i = 0; big.size() < 150000; ++i) {
        big += std::to_string(i * 7919) + ' ';
    }
    return {{"META-INF/MANIFEST.MF", "Main-Class: a.B\r\n\r\nName: a\r\n",
             true},
            {"a/", ""},
            {"a/B.class", std::string("\xca\xfe\xba\xbe\0\0", 6)},
            {"module-info.class", big, true}};
}

// The number of `size` bytes that start `fromEnd` bytes before the end.
std::uint64_t field(const std::string& bytes, std::size_t fromEnd, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8
                | static_cast<unsigned char>(bytes[bytes.size() - fromEnd + i]);
    }
    return value;
}

// Fails to read byte 50000, as a file cut short while it is read.
class CutFile : public MemoryFile {
public:
    using MemoryFile::MemoryFile;
    bool read(std::uint64_t offset, char* buffer,
              std::size_t count) const override {
        return (offset > 50000 || offset + count <= 50000)
                && MemoryFile::read(offset, buffer, count);
    }
};

ZipFile zipOf(const std::string& bytes) {
    return ZipFile(std::unique_ptr<ReadOnlyFile>(new MemoryFile(bytes)));
}

} // namespace

TEST(ZipFile, ReadsEveryShapeOfArchiveTheRuntimeReads) {
    const struct {
        const char* what;
        ZipShape shape;
    } shapes[] = {
        {"plain", ZipShape()},
        {"launch script in front", ZipShape(script)},
        {"comment", ZipShape("", "made by hand")},
        {"script in front, stray bytes behind",
         ZipShape(script, "", std::string("\n\0\0", 3))},
        {"data descriptors, local extra field",
         ZipShape("", "", "", false, true, std::string("\x99\x99\x02\0ab", 6))},
        {"ZIP64", ZipShape("", "", "", true)},
        {"ZIP64, comment, descriptors", ZipShape("", "c", "", true, true)},
    };
    for (const auto& c : shapes) {
        const ZipFile zip = zipOf(makeZip(items(), c.shape));
        EXPECT_EQ("", zip.error()) << c.what;
        ASSERT_EQ(items().size(), zip.entries().size()) << c.what;
        for (std::size_t i = 0; i < items().size(); ++i) {
            std::string data;
            EXPECT_EQ(items()[i].name, zip.entries()[i].name) << c.what;
            EXPECT_TRUE(zip.read(zip.entries()[i], data, 1u << 20)) << c.what;
            EXPECT_EQ(items()[i].data, data) << c.what << i;
        }
        std::string manifest;
        EXPECT_TRUE(JarManifest::read(zip, manifest)) << c.what;
        EXPECT_EQ("Main-Class: a.B\r\n", manifest) << c.what;
    }
}

TEST(ZipFile, RefusesDamagedArchives) {
    const std::string good = makeZip(items());
    const std::string good64 = makeZip(items(), ZipShape("", "", "", true));
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"no zip", std::string(70000, 'x')},
        {"cut short", good.substr(0, good.size() - 1)},
        {"cut in half", good.substr(0, good.size() / 2)},
        {"directory larger than the file", patched(good, 10, 0xfffffff0u, 4)},
        {"directory offset too large", patched(good, 6, 0xfffffff0u, 4)},
        {"directory size one short",
         patched(good, 10, field(good, 10, 4) - 1, 4)},
        {"ZIP64 directory larger than the file",
         patched(good64, 58, 0xfffffffffffff0u, 8)},
        {"ZIP64 directory offset too large",
         patched(good64, 50, 0xfffffffffffff0u, 8)},
        {"ZIP64 with a script in front",
         makeZip(items(), ZipShape(script, "", "", true))},
    };
    for (const auto& c : cases) {
        const ZipFile zip = zipOf(c.bytes);
        EXPECT_NE("", zip.error()) << c.what;
        EXPECT_TRUE(zip.entries().empty()) << c.what;
    }
    EXPECT_NE("", ZipFile("/").error());
    EXPECT_NE("", ZipFile("/nonexistent/a.jar").error());
}

TEST(ZipFile, ReadsEntriesWithinALimitOrUntilTheCallerHasEnough) {
    const std::vector<ZipItem> all = items();
    for (const bool deflate : {false, true}) {
        const std::string bytes = makeZip({{"x", all[3].data, deflate}});
        const ZipFile zip = zipOf(bytes);
        const ZipFile cut(std::unique_ptr<ReadOnlyFile>(new CutFile(bytes)));
        std::string data;
        ASSERT_EQ(1u, cut.entries().size());
        EXPECT_FALSE(cut.read(cut.entries()[0], data, 1u << 20));
        EXPECT_FALSE(zip.read(zip.entries()[0], data, all[3].data.size() - 1));
        EXPECT_EQ("", data);
        EXPECT_TRUE(zip.read(zip.entries()[0], data, all[3].data.size()));
        EXPECT_TRUE(zip.read(zip.entries()[0], data, 1000,
                             [](const std::string& d) { return !d.empty(); }));
        EXPECT_EQ(all[3].data.substr(0, 1000), data);
    }
    // An offset one too large moves every local header.
    const std::string prefixed = makeZip(all, ZipShape(script));
    const ZipFile zip =
            zipOf(patched(prefixed, 6, field(prefixed, 6, 4) + 1, 4));
    std::string data;
    ASSERT_EQ(all.size(), zip.entries().size());
    EXPECT_FALSE(zip.read(zip.entries()[2], data, 1u << 20));
}
