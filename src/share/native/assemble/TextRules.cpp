#include "TextRules.h"

namespace {

// Decodes the character at `text[i]`; returns its length in bytes and puts
// its code point in `code`, or returns 0 when the bytes there are not a
// well-formed UTF-8 character.
std::size_t decode(const std::string& text, std::size_t i, unsigned long& code) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned long least = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xc0 && lead < 0xe0) {
        length = 2, least = 0x80, code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead < 0xf0) {
        length = 3, least = 0x800, code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead < 0xf8) {
        length = 4, least = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xc0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3f);
    }
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < least || code > 0x10ffff || surrogate ? 0 : length;
}

bool isForbidden(unsigned long code) {
    return code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0xfffe
            || code == 0xffff;
}

} // namespace

bool isUtf8(const std::string& text) {
    unsigned long code = 0;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        length = decode(text, i, code);
        if (length == 0) {
            return false;
        }
    }
    return true;
}

bool isPlainText(const std::string& text) {
    unsigned long code = 0;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        length = decode(text, i, code);
        if (length == 0 || isForbidden(code)) {
            return false;
        }
    }
    return true;
}

std::string printable(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    unsigned long code = 0;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        length = decode(text, i, code);
        if (length != 0 && !isForbidden(code)) {
            out.append(text, i, length);
        } else if (length == 1 && (code == '\r' || code == '\n' || code == '\t')) {
            out += code == '\r' ? "\\r" : code == '\n' ? "\\n" : "\\t";
        } else {
            length = length == 0 ? 1 : length;
            for (std::size_t k = i; k < i + length; ++k) {
                const unsigned char byte = static_cast<unsigned char>(text[k]);
                out += std::string("\\x") + hex[byte >> 4] + hex[byte & 0xf];
            }
        }
    }
    return out;
}
