// The package description's lines after the summary: folded into lines
// that Debian's and RPM's tools accept, which no word longer than one line
// can be.
#include <gtest/gtest.h>

#include "Description.h"
#include "ErrorHandling.h"
#include "PackageInfo.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

std::string infoError(const TempDir& temp, const std::string& paragraph) {
    writeFile(temp / "d.cfg", "[Application]\napp.mainjar=$APPDIR/a.jar\n"
              "[Bundle]\nbundle.name=My App\nbundle.version=2.1\n"
              "bundle.content=a.jar\nbundle.runtime=jdk\n"
              "bundle.description=A demo\nbundle.description=" + paragraph + "\n");
    try {
        readPackageInfo(readDescription(temp / "d.cfg"), Target::Image, {});
    } catch (const VtErrorBase& e) {
        return e.rawMessage();
    }
    return std::string();
}

TEST(PackageDescription, WordsLongerThanALineAreRefused) {
    TempDir temp;
    const std::string word79(79, 'w');
    EXPECT_EQ(infoError(temp, "Fits: " + word79 + " and more"), "");
    const std::string error = infoError(temp, "Too long: " + std::string(200, 'w') + " end");
    EXPECT_NE(error.find("bundle.description"), std::string::npos) << error;
    EXPECT_NE(error.find("no word may be longer"), std::string::npos) << error;
    EXPECT_NE(infoError(temp, word79 + "x"), "");
}

} // namespace
