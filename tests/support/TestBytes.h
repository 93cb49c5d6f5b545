// Byte strings for the binary files the tests make by hand: integers in
// either byte order and the CRC-32 that zip and PNG files carry.
#ifndef TESTBYTES_H
#define TESTBYTES_H

#include <cstdint>
#include <string>

namespace testing_support {

/// The CRC-32 (ISO-HDLC: reflected, polynomial 0xedb88320) of `data`.
std::uint32_t crc32(const std::string& data);

/// The low `bytes` bytes of `value`, least significant first.
std::string le(std::uint64_t value, int bytes);

/// `value` in four bytes, most significant first.
std::string be(std::uint32_t value);

} // namespace testing_support

#endif // TESTBYTES_H
