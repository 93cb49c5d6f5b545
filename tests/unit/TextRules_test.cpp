// Which texts go into property lists and desktop entries, and how a
// refused one is shown in a one-line message.
#include <gtest/gtest.h>

#include "TextRules.h"

namespace {

TEST(TextRules, Utf8RefusesMalformedOverlongSurrogateAndBeyondRange) {
    const char* const good[] = {
        "", "plain", "gr\xc3\xbc\xc3\x9f", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
        "\xf4\x8f\xbf\xbf", "\xed\x9f\xbf", "\xee\x80\x80",
    };
    for (const char* text : good) {
        EXPECT_TRUE(isUtf8(text)) << text;
    }
    const char* const bad[] = {
        "\x80", "a\xc3", "\xc3(", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf",
        "\xe0\x9f\xbf", "\xf0\x80\x80\xaf", "\xf0\x8f\xbf\xbf",
        "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80",
        "\xf8\x88\x80\x80\x80", "\xff", "\xe2\x82", "\xf0\x9f\x98",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(isUtf8(text)) << testing::PrintToString(text);
        EXPECT_FALSE(isPlainText(text)) << testing::PrintToString(text);
    }
}

TEST(TextRules, PlainTextRefusesWhatXmlAndDesktopReadersRefuse) {
    EXPECT_TRUE(isPlainText("Demo \xe2\x80\x94 caf\xc3\xa9 \xef\xbf\xbd"));
    EXPECT_TRUE(isPlainText("\xc2\xa0\xef\xbf\xbd\xf0\x90\x80\x80"));
    const char* const refused[] = {
        "a\tb", "a\nb", "a\rb", "\x01", "\x1f", "\x7f", "\xc2\x80",
        "\xc2\x85", "\xc2\x9f", "\xef\xbf\xbe", "\xef\xbf\xbf",
    };
    for (const char* text : refused) {
        EXPECT_FALSE(isPlainText(text)) << testing::PrintToString(text);
        EXPECT_TRUE(isUtf8(text)) << testing::PrintToString(text);
    }
    EXPECT_FALSE(isPlainText(std::string("a\0b", 3)));
}

TEST(TextRules, PrintableEscapesControlsAndBrokenBytesOnly) {
    EXPECT_EQ(printable("Demo\r"), "Demo\\r");
    EXPECT_EQ(printable("a\tb\nc"), "a\\tb\\nc");
    EXPECT_EQ(printable("\x1b[2J"), "\\x1b[2J");
    EXPECT_EQ(printable("\xc2\x9b" "1m"), "\\xc2\\x9b1m");
    EXPECT_EQ(printable("caf\xc3\xa9 \\ ok"), "caf\xc3\xa9 \\ ok");
    EXPECT_EQ(printable("\xcd\x0d"), "\\xcd\\r");
    EXPECT_EQ(printable("\xed\xa0\x80z"), "\\xed\\xa0\\x80z");
    EXPECT_EQ(printable("\xef\xbf\xbe"), "\\xef\\xbf\\xbe");
}

} // namespace
