// Icons checked as whole PNG files, the sizes an image takes and the icns
// file a bundle gets from several icons.
#include <gtest/gtest.h>

#include <stdexcept>

#include <zlib.h>

#include "Icns.h"
#include "PngImage.h"
#include "TestBytes.h"
#include "TestImages.h"

namespace {

using testing_support::be;
using testing_support::pngChunk;

const std::string signature("\x89PNG\r\n\x1a\n", 8);

std::string header(std::uint32_t width, std::uint32_t height,
                   const std::string& fields = std::string("\x08\x06\0\0\0", 5)) {
    return pngChunk("IHDR", be(width) + be(height) + fields);
}

std::string deflated(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(&out[0]), &size,
             reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

// An RGBA image of 8-bit samples: each row a filter byte and 4 bytes a
// pixel, split over two IDAT chunks.
std::string png(std::uint32_t width, std::uint32_t height) {
    const std::string data = deflated(std::string(height * (1 + 4 * width), '\0'));
    return signature + header(width, height)
            + pngChunk("IDAT", data.substr(0, data.size() / 2))
            + pngChunk("IDAT", data.substr(data.size() / 2)) + pngChunk("IEND", "");
}

std::string errorOf(const std::string& bytes) {
    try {
        readPngIcon(bytes, "i.png");
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(PngImage, AcceptsWholeSquareFiles) {
    const IconImage icon = readPngIcon(png(48, 48), "i.png");
    EXPECT_EQ(icon.side, 48u);
    EXPECT_EQ(icon.path, "i.png");
    EXPECT_EQ(icon.png, png(48, 48));
    // Other types and depths with their own row sizes; an interlaced one
    // holds the rows of its seven passes.
    EXPECT_EQ(readPngIcon(signature + header(16, 16, std::string("\x01\0\0\0\0", 5))
                          + pngChunk("IDAT", deflated(std::string(16 * 3, '\0')))
                          + pngChunk("IEND", ""), "i.png").side, 16u);
    EXPECT_EQ(readPngIcon(signature + header(16, 16, std::string("\x04\x03\0\0\0", 5))
                          + pngChunk("PLTE", std::string(6, '\0'))
                          + pngChunk("IDAT", deflated(std::string(16 * 9, '\0')))
                          + pngChunk("IEND", ""), "i.png").side, 16u);
    // 8x8 RGB, interlaced: passes of 1x1, 1x1, 2x1, 2x2, 4x2, 4x4, 8x4.
    const std::size_t interlaced = (1 + 3) * 2 + (1 + 6) + (1 + 6) * 2
            + (1 + 12) * 2 + (1 + 12) * 4 + (1 + 24) * 4;
    EXPECT_EQ(readPngIcon(signature + header(8, 8, std::string("\x08\x02\0\0\x01", 5))
                          + pngChunk("IDAT", deflated(std::string(interlaced, '\0')))
                          + pngChunk("IEND", ""), "i.png").side, 8u);
}

TEST(PngImage, RefusesFilesWhoseContentNoReaderDecodes) {
    const std::string end = pngChunk("IEND", "");
    const std::string rgba = deflated(std::string(16 * (1 + 4 * 16), '\0'));
    const std::string cases[] = {
        // Bit depth 3; colour type 5; interlace method 7; compression 1.
        signature + header(16, 16, std::string("\x03\x06\0\0\0", 5))
                + pngChunk("IDAT", rgba) + end,
        signature + header(16, 16, std::string("\x08\x05\0\0\0", 5))
                + pngChunk("IDAT", rgba) + end,
        signature + header(16, 16, std::string("\x08\x06\0\0\x07", 5))
                + pngChunk("IDAT", rgba) + end,
        signature + header(16, 16, std::string("\x08\x06\x01\0\0", 5))
                + pngChunk("IDAT", rgba) + end,
        // A palette image without its palette.
        signature + header(16, 16, std::string("\x08\x03\0\0\0", 5))
                + pngChunk("IDAT", deflated(std::string(16 * 17, '\0'))) + end,
        // No IDAT; IDAT not zlib; too little and too much image data.
        signature + header(16, 16) + end,
        signature + header(16, 16) + pngChunk("IDAT", "not zlib at all") + end,
        signature + header(16, 16)
                + pngChunk("IDAT", deflated(std::string(16 * (1 + 4 * 16) - 1, '\0'))) + end,
        signature + header(16, 16)
                + pngChunk("IDAT", deflated(std::string(16 * (1 + 4 * 16) + 1, '\0'))) + end,
        // A stream cut short.
        signature + header(16, 16) + pngChunk("IDAT", rgba.substr(0, rgba.size() - 4)) + end,
        // Bytes after IEND.
        png(16, 16) + "tail",
    };
    for (const std::string& bytes : cases) {
        EXPECT_NE(errorOf(bytes).find("is not a PNG image"), std::string::npos)
                << testing::PrintToString(bytes) << errorOf(bytes);
    }
}

TEST(PngImage, RefusesBrokenOrTruncatedFiles) {
    const std::string good = png(32, 32);
    std::string badCrc = good;
    badCrc[good.size() - 20] ^= 1;  // a byte of the IDAT data
    std::string badType = good;
    badType[8 + 25 + 4] = '1';  // IDAT's type
    const std::string cases[] = {
        "", "GIF89a", signature, good.substr(0, good.size() - 12),
        good.substr(0, good.size() - 1), badCrc, badType,
        signature + pngChunk("IDAT", "x") + header(32, 32) + pngChunk("IEND", ""),
        signature + pngChunk("IHDR", std::string(12, '\0')) + pngChunk("IEND", ""),
        signature + header(32, 32) + be(0x7ffffff0u) + "IDAT" + "xx",
    };
    for (const std::string& bytes : cases) {
        EXPECT_NE(errorOf(bytes).find("is not a PNG image"), std::string::npos)
                << testing::PrintToString(bytes);
    }
    EXPECT_NE(errorOf(badCrc).find("CRC of its IDAT chunk"), std::string::npos);
    EXPECT_NE(errorOf(png(32, 16)).find("32x16 pixels; an icon is square"),
              std::string::npos);
}

IconImage icon(std::uint32_t side, const std::string& path) {
    return IconImage{path, png(side, side), side};
}

TEST(PngImage, AnImageTakesEachHicolorSizeOnce) {
    for (std::uint32_t side : {16u, 22u, 24u, 32u, 48u, 64u, 96u, 128u, 192u,
                               256u, 512u}) {
        EXPECT_TRUE(isHicolorSize(side)) << side;
    }
    for (std::uint32_t side : {0u, 8u, 20u, 40u, 100u, 1024u}) {
        EXPECT_FALSE(isHicolorSize(side)) << side;
    }
    const std::vector<IconImage> sorted =
            imageIcons({icon(256, "b"), icon(22, "a"), icon(48, "c")});
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].path + sorted[1].path + sorted[2].path, "acb");
    // Sizes the theme has no folder for are left out; a set of none fails.
    const std::vector<IconImage> kept =
            imageIcons({icon(1024, "x"), icon(48, "a"), icon(20, "y")});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].path, "a");
    EXPECT_THROW(imageIcons({icon(1024, "x"), icon(20, "y")}),
                 std::runtime_error);
    // Two icons of one size that is left out are no error.
    EXPECT_EQ(imageIcons({icon(1024, "x"), icon(1024, "y"), icon(16, "a")})
                      .size(), 1u);
    try {
        imageIcons({icon(48, "a"), icon(16, "c"), icon(48, "b")});
        ADD_FAILURE() << "two icons of one size";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("\"a\" and \"b\" are both 48"),
                  std::string::npos) << e.what();
    }
}

TEST(Icns, HoldsEveryFittingSizeSmallestFirst) {
    const std::pair<unsigned, const char*> sides[] = {
        {16, "icp4"}, {32, "icp5"}, {64, "icp6"}, {128, "ic07"},
        {256, "ic08"}, {512, "ic09"}, {1024, "ic10"}};
    for (const auto& side : sides) {
        const IconImage one = icon(side.first, "i.png");
        const std::string icns = icnsFromIcons({one});
        EXPECT_EQ(icns.substr(0, 4), "icns");
        EXPECT_EQ(icns.substr(4, 4), be(static_cast<std::uint32_t>(one.png.size() + 16)));
        EXPECT_EQ(icns.substr(8, 4), side.second);
        EXPECT_EQ(icns.substr(12, 4), be(static_cast<std::uint32_t>(one.png.size() + 8)));
        EXPECT_EQ(icns.substr(16), one.png);
    }
    const IconImage big = icon(512, "b"), small = icon(16, "s"),
                    other = icon(48, "o");
    const std::string icns = icnsFromIcons({big, other, small});
    ASSERT_EQ(icns.size(), 8 + 8 + small.png.size() + 8 + big.png.size());
    EXPECT_EQ(icns.substr(8, 4), "icp4");
    EXPECT_EQ(icns.substr(16 + small.png.size(), 4), "ic09");
    EXPECT_EQ(icns.substr(24 + small.png.size()), big.png);
}

TEST(Icns, RefusesASetWithoutAFittingSizeOrWithASizeTwice) {
    EXPECT_THROW(icnsFromIcons({icon(48, "a"), icon(22, "b")}),
                 std::runtime_error);
    EXPECT_THROW(icnsFromIcons({icon(32, "a"), icon(32, "b")}),
                 std::runtime_error);
    EXPECT_NO_THROW(icnsFromIcons({icon(48, "a"), icon(32, "b")}));
}

} // namespace
