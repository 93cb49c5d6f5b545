#include "Inflater.h"

#include <algorithm>

namespace Inflater {

namespace {

const std::size_t inputChunk = 64u << 10;
const std::size_t stopInterval = 4u << 10;

// Reads the bits of a deflate stream, least significant first, pulling the
// bytes from the caller's input as they are needed.
class BitReader {
public:
    explicit BitReader(const Input& input) : input(input) {}

    bool bits(int count, unsigned& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (bitsLeft == 0) {
                if (!nextByte(current)) {
                    return false;
                }
                bitsLeft = 8;
            }
            value |= (current & 1u) << i;
            current >>= 1;
            --bitsLeft;
        }
        return true;
    }

    /// Drops the rest of the current byte and appends `count` whole bytes.
    bool bytes(std::size_t count, std::string& out) {
        bitsLeft = 0;
        while (count > 0) {
            if (pos == buffer.size() && !refill()) {
                return false;
            }
            const std::size_t n = std::min(count, buffer.size() - pos);
            out.append(buffer, pos, n);
            pos += n;
            count -= n;
        }
        return true;
    }

private:
    bool nextByte(unsigned& byte) {
        if (pos == buffer.size() && !refill()) {
            return false;
        }
        byte = static_cast<unsigned char>(buffer[pos++]);
        return true;
    }

    bool refill() {
        buffer.resize(inputChunk);
        const std::size_t n = input(&buffer[0], buffer.size());
        buffer.resize(std::min(n, inputChunk));
        pos = 0;
        return !buffer.empty();
    }

    const Input& input;
    std::string buffer;
    std::size_t pos = 0;
    unsigned current = 0;
    int bitsLeft = 0;
};

// The output, with the caller's limit and condition to end early.
class Output {
public:
    Output(std::string& text, std::size_t limit, const Stop& stop)
        : text(text), limit(limit), stop(stop) {}

    std::string& text;

    /// Complete while the work may go on, else why it ends.
    Result check() {
        if (text.size() < nextCheck && text.size() <= limit) {
            return Result::Complete;
        }
        nextCheck = text.size() + stopInterval;
        if (stop && stop(text)) {
            return Result::Stopped;
        }
        return text.size() > limit ? Result::TooLarge : Result::Complete;
    }

private:
    const std::size_t limit;
    const Stop& stop;
    std::size_t nextCheck = stopInterval;
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

// One block's literals and copies, up to its end code.
Result inflateCodes(BitReader& in, const Huffman& lit, const Huffman& dist,
                    Output& out) {
    std::string& text = out.text;
    for (;;) {
        int symbol;
        if (!lit.decode(in, symbol)) {
            return Result::Damaged;
        }
        if (symbol < 256) {
            text += static_cast<char>(symbol);
        } else if (symbol == 256) {
            return Result::Complete;
        } else {
            symbol -= 257;
            unsigned extra;
            int distSymbol;
            if (symbol >= 29 || !in.bits(lengthExtra[symbol], extra)) {
                return Result::Damaged;
            }
            const std::size_t length = lengthBase[symbol] + extra;
            if (!dist.decode(in, distSymbol) || distSymbol >= 30
                    || !in.bits(distExtra[distSymbol], extra)) {
                return Result::Damaged;
            }
            const std::size_t distance = distBase[distSymbol] + extra;
            if (distance > text.size()) {
                return Result::Damaged;
            }
            for (std::size_t i = 0; i < length; ++i) {
                text += text[text.size() - distance];
            }
        }
        const Result state = out.check();
        if (state != Result::Complete) {
            return state;
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

// A stored block: its length, the length's complement, the bytes.
Result storedBlock(BitReader& in, Output& out) {
    std::string header;
    if (!in.bytes(4, header)) {
        return Result::Damaged;
    }
    const auto byte = [&header](int i) {
        return static_cast<unsigned>(static_cast<unsigned char>(header[i]));
    };
    const unsigned length = byte(0) | byte(1) << 8;
    const unsigned complement = byte(2) | byte(3) << 8;
    if ((length ^ 0xffffu) != complement || !in.bytes(length, out.text)) {
        return Result::Damaged;
    }
    return out.check();
}

Result block(BitReader& in, unsigned type, Output& out) {
    if (type == 0) {
        return storedBlock(in, out);
    }
    Huffman lit, dist;
    if (type == 3
            || !(type == 1 ? fixedCodes(lit, dist)
                           : dynamicCodes(in, lit, dist))) {
        return Result::Damaged;
    }
    return inflateCodes(in, lit, dist, out);
}

} // namespace

Result inflate(const Input& input, std::string& out, std::size_t limit,
               const Stop& stop) {
    BitReader in(input);
    Output output(out, limit, stop);
    out.clear();
    unsigned last = 0;
    while (last == 0) {
        unsigned type;
        if (!in.bits(1, last) || !in.bits(2, type)) {
            return Result::Damaged;
        }
        const Result result = block(in, type, output);
        if (result != Result::Complete) {
            return result;
        }
    }
    return Result::Complete;
}

} // namespace Inflater
