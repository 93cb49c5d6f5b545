// The one layout description ties the launchers, the class data archive and
// the assembly command together: what the command writes is where the
// launcher looks, the launcher library it finds belongs to the Java home the
// command copied, and each launcher carries the mark of its own layout.
#include <gtest/gtest.h>

#include "AppLayout.h"
#include "ArchiveOptions.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Layout.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

struct Pair {
    Target target;
    const AppLayout::Paths* paths;
};

const Pair pairs[] = {{Target::Bundle, &AppLayout::bundle},
                      {Target::Image, &AppLayout::image}};

TEST(AppLayout, TheLauncherFindsWhatTheCommandWrites) {
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.paths->name);
        const Layout layout = layoutOf(p.target, "My App");
        const std::string root = "/Applications/" + layout.rootName;
        const std::string executable =
                FileUtils::combinePath(root, layout.executable);
        // The launcher's root, from its own path, is the output's root.
        ASSERT_EQ(AppLayout::rootOfExecutable(*p.paths, executable), root);
        EXPECT_EQ(FileUtils::basename(executable), "My App");
        EXPECT_EQ(FileUtils::combinePath(root, p.paths->appDir),
                  FileUtils::dirname(FileUtils::combinePath(root,
                                                            layout.cfgFile)));
        // Each launcher library the launcher tries lies in the Java home
        // that the command fills, in a folder where the archive finds that
        // home again.
        const std::string home = FileUtils::combinePath(root, layout.runtimeHome);
        const StringArray candidates = AppLayout::jliCandidates(*p.paths);
        ASSERT_EQ(candidates.size(), 2u);
        for (const std::string& candidate : candidates) {
            const std::string jli = FileUtils::combinePath(
                    FileUtils::combinePath(root, layout.runtimeDir), candidate);
            EXPECT_EQ(jli.compare(0, home.size() + 1, home + "/"), 0) << jli;
            EXPECT_EQ(FileUtils::basename(jli),
                      std::string("libjli") + p.paths->librarySuffix);
            EXPECT_EQ(ArchiveOptions::javaHomeOfLibrary(jli), home) << jli;
        }
        EXPECT_NE(candidates[0], candidates[1]);
    }
}

TEST(AppLayout, TheJavaHomeOfALibraryOnlyWhereTheLauncherLooks) {
    EXPECT_EQ(AppLayout::javaHomeOfLibrary("/rt/lib/jli/libjli.so"), "/rt");
    EXPECT_EQ(AppLayout::javaHomeOfLibrary("/rt/Contents/Home/lib/libjli.dylib"),
              "/rt/Contents/Home");
    for (const char* elsewhere : {"/rt/lib/server/libjli.so", "/rt/jli/libjli.so",
                                  "/rt/lib/libjvm.so", "/rt/bin/libjli.so"}) {
        EXPECT_EQ(AppLayout::javaHomeOfLibrary(elsewhere), "") << elsewhere;
    }
}

TEST(AppLayout, EachLauncherCarriesTheMarkOfItsOwnLayout) {
    const std::string bundleLauncher = launcherPath();
    const std::string imageLauncher =
            FileUtils::combinePath(FileUtils::dirname(bundleLauncher),
                                   "applauncher-linux");
    EXPECT_EQ(markedLayout(readFile(bundleLauncher)), "bundle");
    EXPECT_NO_THROW(checkLauncherMark("bundle", bundleLauncher, Target::Bundle));
    if (FileUtils::isFileExists(imageLauncher)) {
        EXPECT_EQ(markedLayout(readFile(imageLauncher)), "image");
    }
    EXPECT_EQ(markedLayout(readFile("/bin/true")), "");
    for (const char* marked : {"bundle", "", "both"}) {
        EXPECT_THROW(checkLauncherMark(marked, "/x", Target::Image), VtErrorBase)
                << marked;
    }
}

} // namespace
