// Images for the tests of icons: real PNG files of one colour, made without
// an image library, and their chunks.
#ifndef TESTIMAGES_H
#define TESTIMAGES_H

#include <cstdint>
#include <string>

namespace testing_support {

/// One PNG chunk: the length, `type`, `data` and their CRC.
std::string pngChunk(const std::string& type, const std::string& data);

/// A whole PNG file, `width` by `height` pixels of 8-bit RGBA, every pixel
/// `rgba` (red in the top byte); the pixels lie in stored deflate blocks of
/// a zlib stream.
std::string pngImage(std::uint32_t width, std::uint32_t height,
                     std::uint32_t rgba = 0x2060a0ff);

} // namespace testing_support

#endif // TESTIMAGES_H
