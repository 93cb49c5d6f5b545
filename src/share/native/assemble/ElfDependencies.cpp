#include "ElfDependencies.h"

#include <cstdint>
#include <vector>

namespace {

const std::uint32_t ptLoad = 1;
const std::uint32_t ptDynamic = 2;
const std::uint64_t dtNeeded = 1;
const std::uint64_t dtStrtab = 5;
const std::uint64_t dtSoname = 14;

class Reader {
public:
    Reader(const std::string& bytes, bool bigEndian)
        : bytes(bytes), bigEndian(bigEndian) {}

    bool fits(std::uint64_t at, std::uint64_t size) const {
        return at <= bytes.size() && size <= bytes.size() - at;
    }

    std::uint64_t get(std::uint64_t at, int size) const {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const int k = bigEndian ? i : size - 1 - i;
            value = (value << 8)
                    | static_cast<unsigned char>(bytes[at + k]);
        }
        return value;
    }

    const std::string& bytes;
    bool bigEndian;
};

struct Segment {
    std::uint32_t type;
    std::uint64_t offset;
    std::uint64_t vaddr;
    std::uint64_t fileSize;
};

std::vector<Segment> segments(const Reader& in) {
    std::vector<Segment> list;
    const std::uint64_t phoff = in.get(0x20, 8);
    const std::uint64_t entSize = in.get(0x36, 2);
    const std::uint64_t count = in.get(0x38, 2);
    if (entSize < 0x38) {
        return list;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = phoff + i * entSize;
        if (!in.fits(at, 0x38)) {
            break;
        }
        list.push_back(Segment{static_cast<std::uint32_t>(in.get(at, 4)),
                               in.get(at + 8, 8), in.get(at + 16, 8),
                               in.get(at + 32, 8)});
    }
    return list;
}

// The file offset of the virtual address `vaddr`; the file's size when no
// loaded segment holds it.
std::uint64_t fileOffset(const std::vector<Segment>& list, std::uint64_t vaddr,
                         std::uint64_t fileSize) {
    for (const Segment& s : list) {
        if (s.type == ptLoad && vaddr >= s.vaddr
                && vaddr - s.vaddr < s.fileSize) {
            return s.offset + (vaddr - s.vaddr);
        }
    }
    return fileSize;
}

std::string stringAt(const Reader& in, std::uint64_t at) {
    if (at >= in.bytes.size()) {
        return std::string();
    }
    const std::size_t end = in.bytes.find('\0', at);
    return end == std::string::npos ? std::string()
                                     : in.bytes.substr(at, end - at);
}

} // namespace

ElfDependencies readElfDependencies(const std::string& bytes) {
    ElfDependencies deps;
    if (bytes.size() < 0x40 || bytes.compare(0, 4, "\x7f" "ELF") != 0
            || bytes[4] != 2) {
        return deps;
    }
    deps.isElf = true;
    const Reader in(bytes, bytes[5] == 2);
    const std::vector<Segment> list = segments(in);
    for (const Segment& dynamic : list) {
        if (dynamic.type != ptDynamic || !in.fits(dynamic.offset,
                                                  dynamic.fileSize)) {
            continue;
        }
        std::uint64_t strtab = 0;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> names;
        for (std::uint64_t at = dynamic.offset;
             at + 16 <= dynamic.offset + dynamic.fileSize; at += 16) {
            const std::uint64_t tag = in.get(at, 8);
            const std::uint64_t value = in.get(at + 8, 8);
            if (tag == 0) {
                break;
            }
            if (tag == dtStrtab) {
                strtab = fileOffset(list, value, bytes.size());
            } else if (tag == dtNeeded || tag == dtSoname) {
                names.push_back({tag, value});
            }
        }
        for (const auto& name : names) {
            const std::string text = stringAt(in, strtab + name.second);
            if (text.empty()) {
                continue;
            }
            if (name.first == dtNeeded) {
                deps.needed.push_back(text);
            } else {
                deps.soname = text;
            }
        }
    }
    return deps;
}
