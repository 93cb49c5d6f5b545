// Where the application runs from: a removable volume gets no builder, a
// system folder and a partition of its own do.
#include <gtest/gtest.h>

#include "ArchivePlace.h"

using ArchivePlace::removableRoot;
using ArchivePlace::longestRuntimePath;

TEST(ArchivePlace, OnlyAVolumeBelowARemovableRootIsRemovable) {
    const StringArray linux{"/media", "/run/media"};
    const StringArray mac{"/Volumes"};
    const struct {
        const char* path;
        const StringArray& roots;
        const char* root;
    } cases[] = {
        {"/media/usb/Demo/bin/Demo", linux, "/media"},
        {"/run/media/joe/STICK/Demo/bin/Demo", linux, "/run/media"},
        {"/opt/Demo/bin/Demo", linux, ""},
        {"/usr/lib/demo/bin/Demo", linux, ""},
        {"/mediatheque/Demo/bin/Demo", linux, ""},
        {"/run/mediaplayer/bin/Demo", linux, ""},
        {"/media", linux, ""},
        {"/Volumes/Demo/Demo.app/Contents/MacOS/Demo", mac, "/Volumes"},
        {"/Applications/Demo.app/Contents/MacOS/Demo", mac, ""},
        // A translocated app runs from a read-only mount of the system's.
        {"/private/var/folders/xy/T/AppTranslocation/1/d/Demo.app/Contents/"
         "MacOS/Demo", mac, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.root, removableRoot(c.path, c.roots)) << c.path;
    }
}

// The runtime refuses a class list whose path has 2048 bytes or more
// ("Filename too long"), below Linux's own limit; macOS's is lower still.
TEST(ArchivePlace, NoPathReachesTheRuntimesOwnLimit) {
    EXPECT_EQ(2047u, longestRuntimePath(4096));
    EXPECT_EQ(1023u, longestRuntimePath(1024));
}
