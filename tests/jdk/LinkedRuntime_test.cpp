// A runtime linked by the command from a JDK given as a macOS *.jdk folder,
// whose Java home is its Contents/Home, as bundle.runtime takes one.
#include <gtest/gtest.h>

#include "JdkSupport.h"

namespace jdk_tests {
namespace {

TEST(LinkedRuntime, FromAJdkFolderOfTheMacShape) {
    SKIP_IF_SLOW_LEFT_OUT();
    if (machineJdks().empty()) {
        GTEST_SKIP() << "No JDK on this machine";
    }
    ASSERT_EQ(testApp().error, "");
    const Jdk& jdk = machineJdks().front();
    TempDir temp;
    makeSymlink(jdk.home, temp / "temurin.jdk/Contents/Home");
    makeDirs(temp / "out");
    const std::string jar = testApp().jar;
    writeFile(temp / "app.cfg",
              "[Application]\napp.mainjar=$APPDIR/" + jar.substr(jar.rfind('/') + 1)
              + "\n[Bundle]\nbundle.name=App\nbundle.content=" + jar
              + "\nbundle.modules=java.base\nbundle.jdk=" + temp / "temurin.jdk" + "\n");
    ProcessOptions options;
    options.timeoutSeconds = 300;
    const ProcessResult r = runProcess(assemblePath(),
            {"applauncher-assemble", temp / "app.cfg", "--target", "image",
             "--output", temp / "out"}, options);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(readFile(temp / "out/App/lib/runtime/release")
                      .find("MODULES=\"java.base\""), std::string::npos);
    const ProcessResult app = runProcess(temp / "out/App/bin/App",
                                         {temp / "out/App/bin/App"}, options);
    EXPECT_EQ(app.exitStatus, 0) << app.err;
}

} // namespace
} // namespace jdk_tests
