#include "TestImages.h"

#include <algorithm>

#include "TestBytes.h"

namespace testing_support {

namespace {

// The zlib stream of `raw` in stored blocks, with its Adler-32.
std::string storedZlib(const std::string& raw) {
    std::string deflate = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t pos = 0; pos < raw.size(); pos += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        deflate += static_cast<char>(pos + n == raw.size() ? 1 : 0);
        deflate += le(n, 2) + le(~n & 0xffff, 2) + raw.substr(pos, n);
    }
    return deflate + be((b << 16) | a);
}

} // namespace

std::string pngChunk(const std::string& type, const std::string& data) {
    return be(static_cast<std::uint32_t>(data.size())) + type + data
            + be(crc32(type + data));
}

std::string pngImage(std::uint32_t width, std::uint32_t height,
                     std::uint32_t rgba) {
    const std::string pixel = be(rgba);
    std::string raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw += '\0';
        for (std::uint32_t x = 0; x < width; ++x) {
            raw += pixel;
        }
    }
    return std::string("\x89PNG\r\n\x1a\n", 8)
            + pngChunk("IHDR", be(width) + be(height)
                                       + std::string("\x08\x06\0\0\0", 5))
            + pngChunk("IDAT", storedZlib(raw)) + pngChunk("IEND", "");
}

} // namespace testing_support
