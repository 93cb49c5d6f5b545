#include "PngImage.h"

#include <algorithm>
#include <iterator>

#include <zlib.h>

#include "ErrorHandling.h"

namespace {

const char signature[] = "\x89PNG\r\n\x1a\n";
const std::size_t signatureSize = 8;

const std::uint32_t hicolorSizes[] = {16, 22, 24, 32, 48, 64, 96, 128, 192,
                                      256, 512};

std::uint32_t bigEndian(const std::string& bytes, std::size_t pos) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[pos + i]);
    }
    return value;
}

bool isChunkType(const std::string& png, std::size_t pos) {
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const char c = png[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

std::uint32_t crcOf(const std::string& png, std::size_t pos,
                    std::size_t size) {
    const uLong crc = crc32(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(crc32(
            crc, reinterpret_cast<const Bytef*>(png.data() + pos),
            static_cast<uInt>(size)));
}

[[noreturn]] void notPng(const std::string& path, const std::string& why) {
    VT_THROW(tstrings::any() << "The icon \"" << path
             << "\" is not a PNG image: " << why);
}

// Walks the chunks after the signature; returns the IHDR data's offset.
std::size_t checkChunks(const std::string& png, const std::string& path) {
    std::size_t pos = signatureSize;
    std::size_t header = 0;
    for (bool first = true;; first = false) {
        if (png.size() - pos < 12) {
            notPng(path, "it ends before its IEND chunk");
        }
        const std::uint32_t length = bigEndian(png, pos);
        if (length > 0x7fffffffu || png.size() - pos - 12 < length) {
            notPng(path, "a chunk runs past the end of the file");
        }
        if (!isChunkType(png, pos + 4)) {
            notPng(path, "a chunk has no valid type");
        }
        const std::string type = png.substr(pos + 4, 4);
        if (crcOf(png, pos + 4, length + 4) != bigEndian(png, pos + 8 + length)) {
            notPng(path, "the CRC of its " + type + " chunk does not match");
        }
        if (first != (type == "IHDR") || (first && length != 13)) {
            notPng(path, "it does not start with an IHDR chunk");
        }
        if (first) {
            header = pos + 8;
        }
        pos += 12 + length;
        if (type == "IEND") {
            return header;
        }
    }
}

} // namespace

IconImage readPngIcon(const std::string& png, const std::string& path) {
    if (png.size() < signatureSize
            || png.compare(0, signatureSize, signature, signatureSize) != 0) {
        notPng(path, "it lacks the PNG signature");
    }
    const std::size_t header = checkChunks(png, path);
    const std::uint32_t width = bigEndian(png, header);
    const std::uint32_t height = bigEndian(png, header + 4);
    if (width != height || width == 0) {
        VT_THROW(tstrings::any() << "The icon \"" << path << "\" is "
                 << static_cast<unsigned long>(width) << "x"
                 << static_cast<unsigned long>(height)
                 << " pixels; an icon is square");
    }
    return IconImage{path, png, width};
}

bool isHicolorSize(std::uint32_t side) {
    return std::find(std::begin(hicolorSizes), std::end(hicolorSizes), side)
            != std::end(hicolorSizes);
}

std::vector<IconImage> imageIcons(std::vector<IconImage> icons) {
    std::stable_sort(icons.begin(), icons.end(),
                     [](const IconImage& a, const IconImage& b) {
                         return a.side < b.side;
                     });
    std::vector<IconImage> fitting;
    for (const IconImage& icon : icons) {
        if (!isHicolorSize(icon.side)) {
            continue;
        }
        if (!fitting.empty() && fitting.back().side == icon.side) {
            VT_THROW(tstrings::any() << "The icons \"" << fitting.back().path
                     << "\" and \"" << icon.path << "\" are both "
                     << static_cast<unsigned long>(icon.side) << " pixels"
                        "; give one icon for each size");
        }
        fitting.push_back(icon);
    }
    if (fitting.empty()) {
        const char* sizes = "square PNG images of 16, 22, 24, 32, 48, 64, 96, "
                            "128, 192, 256 or 512 pixels";
        if (icons.size() == 1) {
            VT_THROW(tstrings::any() << "The icon \"" << icons[0].path
                     << "\" is " << static_cast<unsigned long>(icons[0].side)
                     << "x" << static_cast<unsigned long>(icons[0].side)
                     << " pixels; an image's icons are " << sizes);
        }
        VT_THROW(tstrings::any() << "No icon fits an image (bundle.icon): an "
                 "image's icons are " << sizes);
    }
    return fitting;
}
