// Test suites that run once for every launcher layout the system builds:
// derive the suite's fixture from EveryLayout and instantiate it with
// INSTANTIATE_FOR_EVERY_LAYOUT; the test names end in "/Bundle" or "/Linux".
#ifndef LAYOUTS_H
#define LAYOUTS_H

#include <gtest/gtest.h>

#include "Bundle.h"

namespace testing_support {

class EveryLayout : public ::testing::TestWithParam<Layout> {};

inline std::string layoutTestName(
        const ::testing::TestParamInfo<Layout>& info) {
    return layoutName(info.param);
}

} // namespace testing_support

#define INSTANTIATE_FOR_EVERY_LAYOUT(suite)                                \
    INSTANTIATE_TEST_SUITE_P(                                              \
            Layouts, suite,                                                \
            ::testing::ValuesIn(::testing_support::allLayouts()),          \
            ::testing_support::layoutTestName)

#endif // LAYOUTS_H
