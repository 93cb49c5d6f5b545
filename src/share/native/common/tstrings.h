// String utilities of the launcher: joining, splitting, search-and-replace,
// case folding, prefix and suffix tests, and the message builder `any` with
// which every log line and error message is composed.
//
// All functions work on byte strings, never modify their inputs and never
// convert character sets. None of them logs or throws, except for the
// standard library's allocation failures.
#ifndef TSTRINGS_H
#define TSTRINGS_H

#include <cstddef>
#include <string>
#include <vector>

/// A list of byte strings, in order.
typedef std::vector<std::string> StringArray;

namespace tstrings {

/// How two strings are compared. Any value other than IGNORE_CASE compares
/// bytes exactly.
enum CompareType {
    CASE_SENSITIVE = 0,
    /// Both sides are passed through `toLower` first.
    IGNORE_CASE = 1
};

/// Which tokens `split` keeps.
enum SplitType {
    /// Every token, empty ones included.
    SPLIT_ALL = 0,
    /// Only the tokens that are not empty.
    SPLIT_EXCLUDE_EMPTY = 1
};

/// The elements of [begin, end) with `delimiter` between each two of them.
/// An empty range gives the empty string.
template <class Iterator>
std::string join(Iterator begin, Iterator end, const std::string& delimiter) {
    std::string result;
    for (Iterator it = begin; it != end; ++it) {
        if (it != begin) {
            result += delimiter;
        }
        result += *it;
    }
    return result;
}

/// Appends to `out` the tokens of `str` separated by the whole of `delimiter`.
/// An empty input or an empty delimiter appends nothing. Under SPLIT_ALL, n
/// occurrences of the delimiter always give n + 1 tokens.
void split(StringArray& out, const std::string& str,
           const std::string& delimiter, SplitType type);

/// `str` with every occurrence of `search` replaced by `replacement`, found
/// left to right; inserted text is never searched again. An empty `search`
/// changes nothing.
std::string replace(const std::string& str, const std::string& search,
                    const std::string& replacement);

/// `str` with every byte passed through the C library's `tolower`.
std::string toLower(const std::string& str);

bool equals(const std::string& a, const std::string& b,
            CompareType type = CASE_SENSITIVE);
bool startsWith(const std::string& str, const std::string& prefix,
                CompareType type = CASE_SENSITIVE);
bool endsWith(const std::string& str, const std::string& suffix,
              CompareType type = CASE_SENSITIVE);

/// The message builder. `<<` appends strings, integers in plain decimal and
/// untyped pointers in the standard stream notation ("0x" and lower-case hex,
/// "0" for null); `str()` gives the text composed so far.
class any {
public:
    any() { buf.reserve(initialCapacity); }
    any(const std::string& text) : buf(text) {}
    any(const char* text) : buf(text) {}

    any& operator<<(const std::string& text) { buf += text; return *this; }
    any& operator<<(const char* text) { buf += text; return *this; }
    any& operator<<(char c) { buf += c; return *this; }
    any& operator<<(int value) { return appendSigned(value); }
    any& operator<<(long value) { return appendSigned(value); }
    any& operator<<(long long value) { return appendSigned(value); }
    any& operator<<(unsigned value) { return appendUnsigned(value); }
    any& operator<<(unsigned long value) { return appendUnsigned(value); }
    any& operator<<(unsigned long long value) { return appendUnsigned(value); }
    any& operator<<(const void* ptr);

    std::string str() const { return buf; }

private:
    // Room for a typical log line or error message, so that composing one
    // rarely allocates more than once.
    static const std::size_t initialCapacity = 120;

    any& appendSigned(long long value);
    any& appendUnsigned(unsigned long long value);

    std::string buf;
};

} // namespace tstrings

#endif // TSTRINGS_H
