// Suites that run once for every layout the system builds a launcher for:
// the fixture derives from EveryLayout; test names end in /Bundle or /Linux.
#ifndef LAYOUTS_H
#define LAYOUTS_H

#include <gtest/gtest.h>

#include "Bundle.h"

class EveryLayout
    : public ::testing::TestWithParam<testing_support::Layout> {};

#define INSTANTIATE_FOR_EVERY_LAYOUT(suite)                                 \
    INSTANTIATE_TEST_SUITE_P(Layouts, suite,                                \
            ::testing::ValuesIn(::testing_support::allLayouts()),           \
            ::testing::PrintToStringParamName())

#endif // LAYOUTS_H
