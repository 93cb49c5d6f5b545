// Fuzzes the zip reader on any bytes taken as a file: the directory, the
// data of each entry within a limit, the manifest's main section. Besides
// running clean: data is never longer than its limit, stored data is as
// long as the directory says, a read ended early is the start of the whole
// read, and the main section is what a plain reading of the whole manifest
// gives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "JarManifest.h"
#include "ZipFile.h"

namespace {

const std::size_t entryLimit = 64u << 10;
const std::size_t manifestLimit = 1u << 20;
const std::size_t entriesRead = 32;

// The text up to its first empty line, the slow way.
std::string mainSectionOf(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') {
        pos = text.find_first_of("\r\n", pos);
        if (pos == std::string::npos) {
            return text;
        }
        pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    }
    return text.substr(0, pos);
}

void checkEntry(const ZipFile& zip, const ZipEntry& entry) {
    CHECK(zip.find(entry.name) != nullptr);
    CHECK(zip.find(entry.name)->name == entry.name);
    std::string whole, start;
    const bool read = zip.read(entry, whole, entryLimit);
    CHECK(whole.size() <= entryLimit);
    CHECK(!read || entry.method != 0 || whole.size() == entry.compressedSize);
    const bool started = zip.read(entry, start, entryLimit,
                                  [](const std::string& data) {
                                      return data.size() >= 100;
                                  });
    CHECK(start.size() <= entryLimit);
    CHECK(!read || (started && whole.compare(0, start.size(), start) == 0));
}

void checkManifest(const ZipFile& zip) {
    std::string text, whole;
    const bool read = JarManifest::read(zip, text);
    CHECK(!read || text.size() <= manifestLimit);
    CHECK(!read || mainSectionOf(text) == text);
    const ZipEntry* entry = zip.find("META-INF/MANIFEST.MF");
    if (entry != nullptr && zip.read(*entry, whole, manifestLimit)) {
        CHECK(read && text == mainSectionOf(whole));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
    const ZipFile zip(std::unique_ptr<ReadOnlyFile>(
            new MemoryFile(std::string(data, data + size))));
    CHECK(zip.error().empty() || zip.entries().empty());
    for (std::size_t i = 0; i < zip.entries().size() && i < entriesRead; ++i) {
        checkEntry(zip, zip.entries()[i]);
    }
    checkManifest(zip);
    return 0;
}
