// The folders a system package may install an image as: a folder of the
// application's own, written as dpkg, rpm and desktops all read it.
#include <gtest/gtest.h>

#include "InstallDir.h"

namespace {

TEST(InstallDir, FoldersOfTheApplicationsOwnAreTaken) {
    for (const char* good : {"/opt/Demo", "/opt/My Demo", "/opt/vendor/demo",
                             "/usr/lib/demo", "/usr/local/demo/app", "/srv/demo",
                             "/opt/demo-1.2", "/library/demo"}) {
        EXPECT_EQ(installDirProblem(good), "") << good;
    }
}

TEST(InstallDir, SystemFoldersAndPathsOtherToolsReadOtherwiseAreRefused) {
    for (const char* bad : {"/", "/usr", "/usr/bin", "/usr/lib", "/usr/share", "/opt",
                            "/etc", "/bin", "/lib", "/lib64", "/var", "/home", "/tmp",
                            "/usr/local", "/usr/local/bin", "/var/lib",
                            "/opt/../etc/x", "/opt/./demo", "/opt/demo/..", "/opt//demo",
                            "/opt/Demo/", "/opt/*", "/opt/a\"b", "/opt/a?", "/opt/[ab]",
                            "/opt/100%demo", "/opt/a\\b", "/opt/a\nb", "opt/demo", ""}) {
        EXPECT_NE(installDirProblem(bad), "") << bad;
    }
}

} // namespace
