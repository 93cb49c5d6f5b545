#include "Icns.h"

#include <algorithm>
#include <cstdint>

#include "ErrorHandling.h"

namespace {

struct EntryType {
    std::uint32_t side;
    const char* type;
};

// The types that take PNG data, one for each side length.
const EntryType entryTypes[] = {
    {16, "icp4"}, {32, "icp5"}, {64, "icp6"}, {128, "ic07"},
    {256, "ic08"}, {512, "ic09"}, {1024, "ic10"},
};

std::string bigEndianBytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[i] = static_cast<char>(value & 0xff);
        value >>= 8;
    }
    return bytes;
}

const char* typeOf(std::uint32_t side) {
    for (const EntryType& entry : entryTypes) {
        if (side == entry.side) {
            return entry.type;
        }
    }
    return nullptr;
}

} // namespace

std::string icnsFromIcons(const std::vector<IconImage>& icons) {
    std::vector<const IconImage*> fitting;
    for (const IconImage& icon : icons) {
        if (typeOf(icon.side) != nullptr) {
            fitting.push_back(&icon);
        }
    }
    if (fitting.empty()) {
        VT_THROW(tstrings::any() << "No icon fits a bundle (bundle.icon): a "
                 "bundle's icon needs a square PNG image of 16, 32, 64, 128, "
                 "256, 512 or 1024 pixels (1024 is best)");
    }
    std::stable_sort(fitting.begin(), fitting.end(),
                     [](const IconImage* a, const IconImage* b) {
                         return a->side < b->side;
                     });
    std::string body;
    for (std::size_t i = 0; i < fitting.size(); ++i) {
        const IconImage& icon = *fitting[i];
        if (i > 0 && fitting[i - 1]->side == icon.side) {
            VT_THROW(tstrings::any() << "The icons \"" << fitting[i - 1]->path
                     << "\" and \"" << icon.path << "\" are both "
                     << static_cast<unsigned long>(icon.side) << " pixels; "
                        "give one icon for each size");
        }
        if (icon.png.size() > 0x7fffffffu - 16 - body.size()) {
            VT_THROW(tstrings::any() << "The icons (bundle.icon) are too "
                     "large for an icns file");
        }
        body += typeOf(icon.side) + bigEndianBytes(
                static_cast<std::uint32_t>(icon.png.size() + 8)) + icon.png;
    }
    return "icns" + bigEndianBytes(static_cast<std::uint32_t>(body.size() + 8))
            + body;
}

bool isIcnsSize(std::uint32_t side) {
    return typeOf(side) != nullptr;
}
