// String functions and the message builder.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <sstream>

#include "tstrings.h"

using tstrings::CASE_SENSITIVE;
using tstrings::IGNORE_CASE;

namespace {

StringArray splitAll(const std::string& s, const std::string& delim,
                     tstrings::SplitType type = tstrings::SPLIT_ALL) {
    StringArray out;
    tstrings::split(out, s, delim, type);
    return out;
}

template <class T>
std::string streamed(const T& value) {
    std::ostringstream os;
    os << value;
    return os.str();
}

template <class T>
std::string built(const T& value) {
    return (tstrings::any() << value).str();
}

} // namespace

TEST(Tstrings, Join) {
    const StringArray none, one = {"only"}, three = {"a", "", "c"};
    EXPECT_EQ("", tstrings::join(none.begin(), none.end(), ":"));
    EXPECT_EQ("only", tstrings::join(one.begin(), one.end(), ", "));
    EXPECT_EQ("a::c", tstrings::join(three.begin(), three.end(), ":"));
    EXPECT_EQ("a, , c", tstrings::join(three.begin(), three.end(), ", "));
    EXPECT_EQ("ac", tstrings::join(three.begin(), three.end(), ""));
    // A sub-range, and bytes that a formatting stream might touch.
    const StringArray raw = {std::string("x\0y", 3), " \t", "\xff"};
    EXPECT_EQ(std::string("x\0y; \t", 6),
              tstrings::join(raw.begin(), raw.begin() + 2, ";"));
}

TEST(Tstrings, Split) {
    struct Case {
        std::string input, delim;
        StringArray all, nonEmpty;
    };
    const Case cases[] = {
        {"a::b", ":", {"a", "", "b"}, {"a", "b"}},
        {":a:", ":", {"", "a", ""}, {"a"}},
        {":", ":", {"", ""}, {}},
        {"a:b:c", ":", {"a", "b", "c"}, {"a", "b", "c"}},
        {"abc", ":", {"abc"}, {"abc"}},
        {"ab", "abc", {"ab"}, {"ab"}},
        {"abc", "abc", {"", ""}, {}},
        {"a--b--", "--", {"a", "b", ""}, {"a", "b"}},
        {"a-b--c", "--", {"a-b", "c"}, {"a-b", "c"}},
        {"aaa", "aa", {"", "a"}, {"a"}},  // occurrences do not overlap
        {"aaaa", "aa", {"", "", ""}, {}},
        {"", ":", {}, {}},
        {"abc", "", {}, {}},
        {"", "", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.input + "' at '" + c.delim + "'");
        EXPECT_EQ(c.all, splitAll(c.input, c.delim));
        EXPECT_EQ(c.nonEmpty,
                  splitAll(c.input, c.delim, tstrings::SPLIT_EXCLUDE_EMPTY));
    }
    // n delimiters give n + 1 tokens whatever the tokens are.
    const std::string tokens[] = {"", "x", "", "yz", ""};
    for (const char* delim : {":", "<>", "\n"}) {
        for (std::size_t n = 2; n <= 5; ++n) {
            const StringArray parts(tokens, tokens + n);
            EXPECT_EQ(parts, splitAll(tstrings::join(parts.begin(),
                                                     parts.end(), delim),
                                      delim)) << "n=" << n;
        }
    }
}

TEST(Tstrings, SplitAppendsToOutput) {
    StringArray out = {"keep", ""};
    tstrings::split(out, "x:y", ":", tstrings::SPLIT_ALL);
    tstrings::split(out, "", ":", tstrings::SPLIT_ALL);
    tstrings::split(out, "z", "", tstrings::SPLIT_ALL);
    tstrings::split(out, "::q", ":", tstrings::SPLIT_EXCLUDE_EMPTY);
    EXPECT_EQ((StringArray{"keep", "", "x", "y", "q"}), out);
}

TEST(Tstrings, Replace) {
    struct Case {
        std::string input, search, replacement, expected;
    };
    const Case cases[] = {
        {"aa", "a", "aa", "aaaa"},        // inserted text not searched again
        {"$A$A", "$A", "$A$A", "$A$A$A$A"},
        {"abab", "ab", "ba", "baba"},
        {"aab", "ab", "b", "ab"},         // "a" + inserted "b" not rescanned
        {"aaa", "aa", "b", "ba"},         // left to right, no overlap
        {"aXbXc", "X", "--", "a--b--c"},
        {"abcabc", "bc", "", "aa"},
        {"x", "", "y", "x"},
        {"", "", "y", ""},
        {"", "a", "b", ""},
        {"hello", "hello", "", ""},
        {"ab", "abc", "z", "ab"},
        {std::string("a\0b", 3), std::string("\0", 1), "-", "a-b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, tstrings::replace(c.input, c.search,
                                                c.replacement))
                << "'" << c.input << "' '" << c.search << "' -> '"
                << c.replacement << "'";
    }
    // Many occurrences in a long text.
    const std::string longText(100000, 'a');
    EXPECT_EQ(std::string(200000, 'b'), tstrings::replace(longText, "a", "bb"));
}

TEST(Tstrings, ToLower) {
    EXPECT_EQ("abc xyz-09", tstrings::toLower("ABC xyz-09"));
    // The bytes next to the letters, and bytes outside ASCII, stay as they are.
    EXPECT_EQ("@[`{", tstrings::toLower("@[`{"));
    const std::string high("\xC4\xD6\xDC\xFF", 4);
    EXPECT_EQ(high, tstrings::toLower(high));
    const std::string withNul("A\0B", 3);
    EXPECT_EQ(std::string("a\0b", 3), tstrings::toLower(withNul));
    EXPECT_EQ("", tstrings::toLower(""));
}

TEST(Tstrings, EqualsStartsWithEndsWith) {
    struct Case {
        std::string a, b;
        bool equalsCs, equalsIc, startsCs, startsIc, endsCs, endsIc;
    };
    // For each pair: equals(a, b), startsWith(a, b), endsWith(a, b) under
    // CASE_SENSITIVE and IGNORE_CASE.
    const Case cases[] = {
        {"ABC", "abc", false, true, false, true, false, true},
        {"abc", "abc", true, true, true, true, true, true},
        {"", "", true, true, true, true, true, true},
        {"abc", "", false, false, true, true, true, true},
        {"", "a", false, false, false, false, false, false},
        {"ab", "abc", false, false, false, false, false, false},
        {"abc", "ab", false, false, true, true, false, false},
        {"abc", "bc", false, false, false, false, true, true},
        {"abC", "Bc", false, false, false, false, false, true},
        {"Abc", "aB", false, false, false, true, false, false},
        {"abc", "abd", false, false, false, false, false, false},
        {"a/.", "/.", false, false, false, false, true, true},
        {std::string("a\0", 2), "a", false, false, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.a + "' vs '" + c.b + "'");
        EXPECT_EQ(c.equalsCs, tstrings::equals(c.a, c.b, CASE_SENSITIVE));
        EXPECT_EQ(c.equalsIc, tstrings::equals(c.a, c.b, IGNORE_CASE));
        EXPECT_EQ(c.equalsCs, tstrings::equals(c.a, c.b));
        EXPECT_EQ(c.startsCs, tstrings::startsWith(c.a, c.b, CASE_SENSITIVE));
        EXPECT_EQ(c.startsIc, tstrings::startsWith(c.a, c.b, IGNORE_CASE));
        EXPECT_EQ(c.startsCs, tstrings::startsWith(c.a, c.b));
        EXPECT_EQ(c.endsCs, tstrings::endsWith(c.a, c.b, CASE_SENSITIVE));
        EXPECT_EQ(c.endsIc, tstrings::endsWith(c.a, c.b, IGNORE_CASE));
        EXPECT_EQ(c.endsCs, tstrings::endsWith(c.a, c.b));
    }
}

TEST(Tstrings, AnyComposesLikeAStream) {
    EXPECT_EQ("", tstrings::any().str());
    EXPECT_EQ("pre", tstrings::any("pre").str());
    EXPECT_EQ("pre1", (tstrings::any(std::string("pre")) << 1).str());

    tstrings::any msg;
    msg << "text " << std::string("and string ") << 'c' << ' ' << 42 << ' '
        << -7 << ' ' << std::size_t(18);
    EXPECT_EQ("text and string c 42 -7 18", msg.str());
    msg << "!";
    EXPECT_EQ("text and string c 42 -7 18!", msg.str());

    // Integers in plain decimal, as a default-formatted stream prints them.
    EXPECT_EQ(streamed(INT_MIN), built(INT_MIN));
    EXPECT_EQ(streamed(LLONG_MIN), built(LLONG_MIN));
    EXPECT_EQ(streamed(SIZE_MAX), built(SIZE_MAX));
    EXPECT_EQ(streamed(4000000000u), built(4000000000u));
    EXPECT_EQ("-2147483648 18446744073709551615",
              (tstrings::any() << INT_MIN << " " << std::size_t(SIZE_MAX))
                      .str());
}

TEST(Tstrings, AnyPrintsPointersLikeAStream) {
    int local = 0;
    const void* pointers[] = {
        &local,
        reinterpret_cast<const void*>(std::uintptr_t(0x1)),
        reinterpret_cast<const void*>(std::uintptr_t(0xABCDEF)),
        reinterpret_cast<const void*>(std::uintptr_t(0xdeadbeef12345678ull)),
        reinterpret_cast<const void*>(UINTPTR_MAX),
    };
    for (const void* p : pointers) {
        const std::string text = built(p);
        EXPECT_EQ(streamed(p), text);
        EXPECT_EQ("0x", text.substr(0, 2));
    }
    EXPECT_EQ("0xabcdef", built(pointers[2]));
    const void* null = nullptr;
    EXPECT_EQ("0", built(null));
    EXPECT_EQ(streamed(null), built(null));
    // A typed pointer other than a character pointer prints as an address.
    int* typed = &local;
    EXPECT_EQ(streamed(static_cast<const void*>(typed)),
              (tstrings::any() << typed).str());
}
