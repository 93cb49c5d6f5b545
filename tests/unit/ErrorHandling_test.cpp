// The launcher's exception type, its composed message and lastCRTError.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "ErrorHandling.h"

namespace {

int throwSiteLine = 0;

void throwFromHere() {
    throwSiteLine = __LINE__ + 1;
    VT_THROW(tstrings::any() << "failed with " << 7);
}

void throwPlainTextFromHere() {
    throwSiteLine = __LINE__ + 1;
    VT_THROW("plain text");
}

} // namespace

TEST(ErrorHandling, MakeExceptionKeepsRawAndComposedMessages) {
    const SourceCodePos pos("build/src/Sample.x", "load", 42);
    const VtError<std::runtime_error> fromAny =
            makeException(tstrings::any() << "Bad " << "value", pos);
    EXPECT_STREQ("Bad value", fromAny.rawMessage());
    EXPECT_STREQ("Sample.x(42) at load(): Bad value", fromAny.what());

    const VtError<std::runtime_error> fromText =
            makeException("Failed to launch JVM", pos);
    EXPECT_STREQ("Failed to launch JVM", fromText.rawMessage());
    EXPECT_STREQ("Sample.x(42) at load(): Failed to launch JVM",
                 fromText.what());

    // A copy (as made when throwing by value) carries both texts.
    const VtError<std::runtime_error> copy(fromAny);
    EXPECT_STREQ("Bad value", copy.rawMessage());
    EXPECT_STREQ(fromAny.what(), copy.what());

    // makeMessage reads what() virtually: a launcher error passed to it is
    // prefixed once more.
    EXPECT_EQ(std::string("G.c(1) at g(): ") + fromAny.what(),
              makeMessage(fromAny, SourceCodePos("G.c", "g", 1)));
}

TEST(ErrorHandling, ComposedMessageFormat) {
    struct Case {
        const char* file;
        const char* func;
        int line;
        const char* raw;
        const char* expected;
    };
    const Case cases[] = {
        {"Sample.x", "f", 1, "m", "Sample.x(1) at f(): m"},
        {"dir/", "f", 1, "m", "(1) at f(): m"},
        {"/", "f", 1, "m", "(1) at f(): m"},
        {"", "f", 1, "m", "(1) at f(): m"},
        {"a\\b/c\\d.x", "f", 1, "m", "d.x(1) at f(): m"},
        {"a/b\\c/d.x", "f", 1, "m", "d.x(1) at f(): m"},
        {"C:\\src\\Win.cpp", "f", 1, "m", "Win.cpp(1) at f(): m"},
        {"dir\\", "f", 1, "m", "(1) at f(): m"},
        {"x.cpp", "f", -5, "m", "x.cpp(-5) at f(): m"},
        {"x.cpp", "f", 0, "m", "x.cpp(0) at f(): m"},
        {"x.cpp", "f", INT_MAX, "m", "x.cpp(2147483647) at f(): m"},
        {"x.cpp", "f", INT_MIN, "m", "x.cpp(-2147483648) at f(): m"},
        {"x.cpp", "operator void *", 7, "m", "x.cpp(7) at operator void *(): m"},
        {"x.cpp", "f", 7, "", "x.cpp(7) at f(): "},
        {"x.cpp", "f", 7, "a (b): c", "x.cpp(7) at f(): a (b): c"},
    };
    for (const Case& c : cases) {
        const SourceCodePos pos(c.file, c.func, c.line);
        const VtError<std::runtime_error> e = makeException(c.raw, pos);
        EXPECT_STREQ(c.expected, e.what()) << c.file;
        EXPECT_STREQ(c.raw, e.rawMessage()) << c.file;
        EXPECT_EQ(c.expected, makeMessage(std::runtime_error(c.raw), pos));
        // The builder form composes the same text.
        EXPECT_STREQ(c.expected,
                     makeException(tstrings::any(c.raw), pos).what());
    }
}

TEST(ErrorHandling, CaughtThroughEitherBase) {
    const SourceCodePos pos("p/Here.cpp", "launch", 9);
    try {
        throw makeException(tstrings::any() << "boom", pos);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("Here.cpp(9) at launch(): boom", e.what());
        const VtErrorBase* base = dynamic_cast<const VtErrorBase*>(&e);
        ASSERT_NE(nullptr, base);
        EXPECT_STREQ("boom", base->rawMessage());
    }
    try {
        throw makeException(tstrings::any() << "boom", pos);
    } catch (const VtErrorBase& e) {
        EXPECT_STREQ("boom", e.rawMessage());
        const std::exception* asStd = dynamic_cast<const std::exception*>(&e);
        ASSERT_NE(nullptr, asStd);
        EXPECT_STREQ("Here.cpp(9) at launch(): boom", asStd->what());
    }
    bool caught = false;
    try {
        throw makeException("boom", pos);
    } catch (const std::exception& e) {
        caught = true;
        EXPECT_STREQ("Here.cpp(9) at launch(): boom", e.what());
    }
    EXPECT_TRUE(caught);
}

TEST(ErrorHandling, ThrowMacroRecordsItsOwnPosition) {
    try {
        throwFromHere();
        FAIL() << "nothing thrown";
    } catch (const VtError<std::runtime_error>& e) {
        EXPECT_STREQ("failed with 7", e.rawMessage());
        EXPECT_EQ("ErrorHandling_test.cpp(" + std::to_string(throwSiteLine)
                          + ") at throwFromHere(): failed with 7",
                  e.what());
    }
    try {
        throwPlainTextFromHere();
        FAIL() << "nothing thrown";
    } catch (const VtError<std::runtime_error>& e) {
        EXPECT_STREQ("plain text", e.rawMessage());
        EXPECT_EQ("ErrorHandling_test.cpp(" + std::to_string(throwSiteLine)
                          + ") at throwPlainTextFromHere(): plain text",
                  e.what());
    }
}

TEST(ErrorHandling, LastCRTErrorIsTheTextOfTheCurrentErrno) {
    for (int code : {ENOENT, EACCES, EISDIR, ERANGE}) {
        errno = code;
        const std::string text = lastCRTError();
        EXPECT_EQ(std::strerror(code), text);
        EXPECT_EQ(code, errno) << "errno must be left as it was";
    }
    errno = ENOENT;
    EXPECT_EQ("No such file or directory", lastCRTError());
    errno = EISDIR;
    EXPECT_EQ("Is a directory", lastCRTError());
}
