#include "JarManifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "PrivateFiles.h"

namespace JarManifest {

namespace {

// Manifests are a few kilobytes; anything much larger is not one.
const std::size_t manifestLimit = 1u << 20;
const std::size_t endRecordSize = 22;
const std::size_t maxCommentSize = 0xffff;

std::uint32_t le(const std::string& data, std::size_t pos, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(data[pos + i]);
    }
    return value;
}

// `count` bytes at `offset` of the file; false when they are not all there.
bool readAt(int fd, std::uint64_t offset, std::size_t count,
            std::string& out) {
    out.assign(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, &out[done], count - done,
                                  static_cast<off_t>(offset + done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool isManifestName(const std::string& name) {
    static const char wanted[] = "meta-inf/manifest.mf";
    return name.size() == sizeof(wanted) - 1
            && std::equal(name.begin(), name.end(), wanted,
                          [](char a, char b) {
                              return std::tolower(
                                      static_cast<unsigned char>(a)) == b;
                          });
}

// Reads the bits of a deflate stream, least significant first.
class BitReader {
public:
    explicit BitReader(const std::string& data) : data(data) {}

    bool bits(int count, unsigned& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (pos >= data.size()) {
                return false;
            }
            const unsigned bit =
                    (static_cast<unsigned char>(data[pos]) >> bitPos) & 1u;
            value |= bit << i;
            if (++bitPos == 8) {
                bitPos = 0;
                ++pos;
            }
        }
        return true;
    }

    /// Skips to the next byte boundary and takes `count` whole bytes.
    bool bytes(std::size_t count, std::string& out) {
        if (bitPos != 0) {
            bitPos = 0;
            ++pos;
        }
        if (count > data.size() - std::min(pos, data.size())) {
            return false;
        }
        out.append(data, pos, count);
        pos += count;
        return true;
    }

private:
    const std::string& data;
    std::size_t pos = 0;
    int bitPos = 0;
};

// A canonical Huffman code given by its code lengths.
class Huffman {
public:
    /// False for lengths that over-subscribe the code.
    bool build(const unsigned* lengths, unsigned n) {
        std::fill(count, count + 16, 0);
        for (unsigned i = 0; i < n; ++i) {
            ++count[lengths[i]];
        }
        int left = 1;
        for (int len = 1; len < 16; ++len) {
            left = (left << 1) - count[len];
            if (left < 0) {
                return false;
            }
        }
        int offsets[16] = {0};
        for (int len = 1; len < 15; ++len) {
            offsets[len + 1] = offsets[len] + count[len];
        }
        for (unsigned i = 0; i < n; ++i) {
            if (lengths[i] != 0) {
                symbols[offsets[lengths[i]]++] = static_cast<int>(i);
            }
        }
        return true;
    }

    bool decode(BitReader& in, int& symbol) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; ++len) {
            unsigned bit;
            if (!in.bits(1, bit)) {
                return false;
            }
            code |= static_cast<int>(bit);
            if (code - count[len] < first) {
                symbol = symbols[index + (code - first)];
                return true;
            }
            index += count[len];
            first = (first + count[len]) << 1;
            code <<= 1;
        }
        return false;
    }

private:
    int count[16];
    int symbols[288];
};

const unsigned short lengthBase[] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned char lengthExtra[] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned short distBase[] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145,
    8193, 12289, 16385, 24577};
const unsigned char distExtra[] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool inflateCodes(BitReader& in, const Huffman& lit, const Huffman& dist,
                  std::string& out, std::size_t limit) {
    for (;;) {
        int symbol;
        if (!lit.decode(in, symbol)) {
            return false;
        }
        if (symbol < 256) {
            out += static_cast<char>(symbol);
        } else if (symbol == 256) {
            return true;
        } else {
            symbol -= 257;
            unsigned extra;
            int distSymbol;
            if (symbol >= 29 || !in.bits(lengthExtra[symbol], extra)) {
                return false;
            }
            const std::size_t length = lengthBase[symbol] + extra;
            if (!dist.decode(in, distSymbol) || distSymbol >= 30
                    || !in.bits(distExtra[distSymbol], extra)) {
                return false;
            }
            const std::size_t distance = distBase[distSymbol] + extra;
            if (distance > out.size()) {
                return false;
            }
            for (std::size_t i = 0; i < length; ++i) {
                out += out[out.size() - distance];
            }
        }
        if (out.size() > limit) {
            return false;
        }
    }
}

bool fixedCodes(Huffman& lit, Huffman& dist) {
    unsigned lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    unsigned distLengths[30];
    std::fill(distLengths, distLengths + 30, 5);
    return lit.build(lengths, 288) && dist.build(distLengths, 30);
}

bool dynamicCodes(BitReader& in, Huffman& lit, Huffman& dist) {
    static const unsigned char order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                            11, 4, 12, 3, 13, 2, 14, 1, 15};
    unsigned nlen, ndist, ncode;
    if (!in.bits(5, nlen) || !in.bits(5, ndist) || !in.bits(4, ncode)) {
        return false;
    }
    nlen += 257;
    ndist += 1;
    ncode += 4;
    unsigned lengths[320] = {0};
    for (unsigned i = 0; i < ncode; ++i) {
        if (!in.bits(3, lengths[order[i]])) {
            return false;
        }
    }
    Huffman lengthCode;
    if (nlen > 286 || ndist > 30 || !lengthCode.build(lengths, 19)) {
        return false;
    }
    unsigned index = 0;
    while (index < nlen + ndist) {
        int symbol;
        if (!lengthCode.decode(in, symbol)) {
            return false;
        }
        if (symbol < 16) {
            lengths[index++] = static_cast<unsigned>(symbol);
            continue;
        }
        unsigned repeat, value = 0;
        if (symbol == 16) {
            if (index == 0 || !in.bits(2, repeat)) {
                return false;
            }
            value = lengths[index - 1];
            repeat += 3;
        } else if (!in.bits(symbol == 17 ? 3 : 7, repeat)) {
            return false;
        } else {
            repeat += symbol == 17 ? 3 : 11;
        }
        if (index + repeat > nlen + ndist) {
            return false;
        }
        std::fill(lengths + index, lengths + index + repeat, value);
        index += repeat;
    }
    return lit.build(lengths, nlen) && dist.build(lengths + nlen, ndist);
}

// The central directory entry of the manifest: its compression method,
// sizes and local header offset; false when there is none or the archive
// is not understood. `found` tells which.
struct EntryInfo {
    std::uint32_t method = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t localHeader = 0;
};

bool findManifest(int fd, std::uint64_t fileSize, EntryInfo& entry,
                  bool& found) {
    found = false;
    const std::size_t tail = static_cast<std::size_t>(
            std::min<std::uint64_t>(fileSize, endRecordSize + maxCommentSize));
    std::string end;
    if (tail < endRecordSize || !readAt(fd, fileSize - tail, tail, end)) {
        return false;
    }
    std::size_t pos = tail - endRecordSize + 1;
    do {
        --pos;
    } while (pos > 0 && le(end, pos, 4) != 0x06054b50);
    if (le(end, pos, 4) != 0x06054b50) {
        return false;
    }
    const std::uint32_t dirSize = le(end, pos + 12, 4);
    const std::uint32_t dirOffset = le(end, pos + 16, 4);
    std::string dir;
    if (dirOffset == 0xffffffffu || dirSize > (64u << 20)
            || !readAt(fd, dirOffset, dirSize, dir)) {
        return false;
    }
    for (std::size_t p = 0; p + 46 <= dir.size();) {
        if (le(dir, p, 4) != 0x02014b50) {
            return false;
        }
        const std::size_t nameLength = le(dir, p + 28, 2);
        const std::size_t next = p + 46 + nameLength + le(dir, p + 30, 2)
                + le(dir, p + 32, 2);
        if (p + 46 + nameLength > dir.size()) {
            return false;
        }
        if (isManifestName(dir.substr(p + 46, nameLength))) {
            entry.method = le(dir, p + 10, 2);
            entry.compressedSize = le(dir, p + 20, 4);
            entry.size = le(dir, p + 24, 4);
            entry.localHeader = le(dir, p + 42, 4);
            found = true;
            return true;
        }
        p = next;
    }
    return true;
}

} // namespace

bool inflate(const std::string& in, std::string& out, std::size_t limit) {
    BitReader bits(in);
    out.clear();
    unsigned last = 0;
    while (last == 0) {
        unsigned type;
        if (!bits.bits(1, last) || !bits.bits(2, type)) {
            return false;
        }
        if (type == 0) {
            std::string header;
            if (!bits.bytes(4, header)
                    || (le(header, 0, 2) ^ 0xffffu) != le(header, 2, 2)
                    || !bits.bytes(le(header, 0, 2), out)) {
                return false;
            }
        } else {
            Huffman lit, dist;
            if (type == 3
                    || !(type == 1 ? fixedCodes(lit, dist)
                                   : dynamicCodes(bits, lit, dist))
                    || !inflateCodes(bits, lit, dist, out, limit)) {
                return false;
            }
        }
        if (out.size() > limit) {
            return false;
        }
    }
    return true;
}

bool read(const std::string& jarPath, std::string& text) {
    text.clear();
    const PrivateFiles::FileDescriptor fd(
            ::open(jarPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    EntryInfo entry;
    bool found = false;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)
            || !findManifest(fd.get(), static_cast<std::uint64_t>(st.st_size),
                             entry, found)) {
        return false;
    }
    std::string header, data;
    if (!found) {
        return true;
    }
    if (entry.size > manifestLimit || entry.compressedSize > manifestLimit
            || !readAt(fd.get(), entry.localHeader, 30, header)
            || le(header, 0, 4) != 0x04034b50
            || !readAt(fd.get(),
                       entry.localHeader + 30ull + le(header, 26, 2)
                               + le(header, 28, 2),
                       entry.compressedSize, data)) {
        return false;
    }
    if (entry.method == 0) {
        text = data;
        return true;
    }
    return entry.method == 8 && inflate(data, text, manifestLimit);
}

namespace {

// The attributes of the main section, continuation lines joined. Lines end
// with CR LF, LF or CR; a line that starts with a blank continues the one
// before; the main section ends at the first empty line.
StringArray mainSection(const std::string& manifest) {
    StringArray lines;
    std::string line;
    for (std::size_t i = 0; i <= manifest.size(); ++i) {
        const char c = i < manifest.size() ? manifest[i] : '\n';
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < manifest.size() && manifest[i + 1] == '\n') {
            ++i;
        }
        if (line.empty()) {
            break;
        }
        if (line[0] == ' ' && !lines.empty()) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(line);
        }
        line.clear();
    }
    return lines;
}

// True when `attribute` is "<name>:" followed by its value, the name in
// any case.
bool isAttribute(const std::string& attribute, const std::string& name) {
    return attribute.size() > name.size() && attribute[name.size()] == ':'
            && std::equal(name.begin(), name.end(), attribute.begin(),
                          [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a))
                                      == std::tolower(
                                              static_cast<unsigned char>(b));
                          });
}

} // namespace

std::string mainAttribute(const std::string& manifest,
                          const std::string& name) {
    std::string value;
    for (const std::string& attribute : mainSection(manifest)) {
        if (isAttribute(attribute, name)) {
            value = attribute.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(' '));
        }
    }
    return value;
}

StringArray classPath(const std::string& manifest) {
    StringArray entries;
    for (const std::string& attribute : mainSection(manifest)) {
        if (!isAttribute(attribute, "Class-Path")) {
            continue;
        }
        StringArray words;
        tstrings::split(words, attribute.substr(11), " ",
                        tstrings::SPLIT_EXCLUDE_EMPTY);
        entries.insert(entries.end(), words.begin(), words.end());
    }
    return entries;
}

} // namespace JarManifest
