#include "Icns.h"

#include <cstdint>

#include "ErrorHandling.h"

namespace {

const char pngSignature[] = "\x89PNG\r\n\x1a\n";
const std::size_t headerEnd = 24;

struct EntryType {
    std::uint32_t side;
    const char* type;
};

// The types that take PNG data, one for each side length.
const EntryType entryTypes[] = {
    {16, "icp4"}, {32, "icp5"}, {64, "icp6"}, {128, "ic07"},
    {256, "ic08"}, {512, "ic09"}, {1024, "ic10"},
};

std::uint32_t bigEndian(const std::string& bytes, std::size_t pos) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[pos + i]);
    }
    return value;
}

std::string bigEndianBytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[i] = static_cast<char>(value & 0xff);
        value >>= 8;
    }
    return bytes;
}

} // namespace

std::string icnsFromPng(const std::string& png, const std::string& path) {
    if (png.size() < headerEnd || png.compare(0, 8, pngSignature, 8) != 0
            || png.compare(12, 4, "IHDR") != 0) {
        VT_THROW(tstrings::any() << "The icon \"" << path
                 << "\" is not a PNG image");
    }
    const std::uint32_t width = bigEndian(png, 16);
    const std::uint32_t height = bigEndian(png, 20);
    const char* type = nullptr;
    for (const EntryType& entry : entryTypes) {
        if (width == entry.side && height == entry.side) {
            type = entry.type;
        }
    }
    if (type == nullptr || png.size() > 0x7fffffffu - 16) {
        VT_THROW(tstrings::any() << "The icon \"" << path << "\" is "
                 << static_cast<unsigned long>(width) << "x"
                 << static_cast<unsigned long>(height)
                 << " pixels; an icon needs a square PNG image of 16, 32, 64, "
                    "128, 256, 512 or 1024 pixels (1024 is best)");
    }
    const std::uint32_t entrySize = static_cast<std::uint32_t>(png.size() + 8);
    return "icns" + bigEndianBytes(entrySize + 8) + type
            + bigEndianBytes(entrySize) + png;
}
