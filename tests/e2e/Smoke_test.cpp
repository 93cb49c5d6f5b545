#include <gtest/gtest.h>

#include "tstrings.h"

TEST(Smoke, JoinsTwo) {
    const StringArray v = {"a", "b"};
    EXPECT_EQ("a:b", tstrings::join(v.begin(), v.end(), ":"));
}
