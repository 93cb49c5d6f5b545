// The 64-bit FNV-1a hash, which names a launcher's and a digest's files in
// the archive directory: fast, and stable across runs and systems.
#ifndef FNV1A_H
#define FNV1A_H

#include <cstdint>
#include <string>

class Fnv1a {
public:
    /// Adds the bytes of `field` and a zero byte, so that neighbouring
    /// fields cannot run into each other.
    void add(const std::string& field) {
        for (const char c : field) {
            mix(static_cast<unsigned char>(c));
        }
        mix(0);
    }

    /// The hash as 16 lower-case hexadecimal digits.
    std::string hex() const {
        static const char digits[] = "0123456789abcdef";
        std::string text(16, '0');
        for (std::size_t i = 0; i != text.size(); ++i) {
            text[text.size() - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
        }
        return text;
    }

private:
    void mix(unsigned char c) {
        hash ^= c;
        hash *= 1099511628211ull;
    }

    std::uint64_t hash = 14695981039346656037ull;
};

#endif // FNV1A_H
