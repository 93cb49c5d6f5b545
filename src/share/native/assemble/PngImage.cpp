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

// The bit depths each colour type allows, by colour type.
bool isValidDepth(unsigned colourType, unsigned depth) {
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8
                || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

unsigned channelsOf(unsigned colourType) {
    switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

// The bytes of the filtered image data of a `width` x `height` image of
// `bitsPerPixel`: each row of each pass, with its filter byte.
std::uint64_t imageDataSize(std::uint64_t width, std::uint64_t height,
                            unsigned bitsPerPixel, bool interlaced) {
    struct Pass { unsigned x, y, dx, dy; };
    static const Pass adam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                 {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                 {0, 1, 1, 2}};
    static const Pass whole[] = {{0, 0, 1, 1}};
    std::uint64_t size = 0;
    for (const Pass& pass : interlaced ? std::vector<Pass>(std::begin(adam7),
                                                           std::end(adam7))
                                       : std::vector<Pass>(std::begin(whole),
                                                           std::end(whole))) {
        const std::uint64_t w = width > pass.x
                ? (width - pass.x + pass.dx - 1) / pass.dx : 0;
        const std::uint64_t h = height > pass.y
                ? (height - pass.y + pass.dy - 1) / pass.dy : 0;
        if (w != 0 && h != 0) {
            size += h * (1 + (w * bitsPerPixel + 7) / 8);
        }
    }
    return size;
}

// The size of what `data` inflates to, up to `limit` + 1; -1 when it is not
// one whole zlib stream.
std::int64_t inflatedSize(const std::string& data, std::uint64_t limit) {
    z_stream stream = z_stream();
    if (inflateInit(&stream) != Z_OK) {
        return -1;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    std::vector<unsigned char> out(1 << 16);
    std::uint64_t total = 0;
    int status = Z_OK;
    while (status == Z_OK && total <= limit) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        total += out.size() - stream.avail_out;
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;
        }
    }
    inflateEnd(&stream);
    if (total > limit) {
        return static_cast<std::int64_t>(total);
    }
    return status == Z_STREAM_END && stream.avail_in == 0
            ? static_cast<std::int64_t>(total) : -1;
}

// Checks the IHDR fields at `header` and that `data` (the joined IDAT
// chunks) holds just the image they describe.
void checkImage(const std::string& png, std::size_t header,
                const std::string& data, bool palette,
                const std::string& path) {
    const unsigned depth = static_cast<unsigned char>(png[header + 8]);
    const unsigned colourType = static_cast<unsigned char>(png[header + 9]);
    const unsigned interlace = static_cast<unsigned char>(png[header + 12]);
    if (!isValidDepth(colourType, depth)) {
        notPng(path, (tstrings::any() << "its IHDR chunk gives bit depth "
                      << depth << " with colour type " << colourType).str());
    }
    if (png[header + 10] != 0 || png[header + 11] != 0 || interlace > 1) {
        notPng(path, "its IHDR chunk names an unknown compression, filter or "
                     "interlace method");
    }
    if (colourType == 3 && !palette) {
        notPng(path, "it has a colour palette type but no PLTE chunk");
    }
    if (data.empty()) {
        notPng(path, "it has no IDAT chunk");
    }
    const std::uint64_t expected = imageDataSize(
            bigEndian(png, header), bigEndian(png, header + 4),
            depth * channelsOf(colourType), interlace == 1);
    const std::int64_t size = inflatedSize(data, expected);
    if (size < 0) {
        notPng(path, "its IDAT chunks are not one whole zlib stream");
    }
    if (static_cast<std::uint64_t>(size) != expected) {
        notPng(path, "its IDAT chunks do not hold the image data its IHDR "
                     "chunk describes");
    }
}

// Walks the chunks after the signature, joining the IDAT chunks' data
// into `data`; returns the IHDR data's offset.
std::size_t checkChunks(const std::string& png, const std::string& path,
                        std::string& data, bool& palette) {
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
        if (type == "IDAT") {
            data += png.substr(pos + 8, length);
        }
        palette = palette || type == "PLTE";
        pos += 12 + length;
        if (type == "IEND") {
            if (pos != png.size()) {
                notPng(path, "bytes follow its IEND chunk");
            }
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
    std::string data;
    bool palette = false;
    const std::size_t header = checkChunks(png, path, data, palette);
    checkImage(png, header, data, palette, path);
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
