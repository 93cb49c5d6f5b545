#include "ExecutableFormat.h"

#include <cstdint>

namespace {

const std::uint32_t machOMagic64 = 0xfeedfacf;
const std::uint32_t machOMagic32 = 0xfeedface;
const std::uint32_t fatMagic = 0xcafebabe;
const std::uint32_t fatMagic64 = 0xcafebabf;
const std::uint32_t cpuX86_64 = 0x01000007;
const std::uint32_t cpuArm64 = 0x0100000c;
// Class files share the universal magic number; their next word is the
// class file version, 45 or more, while universal files hold a few slices.
const std::uint32_t maxSlices = 44;
const unsigned elfX86_64 = 62;
const unsigned elfAarch64 = 183;

std::uint32_t word(const std::string& bytes, std::size_t pos,
                   bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t b =
                static_cast<unsigned char>(bytes[pos + (bigEndian ? i : 3 - i)]);
        value = (value << 8) | b;
    }
    return value;
}

std::string machOArchitecture(std::uint32_t cpu) {
    if (cpu == cpuX86_64) {
        return "x86_64";
    }
    if (cpu == cpuArm64) {
        return "arm64";
    }
    return "cpu " + std::to_string(cpu);
}

ExecutableInfo readFat(const std::string& bytes, bool wide) {
    ExecutableInfo info;
    const std::uint32_t count = word(bytes, 4, true);
    const std::size_t entrySize = wide ? 32 : 20;
    if (count == 0 || count > maxSlices
            || bytes.size() < 8 + count * entrySize) {
        return info;
    }
    info.format = BinaryFormat::MachO;
    for (std::uint32_t i = 0; i < count; ++i) {
        info.architectures.push_back(
                machOArchitecture(word(bytes, 8 + i * entrySize, true)));
    }
    return info;
}

ExecutableInfo readElf(const std::string& bytes) {
    ExecutableInfo info;
    if (bytes.size() < 20 || (bytes[5] != 1 && bytes[5] != 2)) {
        return info;
    }
    const bool big = bytes[5] == 2;
    const unsigned machine = big
            ? (static_cast<unsigned char>(bytes[18]) << 8)
                    | static_cast<unsigned char>(bytes[19])
            : (static_cast<unsigned char>(bytes[19]) << 8)
                    | static_cast<unsigned char>(bytes[18]);
    info.format = BinaryFormat::Elf;
    info.architectures.push_back(
            machine == elfX86_64 ? "x86_64"
            : machine == elfAarch64 ? "arm64"
            : "cpu " + std::to_string(machine));
    return info;
}

} // namespace

ExecutableInfo readExecutableHeader(const std::string& bytes) {
    if (bytes.size() < 8) {
        return ExecutableInfo();
    }
    if (bytes.compare(0, 4, "\x7f" "ELF") == 0) {
        return readElf(bytes);
    }
    const std::uint32_t bigMagic = word(bytes, 0, true);
    if (bigMagic == fatMagic || bigMagic == fatMagic64) {
        return readFat(bytes, bigMagic == fatMagic64);
    }
    const std::uint32_t magic = word(bytes, 0, false);
    ExecutableInfo info;
    if (magic == machOMagic64 || magic == machOMagic32) {
        info.format = BinaryFormat::MachO;
        info.architectures.push_back(machOArchitecture(word(bytes, 4, false)));
    }
    return info;
}

const char* systemOf(BinaryFormat format) {
    return format == BinaryFormat::MachO ? "Darwin"
            : format == BinaryFormat::Elf ? "Linux" : "";
}

const char* formatName(BinaryFormat format) {
    return format == BinaryFormat::MachO ? "Mach-O"
            : format == BinaryFormat::Elf ? "ELF" : "unknown";
}
