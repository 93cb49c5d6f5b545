// Reading what the launcher wrote on standard error: lines, and line
// patterns in which the source line numbers of the records may vary.
#ifndef OUTPUTLINES_H
#define OUTPUTLINES_H

#include <string>
#include <vector>

namespace e2e {

/// The lines of `text`, each without its line feed; a last line without a
/// line feed counts as well.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

namespace detail {

inline bool matchFrom(const std::string& pattern, std::size_t p,
                      const std::string& text, std::size_t t) {
    static const std::string number = "<N>";
    static const std::string anything = "<*>";
    while (p < pattern.size()) {
        if (pattern.compare(p, number.size(), number) == 0) {
            std::size_t end = t;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
                ++end;
            }
            if (end == t) {
                return false;
            }
            // Digits are taken greedily: a pattern never puts a digit right
            // after a number.
            t = end;
            p += number.size();
            continue;
        }
        if (pattern.compare(p, anything.size(), anything) == 0) {
            for (std::size_t end = text.size() + 1; end-- > t;) {
                if (matchFrom(pattern, p + anything.size(), text, end)) {
                    return true;
                }
            }
            return false;
        }
        if (t >= text.size() || pattern[p] != text[t]) {
            return false;
        }
        ++p;
        ++t;
    }
    return t == text.size();
}

} // namespace detail

/// True when `text` is `pattern`, in which "<N>" stands for a decimal
/// number and "<*>" for any text; every other character is literal.
inline bool matchesLine(const std::string& pattern, const std::string& text) {
    return detail::matchFrom(pattern, 0, text, 0);
}

/// The number of lines that match `pattern`.
inline int countMatching(const std::vector<std::string>& lines,
                         const std::string& pattern) {
    int count = 0;
    for (const std::string& line : lines) {
        if (matchesLine(pattern, line)) {
            ++count;
        }
    }
    return count;
}

/// The number in `text` right after the first occurrence of `marker`, or
/// -1 when there is none.
inline long numberAfter(const std::string& text, const std::string& marker) {
    const std::string::size_type at = text.find(marker);
    if (at == std::string::npos) {
        return -1;
    }
    std::string::size_type end = at + marker.size();
    long value = -1;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        value = (value < 0 ? 0 : value * 10) + (text[end] - '0');
        ++end;
    }
    return value;
}

} // namespace e2e

#endif // OUTPUTLINES_H
