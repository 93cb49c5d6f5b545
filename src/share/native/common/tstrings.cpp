#include "tstrings.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace tstrings {

void split(StringArray& out, const std::string& str,
           const std::string& delimiter, SplitType type) {
    if (str.empty() || delimiter.empty()) {
        return;
    }
    const bool keepEmpty = (type != SPLIT_EXCLUDE_EMPTY);
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type pos = str.find(delimiter, start);
        const std::string::size_type end =
                (pos == std::string::npos) ? str.size() : pos;
        if (keepEmpty || end > start) {
            out.push_back(str.substr(start, end - start));
        }
        if (pos == std::string::npos) {
            return;
        }
        start = pos + delimiter.size();
    }
}

std::string replace(const std::string& str, const std::string& search,
                    const std::string& replacement) {
    if (search.empty()) {
        return str;
    }
    // Built in one forward sweep, so that many occurrences in a long value
    // cost linear time rather than one erase and insert each.
    std::string result;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type pos = str.find(search, start);
        if (pos == std::string::npos) {
            break;
        }
        if (result.empty()) {
            result.reserve(str.size());
        }
        result.append(str, start, pos - start);
        result += replacement;
        start = pos + search.size();
    }
    if (start == 0) {
        return str;
    }
    result.append(str, start, std::string::npos);
    return result;
}

std::string toLower(const std::string& str) {
    std::string result(str);
    for (char& c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

bool equals(const std::string& a, const std::string& b, CompareType type) {
    if (type == IGNORE_CASE) {
        return toLower(a) == toLower(b);
    }
    return a == b;
}

bool startsWith(const std::string& str, const std::string& prefix,
                CompareType type) {
    if (str.size() < prefix.size()) {
        return false;
    }
    return equals(str.substr(0, prefix.size()), prefix, type);
}

bool endsWith(const std::string& str, const std::string& suffix,
              CompareType type) {
    if (str.size() < suffix.size()) {
        return false;
    }
    return equals(str.substr(str.size() - suffix.size()), suffix, type);
}

any& any::appendSigned(long long value) {
    char digits[24];
    const std::to_chars_result r =
            std::to_chars(digits, digits + sizeof(digits), value);
    buf.append(digits, r.ptr);
    return *this;
}

any& any::appendUnsigned(unsigned long long value) {
    char digits[24];
    const std::to_chars_result r =
            std::to_chars(digits, digits + sizeof(digits), value);
    buf.append(digits, r.ptr);
    return *this;
}

any& any::operator<<(const void* ptr) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(ptr);
    if (value == 0) {
        buf += '0';
        return *this;
    }
    char digits[24];
    const std::to_chars_result r =
            std::to_chars(digits, digits + sizeof(digits), value, 16);
    buf += "0x";
    buf.append(digits, r.ptr);
    return *this;
}

} // namespace tstrings
