// What a start decides about the class data archive before the runtime
// starts, with a runtime that looks able to keep one: a manifest whose
// Class-Path names a folder with files in it gets no recording, and no
// lasting verdict once the folder is emptied.
#include <gtest/gtest.h>

#include <filesystem>

#include "Bundle.h"
#include "Layouts.h"
#include "ZipWriter.h"

using namespace testing_support;

namespace {

class ArchiveStart : public ::testing::TestWithParam<Layout> {};

// Whether the runtime was asked to record the classes it loads.
bool records(const FakeJliCall& call) {
    for (const std::string& arg : call.args) {
        if (arg.find("-XX:DumpLoadedClassList=") == 0) {
            return true;
        }
    }
    return false;
}

// The files below `dir` whose names end with `suffix`.
std::size_t filesEnding(const std::string& dir, const std::string& suffix) {
    std::size_t count = 0;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size()
                && name.compare(name.size() - suffix.size(), suffix.size(),
                                suffix) == 0) {
            ++count;
        }
    }
    return count;
}

} // namespace

TEST_P(ArchiveStart, AClassPathFolderWithFilesIsRuledOutUntilItIsEmptied) {
    Bundle bundle(GetParam());
    bundle.writeArchiveCapableRuntime();
    writeFile(bundle.appDir() + "/demo.jar",
              makeZip({{"META-INF/MANIFEST.MF",
                        "Manifest-Version: 1.0\r\nMain-Class: demo.Main\r\n"
                        "Class-Path: classes/\r\n\r\n"}}));
    const std::string classes = bundle.appDir() + "/classes";
    writeFile(classes + "/demo/Extra.class", "");
    bundle.writeConfig("[Application]\napp.cds=auto\n"
                       "app.classpath=$APPDIR/demo.jar\n"
                       "app.mainclass=demo.Main\n");
    ProcessOptions options;
    options.setEnv("VANTRY_DEBUG", "true");
    for (int start = 0; start < 2; ++start) {
        const LaunchResult launch = bundle.run({}, options);
        ASSERT_EQ(1u, launch.calls.size()) << launch.process.err;
        EXPECT_FALSE(records(launch.calls[0]));
        EXPECT_NE(std::string::npos, launch.process.err.find("not empty"))
                << launch.process.err;
        EXPECT_EQ(std::string::npos,
                  launch.process.err.find("Recording the classes"))
                << launch.process.err;
    }
    EXPECT_EQ(0u, filesEnding(bundle.homeDir(), ".failed"));
    std::filesystem::remove_all(classes + "/demo");
    const LaunchResult emptied = bundle.run({}, options);
    ASSERT_EQ(1u, emptied.calls.size()) << emptied.process.err;
    EXPECT_TRUE(records(emptied.calls[0])) << emptied.process.err;
}

INSTANTIATE_FOR_EVERY_LAYOUT(ArchiveStart);
