#include "TestBytes.h"

namespace testing_support {

std::uint32_t crc32(const std::string& data) {
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string le(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

std::string be(std::uint32_t value) {
    std::string out;
    for (int i = 3; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

} // namespace testing_support
