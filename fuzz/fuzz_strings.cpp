// Fuzzes the string and path helpers against simple reference models.
//
// The input is cut at line feeds into up to four strings a, b, c, d (missing
// ones are empty), so seed files stay readable text; the helpers give the
// line feed no meaning of their own. The first eight input bytes also serve
// as a number for the message builder.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "FuzzSupport.h"
#include "tstrings.h"

namespace {

bool isSep(char c) {
    return c == '/';
}

bool matchesAt(const std::string& s, std::size_t i, const std::string& what) {
    if (i > s.size() || s.size() - i < what.size()) {
        return false;
    }
    for (std::size_t k = 0; k != what.size(); ++k) {
        if (s[i + k] != what[k]) {
            return false;
        }
    }
    return true;
}

bool contains(const std::string& s, const std::string& what) {
    for (std::size_t i = 0; i + what.size() <= s.size(); ++i) {
        if (matchesAt(s, i, what)) {
            return true;
        }
    }
    return false;
}

// Tokens between non-overlapping occurrences found left to right.
StringArray naiveSplit(const std::string& s, const std::string& delim) {
    StringArray tokens;
    if (s.empty() || delim.empty()) {
        return tokens;
    }
    std::string token;
    std::size_t i = 0;
    while (i < s.size()) {
        if (matchesAt(s, i, delim)) {
            tokens.push_back(token);
            token.clear();
            i += delim.size();
        } else {
            token += s[i++];
        }
    }
    tokens.push_back(token);
    return tokens;
}

std::size_t countOccurrences(const std::string& s, const std::string& delim) {
    std::size_t n = 0;
    for (std::size_t i = 0; i + delim.size() <= s.size();) {
        if (matchesAt(s, i, delim)) {
            ++n;
            i += delim.size();
        } else {
            ++i;
        }
    }
    return n;
}

// The C locale folds A to Z only.
std::string asciiLower(const std::string& s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

void checkSplitJoin(const std::string& s, const std::string& delim) {
    StringArray all(1, "kept");
    tstrings::split(all, s, delim, tstrings::SPLIT_ALL);
    CHECK(!all.empty() && all[0] == "kept");
    all.erase(all.begin());

    CHECK(all == naiveSplit(s, delim));
    if (s.empty() || delim.empty()) {
        CHECK(all.empty());
    } else {
        CHECK(all.size() == countOccurrences(s, delim) + 1);
        CHECK(tstrings::join(all.begin(), all.end(), delim) == s);
        for (const std::string& token : all) {
            CHECK(!contains(token, delim));
        }
    }

    StringArray nonEmpty;
    tstrings::split(nonEmpty, s, delim, tstrings::SPLIT_EXCLUDE_EMPTY);
    StringArray expected;
    for (const std::string& token : all) {
        if (!token.empty()) {
            expected.push_back(token);
        }
    }
    CHECK(nonEmpty == expected);
}

void checkJoin(const StringArray& parts, const std::string& delim) {
    std::string expected;
    for (std::size_t i = 0; i != parts.size(); ++i) {
        expected += (i == 0 ? "" : delim) + parts[i];
    }
    CHECK(tstrings::join(parts.begin(), parts.end(), delim) == expected);
    CHECK(tstrings::join(parts.begin(), parts.begin(), delim).empty());
    CHECK(tstrings::join(parts.begin(), parts.begin() + 1, delim) == parts[0]);
}

void checkReplace(const std::string& s, const std::string& search,
                  const std::string& with) {
    const std::string result = tstrings::replace(s, search, with);
    CHECK(result == naiveReplace(s, search, with));
    CHECK(tstrings::replace(s, search, search) == s);
    if (!contains(s, search)) {
        CHECK(result == s);
    }
}

void checkCompare(const std::string& a, const std::string& b) {
    using tstrings::IGNORE_CASE;
    CHECK(tstrings::toLower(a) == asciiLower(a));
    CHECK(tstrings::equals(a, b) == (a == b));
    CHECK(tstrings::equals(a, a));
    CHECK(tstrings::equals(a, b, IGNORE_CASE)
          == (asciiLower(a) == asciiLower(b)));

    const bool fits = a.size() >= b.size();
    CHECK(tstrings::startsWith(a, b)
          == (fits && a.compare(0, b.size(), b) == 0));
    CHECK(tstrings::endsWith(a, b)
          == (fits && a.compare(a.size() - b.size(), b.size(), b) == 0));
    CHECK(tstrings::startsWith(a, b, IGNORE_CASE)
          == (fits && asciiLower(a).compare(0, b.size(), asciiLower(b)) == 0));
    CHECK(tstrings::endsWith(a, b, IGNORE_CASE)
          == (fits && asciiLower(a).compare(a.size() - b.size(), b.size(),
                                            asciiLower(b)) == 0));
    CHECK(tstrings::startsWith(a, "") && tstrings::endsWith(a, ""));
}

void checkCombine(const std::string& a, const std::string& b) {
    const std::string result = FileUtils::combinePath(a, b);
    if (a.empty()) {
        CHECK(result == b);
        return;
    }
    if (b.empty()) {
        CHECK(result == a);
        return;
    }
    std::size_t aEnd = a.size();
    while (aEnd > 0 && isSep(a[aEnd - 1])) {
        --aEnd;
    }
    const std::string bRest = isSep(b[0]) ? b.substr(1) : b;
    CHECK(result == a.substr(0, aEnd) + "/" + bRest);
    // One separator at the join, unless the second path itself starts with
    // two of them.
    CHECK(result[aEnd] == '/');
    CHECK(aEnd == 0 || !isSep(result[aEnd - 1]));
    if (!(b.size() >= 2 && isSep(b[0]) && isSep(b[1]))) {
        CHECK(aEnd + 1 == result.size() || !isSep(result[aEnd + 1]));
    }
}

void checkDirBase(const std::string& path) {
    const std::string base = FileUtils::basename(path);
    const std::string dir = FileUtils::dirname(path);
    bool hasSep = false;
    for (char c : base) {
        CHECK(!isSep(c));
    }
    for (char c : path) {
        hasSep = hasSep || isSep(c);
    }

    if (!hasSep) {
        CHECK(base == path);
        CHECK(dir.empty());
        return;
    }
    CHECK(base.size() < path.size());
    CHECK(path.compare(path.size() - base.size(), base.size(), base) == 0);
    CHECK(isSep(path[path.size() - base.size() - 1]));

    // dirname: a prefix ending in a non-separator, followed in the path by a
    // separator; everything from there to the last separator considered
    // (a trailing "/." is ignored) belongs to the last component or the
    // separators before it.
    CHECK(path.compare(0, dir.size(), dir) == 0);
    if (!dir.empty()) {
        CHECK(!isSep(dir.back()));
        CHECK(isSep(path[dir.size()]));
    }
    std::size_t searchEnd = path.size();
    if (path.size() >= 2 && isSep(path[path.size() - 2])
            && path.back() == '.') {
        searchEnd -= 2;
    }
    std::size_t lastSep = std::string::npos;
    for (std::size_t i = 0; i != searchEnd; ++i) {
        if (isSep(path[i])) {
            lastSep = i;
        }
    }
    if (lastSep == std::string::npos) {
        CHECK(dir.empty());
        return;
    }
    std::size_t keep = lastSep;
    while (keep > 0 && isSep(path[keep - 1])) {
        --keep;
    }
    CHECK(dir == path.substr(0, keep));
}

void checkBuilder(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(std::uint64_t)) {
        return;
    }
    std::uint64_t u;
    std::memcpy(&u, data, sizeof(u));
    const long long s = static_cast<long long>(u);
    char text[64];

    std::snprintf(text, sizeof(text), "%lld", s);
    CHECK((tstrings::any() << s).str() == text);
    std::snprintf(text, sizeof(text), "%" PRIu64, u);
    CHECK((tstrings::any() << static_cast<unsigned long long>(u)).str()
          == text);
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(s));
    CHECK((tstrings::any("x") << static_cast<int>(s)).str()
          == std::string("x") + text);

    const void* ptr = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(u));
    if (u == 0) {
        CHECK((tstrings::any() << ptr).str() == "0");
    } else {
        std::snprintf(text, sizeof(text), "0x%" PRIx64, u);
        CHECK((tstrings::any() << ptr).str() == text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
    StringArray parts = splitAtLineFeeds(data, size);
    parts.resize(4);
    const std::string& a = parts[0];
    const std::string& b = parts[1];
    const std::string& c = parts[2];

    checkSplitJoin(a, b);
    checkSplitJoin(a, std::string(1, FileUtils::pathSeparator));
    checkJoin(parts, c);
    checkReplace(a, b, c);
    checkCompare(a, b);
    checkCompare(b, a);
    checkCombine(a, b);
    checkCombine(b, c);
    checkDirBase(a);
    checkDirBase(b);

    for (int ch = 0; ch != 256; ++ch) {
        const char byte = static_cast<char>(ch);
        CHECK(FileUtils::isDirSeparator(byte) == isSep(byte));
    }

    checkBuilder(data, size);
    return 0;
}
