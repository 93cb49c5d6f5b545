// What the tests against the machine's real JDKs share: finding the JDKs,
// running on them without the host's settings, a small linked runtime,
// the test application (tests/jdk/java, compiled once per process), reading
// what it printed, and the fixture that runs one JDK in one layout.
#ifndef JDKSUPPORT_H
#define JDKSUPPORT_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "Bundle.h"
#include "Layouts.h"

namespace jdk_tests {

using namespace testing_support;

std::string realPath(const std::string& path);
bool exists(const std::string& path);
std::string dirnameOf(const std::string& path);

/// A JDK found on the machine; an empty home stands for "none found".
struct Jdk {
    std::string home;
    std::string jli;
    std::string label;
};

/// Failure messages name the JDK by its home.
void PrintTo(const Jdk& jdk, std::ostream* os);

/// JAVA_HOME, the home of `java` on PATH, and every JDK under /usr/lib/jvm
/// (with a launcher library and javac), each once by its real path.
const std::vector<Jdk>& machineJdks();

/// The machine's JDKs, or one empty entry when there is none (its tests
/// skip, saying why).
std::vector<Jdk> jdkParams();

/// Why a test of one of `jdkParams()` skips on its empty entry.
extern const char* const noJdkReason;

/// Options of a run on a JDK that keep the host's settings out: a UTF-8 C
/// locale and none of the variables the JDK takes options or a class path
/// from; killed after `timeoutSeconds`.
ProcessOptions javaRunOptions(int timeoutSeconds);

/// `javaRunOptions`, and neither VANTRY_DEBUG nor LD_LIBRARY_PATH: for the
/// assembly command, the JDK's tools and the launchers they make.
ProcessOptions quietOptions(int timeoutSeconds);

/// A runtime of java.base alone that the JDK's jlink links once per JDK and
/// process; empty, with `error` set, when jlink fails.
std::string smallRuntime(const Jdk& jdk, std::string& error);

/// The test application, compiled once per process by the first JDK that
/// has javac and jar, for a release that every JDK of the machine runs:
/// `jar` runs vantrytest.Main; `lateJar` is the same with the manifest
/// attribute "Class-Path: late.jar"; `libJar` holds vantrytestlib.Printer;
/// `prefixedJar` is `jar` behind a launch script; `bigManifestJar` is
/// `jar` whose manifest lists a digest of 20,000 entries (over 1 MiB).
/// `dir` holds them and the compiled classes in "classes"; `tools` is the
/// bin directory, with a slash, of the JDK that built it. Built once, into
/// the build tree, for every test process of the same sources and JDK.
struct TestApp {
    std::string dir;
    std::string tools;
    std::string jar;
    std::string lateJar;
    std::string libJar;
    std::string prefixedJar;
    std::string bigManifestJar;
    std::string error;
};
const TestApp& testApp();

/// What the test application printed.
struct AppOutput {
    std::vector<std::string> args;
    std::map<std::string, std::string> props;
    /// The class data archives it found mapped.
    std::vector<std::string> maps;
    int unparsed = 0;
};
AppOutput parseOutput(const std::string& out);

/// "<JDK label>_<layout>", for test names.
std::string jdkAndLayoutName(
        const ::testing::TestParamInfo<std::tuple<Jdk, Layout>>& info);

/// True when APPLAUNCHER_SKIP_SLOW is set: a test whose time goes into
/// waiting on purpose (a long run) or into the JDK's and the system's own
/// tools (jlink, a build tool, lintian) is then left out. The suite's
/// second pass, under the sanitizers, sets it: what such a test adds to
/// the first pass is not memory errors of ours.
bool slowTestsLeftOut();

#define SKIP_IF_SLOW_LEFT_OUT()                                              \
    if (::jdk_tests::slowTestsLeftOut())                                    \
    GTEST_SKIP() << "slow, and APPLAUNCHER_SKIP_SLOW is set"

/// True when APPLAUNCHER_SKIP_SLOW is set and `jdk` is not the first of
/// the machine's JDKs: the tests that run on every JDK then run on that
/// one alone.
bool jdkLeftOut(const Jdk& jdk);

#define SKIP_IF_JDK_LEFT_OUT(jdk)                                            \
    if (::jdk_tests::jdkLeftOut(jdk))                                       \
    GTEST_SKIP() << "on the first JDK only, and APPLAUNCHER_SKIP_SLOW is set"

class RealRuntime
    : public ::testing::TestWithParam<std::tuple<Jdk, Layout>> {
protected:
    const Jdk& jdk() const { return std::get<0>(GetParam()); }

    void SetUp() override {
        if (jdk().home.empty()) {
            GTEST_SKIP() << "No JDK on this machine: JAVA_HOME is not set, "
                            "there is no java on PATH and no JDK with "
                            "lib/libjli.so and bin/javac under /usr/lib/jvm";
        }
        SKIP_IF_JDK_LEFT_OUT(jdk());
        if (!testApp().error.empty()) {
            FAIL() << "Cannot build the test application: "
                   << testApp().error;
        }
    }

    // A bundle with the test application's jar in the application
    // directory and the JDK as its default runtime.
    std::unique_ptr<Bundle> makeBundle(const std::string& config) const {
        std::unique_ptr<Bundle> bundle(
                new Bundle(std::get<1>(GetParam()), "Demo", false));
        bundle->linkRuntimeLibrary(bundle->runtimeDir(), jdk().jli);
        copyExecutable(testApp().jar, bundle->appDir() + "/app.jar");
        makeDirs(bundle->appDir() + "/extra");
        bundle->writeConfig(config);
        return bundle;
    }

    // The JDK's own java command with `javaArgs`, in the bundle's
    // environment with `more` added.
    ProcessResult runJava(const Bundle& bundle,
                          const std::vector<std::string>& javaArgs,
                          const ProcessOptions& more) const {
        ProcessOptions all = bundle.baseOptions();
        all.env.insert(all.env.end(), more.env.begin(), more.env.end());
        all.cwd = more.cwd;
        std::vector<std::string> argv{"java"};
        argv.insert(argv.end(), javaArgs.begin(), javaArgs.end());
        return runProcess(jdk().home + "/bin/java", argv, all);
    }

    // The JDK reads a few variables of its own: keep the host's out.
    static ProcessOptions javaOptions() { return javaRunOptions(60); }
};

} // namespace jdk_tests

#endif // JDKSUPPORT_H
