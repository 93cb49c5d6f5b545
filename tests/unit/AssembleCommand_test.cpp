// The command line of the assembly command: an empty list of package
// formats is a usage mistake however it is given, as an empty output is.
#include <gtest/gtest.h>

#include "AssembleCommand.h"
#include "ThrownErrors.h"

using namespace testing_support;

namespace {

TEST(AssembleCommand, AnEmptyPackageListIsAUsageMistake) {
    const StringArray empties[] = {
        {"d.cfg", "--target", "image", "--package", ""},
        {"d.cfg", "--target", "image", "--package="},
        {"d.cfg", "--target", "image", "--package", "tar.gz", "--package", ""},
    };
    for (const StringArray& args : empties) {
        const std::string error = errorOf([&] { parseCommandLine(args); });
        EXPECT_EQ(error.substr(0, error.find(';')),
                  "--package needs a format, not an empty value")
                << args.back();
    }
}

} // namespace
