// What goes into the rpm's build recipe: rpmbuild expands macros in every
// line it reads, so text from the description must come back literally,
// and folders rpmbuild cannot take are told before anything is written.
#include <gtest/gtest.h>

#include "PackageInfo.h"
#include "SystemPackage.h"

namespace {

TEST(RpmRecipe, PercentSignsAreDoubledSoNoMacroExpands) {
    EXPECT_EQ(rpmLiteral("%(touch marker) and %{name} 100%"),
              "%%(touch marker) and %%{name} 100%%");
    EXPECT_EQ(rpmLiteral("plain text"), "plain text");
    EXPECT_EQ(rpmLiteral("%%"), "%%%%");
}

TEST(RpmRecipe, DescriptionLinesNeverStartASection) {
    PackageInfo info;
    info.paragraphs = {"%changelog", "Runs %(touch marker) at 100%"};
    EXPECT_EQ(rpmDescription(info, "unused"),
              " %%changelog\n\nRuns %%(touch marker) at 100%%\n\n");
    info.paragraphs.clear();
    EXPECT_EQ(rpmDescription(info, "%install"), " %%install\n\n");
}

TEST(RpmRecipe, FoldersRpmbuildCannotTakeAreNamed) {
    EXPECT_EQ(rpmFolderProblem("/home/jane/out dir/é"), "");
    for (const char* bad : {"/tmp/a%(touch m)", "/tmp/it's", "/tmp/a\"b",
                            "/tmp/a\\b", "/tmp/a\nb", "/tmp/a\tb"}) {
        EXPECT_NE(rpmFolderProblem(bad), "") << bad;
    }
    EXPECT_NE(rpmFolderProblem("/tmp/it's").find("'"), std::string::npos);
}

TEST(RpmRecipe, RpmbuildFailureIsItsOwnErrorLine) {
    EXPECT_EQ(rpmbuildError("Building target platforms: x86_64\n"
                            "error: File not found: /x/y\n"
                            "Building for target x86_64\n"),
              "error: File not found: /x/y");
    EXPECT_EQ(rpmbuildError("first\nlast\n"), "last");
    EXPECT_EQ(rpmbuildError(""), "");
}

} // namespace
