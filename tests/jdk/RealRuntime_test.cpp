// The launcher starting a real Java application on every JDK of the machine,
// in every layout. The image's runtime directory reaches the JDK through a
// link named like the layout's library (Contents/Home/lib/libjli.dylib or
// lib/libjli.so -> <jdk>/lib/libjli.so); the JDK's launcher library finds
// its Java home from its own real path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <tuple>
#include <utility>

#include "Bundle.h"
#include "Layouts.h"

using namespace testing_support;

namespace {

std::string realPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string dirnameOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

/// A JDK found on the machine; an empty home stands for "none found".
struct Jdk {
    std::string home;
    std::string jli;
    std::string label;
};

// Failure messages name the JDK by its home.
void PrintTo(const Jdk& jdk, std::ostream* os) {
    *os << (jdk.home.empty() ? std::string("no JDK") : jdk.home);
}

std::string jliOf(const std::string& home) {
    for (const char* name : {"/lib/libjli.so", "/lib/libjli.dylib"}) {
        if (exists(home + name)) {
            return home + name;
        }
    }
    return std::string();
}

// JAVA_HOME, the home of `java` on PATH, and every JDK under /usr/lib/jvm
// (with a launcher library and javac), each once by its real path.
std::vector<Jdk> findJdks() {
    std::vector<std::string> candidates;
    if (const char* javaHome = std::getenv("JAVA_HOME")) {
        candidates.push_back(javaHome);
    }
    if (const char* path = std::getenv("PATH")) {
        std::string dirs = path;
        std::string::size_type start = 0;
        while (start <= dirs.size()) {
            std::string::size_type end = dirs.find(':', start);
            if (end == std::string::npos) {
                end = dirs.size();
            }
            const std::string java = realPath(
                    (end > start ? dirs.substr(start, end - start) : ".")
                    + "/java");
            if (!java.empty() && access(java.c_str(), X_OK) == 0) {
                candidates.push_back(dirnameOf(dirnameOf(java)));
                break;
            }
            start = end + 1;
        }
    }
    std::vector<std::string> underJvm;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/usr/lib/jvm", ec)) {
        if (exists(entry.path().string() + "/bin/javac")) {
            underJvm.push_back(entry.path().string());
        }
    }
    // Directory order is arbitrary; the machine's JDKs come in name order.
    std::sort(underJvm.begin(), underJvm.end());
    candidates.insert(candidates.end(), underJvm.begin(), underJvm.end());

    std::vector<Jdk> jdks;
    std::set<std::string> seen;
    for (const std::string& candidate : candidates) {
        const std::string home = realPath(candidate);
        if (home.empty() || !seen.insert(home).second) {
            continue;
        }
        const std::string jli = jliOf(home);
        if (jli.empty()) {
            continue;
        }
        std::string label;
        for (char c : baseNameOf(home)) {
            label += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        // Test names must be unique: two homes may share a last component.
        for (const Jdk& other : jdks) {
            if (other.label == label) {
                label += "_" + std::to_string(jdks.size());
                break;
            }
        }
        jdks.push_back({home, jli, label});
    }
    return jdks;
}

const std::vector<Jdk>& machineJdks() {
    static const std::vector<Jdk> jdks = findJdks();
    return jdks;
}

std::vector<Jdk> jdkParams() {
    std::vector<Jdk> jdks = machineJdks();
    if (jdks.empty()) {
        jdks.push_back({std::string(), std::string(), "none"});
    }
    return jdks;
}

// The test application, compiled once per process by the first JDK that
// has javac and jar, for a release that every JDK of the machine runs.
struct TestApp {
    std::unique_ptr<TempDir> dir;
    std::string jar;
    std::string error;
};

const TestApp& testApp() {
    static TestApp app = [] {
        TestApp built;
        const std::string source = dirnameOf(__FILE__)
                + "/java/vantrytest/Main.java";
        std::string tools;
        for (const Jdk& jdk : machineJdks()) {
            if (exists(jdk.home + "/bin/javac")
                    && exists(jdk.home + "/bin/jar")) {
                tools = jdk.home + "/bin/";
                break;
            }
        }
        if (tools.empty()) {
            built.error = "no JDK with javac and jar";
            return built;
        }
        built.dir.reset(new TempDir());
        const std::string classes = *built.dir / "classes";
        built.jar = *built.dir / "app.jar";
        ProcessOptions options;
        options.timeoutSeconds = 120;
        const ProcessResult javac = runProcess(
                tools + "javac",
                {"javac", "--release", "11", "-encoding", "UTF-8", "-d",
                 classes, source},
                options);
        if (javac.exitStatus != 0) {
            built.error = "javac failed: " + javac.err + javac.out;
            return built;
        }
        const ProcessResult jar = runProcess(
                tools + "jar",
                {"jar", "--create", "--file", built.jar, "--main-class",
                 "vantrytest.Main", "-C", classes, "."},
                options);
        if (jar.exitStatus != 0) {
            built.error = "jar failed: " + jar.err + jar.out;
        }
        return built;
    }();
    return app;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::string::size_type i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// What the test application printed.
struct AppOutput {
    std::vector<std::string> args;
    std::map<std::string, std::string> props;
    int unparsed = 0;
};

AppOutput parseOutput(const std::string& out) {
    AppOutput parsed;
    std::string::size_type start = 0;
    while (start < out.size()) {
        std::string::size_type end = out.find('\n', start);
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, 4, "arg ") == 0) {
            parsed.args.push_back(fromHex(line.substr(4)));
        } else if (line.compare(0, 5, "prop ") == 0) {
            const std::string::size_type space = line.find(' ', 5);
            const std::string value = line.substr(space + 1);
            parsed.props[line.substr(5, space - 5)] =
                    value == "-" ? "<unset>" : fromHex(value);
        } else {
            ++parsed.unparsed;
        }
    }
    return parsed;
}

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

    // The JDK reads a few variables of its own: keep the host's out.
    static ProcessOptions javaOptions() {
        ProcessOptions options;
        options.setEnv("LC_ALL", "C.UTF-8")
                .unsetEnv("JDK_JAVA_OPTIONS")
                .unsetEnv("JAVA_TOOL_OPTIONS")
                .unsetEnv("_JAVA_OPTIONS")
                .unsetEnv("CLASSPATH");
        options.timeoutSeconds = 60;
        return options;
    }
};

} // namespace

TEST_P(RealRuntime, JarApplicationGetsArgumentsAndPropertiesExactly) {
    const std::string option = "option with  spaces \xc3\xbc \"q\"";
    const auto bundle = makeBundle(
            "[Application]\n"
            "app.mainjar=$APPDIR/app.jar\n"
            "[JavaOptions]\n"
            "java-options=-Dvantry.test=" + option + "\n"
            "[ArgOptions]\n"
            "arguments=configured $APPDIR\n");

    const std::vector<std::string> args{
            "plain",
            "two  spaces",
            " leading and trailing ",
            "",
            "\"double\" 'single'",
            "back\\slash",
            "\xc3\xbc" "n" "\xc3\xaf" "c" "\xc3\xb6" "d" "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
            "$APPDIR",
            "*",
            "-Dnot.an.option=1"};
    const LaunchResult launch = bundle->run(args, javaOptions());
    ASSERT_FALSE(launch.process.timedOut);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;

    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ(0, out.unparsed) << launch.process.out;
    EXPECT_EQ(args, out.args);
    EXPECT_EQ(bundle->executable(), out.props["vantry.app-path"]);
    EXPECT_EQ(option, out.props["vantry.test"]);
    EXPECT_EQ(bundle->appDir() + "/app.jar", out.props["java.class.path"]);
    EXPECT_EQ(jdk().home, realPath(out.props["java.home"]));

    // No arguments: the configured ones, expanded.
    const LaunchResult configured = bundle->run({}, javaOptions());
    ASSERT_EQ(0, configured.process.exitStatus) << configured.process.err;
    EXPECT_EQ(std::vector<std::string>{"configured " + bundle->appDir()},
              parseOutput(configured.process.out).args);
}

TEST_P(RealRuntime, ClassPathApplicationThroughLinkWithExitStatus) {
    const auto bundle = makeBundle(
            "[Application]\n"
            "app.classpath=$APPDIR/app.jar\n"
            "app.classpath=$APPDIR/extra\n"
            "app.mainclass=vantrytest.Main\n"
            "[JavaOptions]\n"
            "java-options=-Dvantry.test=cp\n"
            "java-options=-Dvantrytest.exit=3\n");
    const std::string link = bundle->tempDir() + "/bin/demo";
    makeSymlink("../" + bundle->executableFromParent(), link);

    ProcessOptions options = javaOptions();
    options.cwd = "/";
    const LaunchResult launch =
            bundle->runProgram(link, {"demo", "one", "two"}, options);
    ASSERT_FALSE(launch.process.timedOut);
    EXPECT_EQ(3, launch.process.exitStatus) << launch.process.err;

    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), out.args);
    EXPECT_EQ("cp", out.props["vantry.test"]);
    // Links are followed: the path is the image's executable, absolute,
    // and the application directory is found beside it.
    const std::string appPath = out.props["vantry.app-path"];
    ASSERT_FALSE(appPath.empty());
    EXPECT_EQ('/', appPath[0]) << appPath;
    EXPECT_EQ(realPath(bundle->executable()), realPath(appPath)) << appPath;
    const std::string classPath = out.props["java.class.path"];
    const std::string::size_type colon = classPath.find(':');
    ASSERT_NE(std::string::npos, colon) << classPath;
    EXPECT_EQ(realPath(bundle->appDir() + "/app.jar"),
              realPath(classPath.substr(0, colon)));
    EXPECT_EQ(realPath(bundle->appDir() + "/extra"),
              realPath(classPath.substr(colon + 1)));
}

// Another JDK's libjvm.so on LD_LIBRARY_PATH: the JDK's launcher library
// executes the launcher again, with the whole runtime vector, first.
TEST_P(RealRuntime, AnotherJdkOnLibraryPathLeavesArgumentsAlone) {
    const auto other = std::find_if(
            machineJdks().begin(), machineJdks().end(),
            [this](const Jdk& j) { return j.home != jdk().home; });
    if (other == machineJdks().end()) {
        GTEST_SKIP() << "Needs a second JDK";
    }
    const auto bundle = makeBundle("[Application]\n"
                                   "app.mainjar=$APPDIR/app.jar\n"
                                   "[JavaOptions]\njava-options=-Xmx64m\n");
    ProcessOptions options = javaOptions();
    options.setEnv("LD_LIBRARY_PATH", other->home + "/lib/server");
    const LaunchResult launch = bundle->run({"1", "-Xmx8m"}, options);
    ASSERT_EQ(0, launch.process.exitStatus) << launch.process.err;
    AppOutput out = parseOutput(launch.process.out);
    EXPECT_EQ((std::vector<std::string>{"1", "-Xmx8m"}), out.args);
    EXPECT_EQ(bundle->executable(), out.props["vantry.app-path"]);
    EXPECT_EQ(jdk().home, realPath(out.props["java.home"]));
}

namespace {

// The class data archives in a directory.
std::vector<std::string> archivesIn(const std::string& dir) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() == ".jsa") {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

// A class path application with the archive setting `cds` (a whole line, or
// nothing) and the java options.
struct CdsApp {
    CdsApp(std::string cds, std::vector<std::string> options = {},
           std::vector<std::string> classPath = {"app.jar"})
        : cds(std::move(cds)), options(std::move(options)),
          classPath(std::move(classPath)) {}

    std::string cds;
    std::vector<std::string> options;
    std::vector<std::string> classPath;
};

enum class Before { Nothing, TruncateArchive, GarbleArchive, FileAsCacheDir,
                    ReadOnlyCacheDir };

struct ArchiveCase {
    const char* name;
    CdsApp app;
    std::vector<std::pair<std::string, const char*>> env;
    Before before;
    bool archiveAfter;
    int exitStatus;
};

} // namespace

class RealRuntimeCds : public RealRuntime {
protected:
    std::unique_ptr<Bundle> makeCdsBundle(const CdsApp& app) const {
        std::string config = "[Application]\n" + app.cds;
        for (const std::string& entry : app.classPath) {
            config += "app.classpath=$APPDIR/" + entry + "\n";
        }
        config += "app.mainclass=vantrytest.Main\n[JavaOptions]\n";
        for (const std::string& option : app.options) {
            config += "java-options=" + option + "\n";
        }
        return makeBundle(config);
    }

    static std::string cacheDir(const Bundle& bundle) {
        return bundle.homeDir() + (bundle.layout() == Layout::LinuxImage
                                       ? "/.cache/Demo"
                                       : "/Library/Caches/Demo");
    }

    // The JDK's own java command with what the launcher would pass.
    ProcessResult runJava(const Bundle& bundle, const CdsApp& app,
                          const ProcessOptions& options) const {
        std::string classPath;
        for (const std::string& entry : app.classPath) {
            classPath += (classPath.empty() ? "" : ":") + bundle.appDir()
                    + "/" + entry;
        }
        std::vector<std::string> argv{"java", "-classpath", classPath};
        argv.insert(argv.end(), app.options.begin(), app.options.end());
        argv.push_back("-Dvantry.app-path=" + bundle.executable());
        argv.push_back("vantrytest.Main");
        return runProcess(jdk().home + "/bin/java", argv,
                          withBundleEnv(bundle, options));
    }

    static ProcessOptions withBundleEnv(const Bundle& bundle,
                                        const ProcessOptions& more) {
        ProcessOptions all = bundle.baseOptions();
        all.env.insert(all.env.end(), more.env.begin(), more.env.end());
        return all;
    }

    static void expectSameAs(const ProcessResult& java,
                             const ProcessResult& launcher) {
        EXPECT_EQ(java.exitStatus, launcher.exitStatus) << launcher.err;
        EXPECT_EQ(java.out, launcher.out);
        EXPECT_EQ(java.err, launcher.err);
    }
};

TEST_P(RealRuntimeCds, FirstStartWritesArchiveSecondUsesItOutputAsJava) {
    TempDir logs;
    const CdsApp app{"app.cds=auto\n",
                     {"-Dvantry.test=cds",
                      "-Xlog:class+load=info:file=" + logs / "load.txt"}};
    const auto bundle = makeCdsBundle(app);
    const ProcessResult java = runJava(*bundle, app, javaOptions());
    ASSERT_EQ(0, java.exitStatus) << java.err;
    EXPECT_EQ("cds", parseOutput(java.out).props["vantry.test"]);

    // The runtime's class loading log names where the main class came from.
    for (const char* source : {"file:", "shared objects file (top)"}) {
        expectSameAs(java, bundle->run({}, javaOptions()).process);
        EXPECT_EQ(1u, archivesIn(cacheDir(*bundle)).size()) << source;
        EXPECT_NE(std::string::npos, readFile(logs / "load.txt").find(
                " vantrytest.Main source: " + std::string(source)))
                << source;
    }
}

TEST_P(RealRuntimeCds, NothingMakesAStartWorse) {
    const bool root = geteuid() == 0;  // root writes into read-only folders
    const std::string on = "app.cds=auto\n";
    const Before none = Before::Nothing;
    const ArchiveCase cases[] = {
        {"off", {"app.cds=off\n"}, {}, none, false, 0},
        {"unknown value", {"app.cds=Auto\n"}, {}, none, false, 0},
        {"VANTRY_CDS=off", {on}, {{"VANTRY_CDS", "off"}}, none, false, 0},
        {"HOME unset", {on}, {{"HOME", nullptr}}, none, false, 0},
        {"exit status", {on, {"-Dvantrytest.exit=3"}}, {}, none, true, 3},
        {"truncated", {on}, {}, Before::TruncateArchive, true, 0},
        {"garbage", {on}, {}, Before::GarbleArchive, true, 0},
        {"cache dir is a file", {on}, {}, Before::FileAsCacheDir, false, 0},
        {"read-only cache dir", {on}, {}, Before::ReadOnlyCacheDir, root, 0},
        {"-Xshare option", {on, {"-Xshare:auto"}}, {}, none, false, 0},
        {"JAVA_TOOL_OPTIONS", {on}, {{"JAVA_TOOL_OPTIONS", "-Xshare:auto"}},
         none, false, 0},
        {"class path directory with a file", {on, {}, {"extra", "app.jar"}},
         {}, none, false, 0},
    };
    for (const ArchiveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bundle = makeCdsBundle(c.app);
        writeFile(bundle->appDir() + "/extra/note.txt", "a resource\n");
        const std::string dir = cacheDir(*bundle);
        if (c.before == Before::TruncateArchive
                || c.before == Before::GarbleArchive) {
            ASSERT_EQ(0, bundle->run({}, javaOptions()).process.exitStatus);
            const std::vector<std::string> archives = archivesIn(dir);
            ASSERT_EQ(1u, archives.size());
            const std::string::size_type size = readFile(archives[0]).size();
            chmod(archives[0].c_str(), 0600);
            writeFile(archives[0], c.before == Before::GarbleArchive
                                           ? std::string(size, '\x5a')
                                           : readFile(archives[0]).substr(
                                                     0, size / 2));
        } else if (c.before == Before::FileAsCacheDir) {
            writeFile(dir, "in the way\n");
        } else if (c.before == Before::ReadOnlyCacheDir) {
            makeDirs(dir);
            chmod(dir.c_str(), 0500);
        }
        ProcessOptions env = javaOptions();
        for (const auto& var : c.env) {
            if (var.second == nullptr) {
                env.unsetEnv(var.first);
            } else {
                env.setEnv(var.first, var.second);
            }
        }
        const ProcessResult java = runJava(*bundle, c.app, env);
        EXPECT_EQ(c.exitStatus, java.exitStatus) << java.err;
        expectSameAs(java, bundle->run({}, env).process);
        EXPECT_EQ(c.archiveAfter ? 1u : 0u, archivesIn(dir).size());
        chmod(dir.c_str(), 0700);
    }
}

TEST_P(RealRuntimeCds, ConcurrentFirstStartsWriteOneArchive) {
    const CdsApp app{"app.cds=auto\n"};
    const auto bundle = makeCdsBundle(app);
    const ProcessResult java = runJava(*bundle, app, javaOptions());
    const ProcessResult all = runProcess(
            "/bin/sh",
            {"sh", "-c",
             "for i in 1 2 3 4; do (\"$0\" >\"$1/out.$i\" 2>\"$1/err.$i\";"
             " echo $? >\"$1/status.$i\") & done; wait",
             bundle->executable(), bundle->tempDir()},
            withBundleEnv(*bundle, javaOptions()));
    ASSERT_EQ(0, all.exitStatus) << all.err;
    for (int i = 1; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ("0\n", readFile(bundle->tempDir() + "/status." + n)) << i;
        EXPECT_EQ(java.out, readFile(bundle->tempDir() + "/out." + n)) << i;
        EXPECT_EQ("", readFile(bundle->tempDir() + "/err." + n)) << i;
    }
    EXPECT_EQ(1u, archivesIn(cacheDir(*bundle)).size());
}

namespace {

const std::string::size_type npos = std::string::npos;

// A start as by the system: a child of process 1, standard error no
// terminal. In a new PID namespace the shell is process 1 and runs the
// launcher as its child; where user namespaces allow, as a user other than
// root, for whom a read-only directory is one. Empty when neither works.
const std::pair<std::vector<std::string>, bool>& systemStart() {
    static const std::pair<std::vector<std::string>, bool> found = [] {
        for (const bool asUser : {true, false}) {
            std::vector<std::string> wrapper{
                    exists("/usr/bin/unshare") ? "/usr/bin/unshare"
                                               : "/bin/unshare",
                    "--kill-child", "--pid", "--fork", "/bin/sh", "-c",
                    "\"$0\" \"$@\"; exit $?"};
            if (asUser) {
                wrapper.insert(wrapper.begin() + 1, "--map-user=1000");
            }
            ProcessOptions options;
            options.wrapper = wrapper;
            if (runProcess("/bin/sh", {"sh", "-c", "test $PPID = 1"}, options)
                        .exitStatus == 0) {
                return std::make_pair(wrapper, asUser || geteuid() != 0);
            }
        }
        return std::make_pair(std::vector<std::string>(), false);
    }();
    return found;
}

// The text that the Linux host wrote in place of an alert; empty when none.
std::string alertIn(const std::string& text) {
    const std::string open = "--- alert: Demo ---\n";
    const std::string::size_type start = text.find(open);
    return start == npos
            ? std::string()
            : text.substr(start + open.size(),
                          text.find("\n--- end of alert ---\n", start)
                                  - start - open.size());
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

const char* const jarApp = "[Application]\napp.mainjar=$APPDIR/app.jar\n";
const char* const throwingApp =
        "[Application]\napp.classpath=$APPDIR/app.jar\n"
        "app.mainclass=vantrytest.Main\n"
        "[JavaOptions]\njava-options=-Dvantrytest.throw=no config\n";

} // namespace

// Started by the system (bundle only: the Linux image keeps no log).
class RealRuntimeFromSystem : public RealRuntime {
protected:
    void SetUp() override {
        RealRuntime::SetUp();
        if (!IsSkipped() && !HasFatalFailure()
                && systemStart().first.empty()) {
            GTEST_SKIP() << "Cannot start the launcher as a child of process "
                            "1: unshare --pid --fork needs root or user "
                            "namespaces";
        }
    }

    static LaunchResult runAsSystem(const Bundle& bundle,
                                    const std::vector<std::string>& args,
                                    ProcessOptions options = javaOptions()) {
        options.wrapper = systemStart().first;
        return bundle.run(args, options);
    }

    static std::string logDir(const Bundle& bundle) {
        return bundle.homeDir() + "/Library/Logs/Demo";
    }
};

TEST_P(RealRuntime, FromAPipeThereIsNoLogAndNoAlert) {
    const auto bundle = makeBundle(throwingApp);
    const LaunchResult launch = bundle->run({}, javaOptions());
    EXPECT_EQ(1, launch.process.exitStatus);
    EXPECT_NE(npos, launch.process.err.find("IllegalStateException: no config"))
            << launch.process.err;
    EXPECT_EQ("", alertIn(launch.process.err)) << launch.process.err;
    EXPECT_FALSE(exists(bundle->homeDir() + "/Library"));
}

TEST_P(RealRuntimeFromSystem, FailuresAreInTheLogAndTheAlert) {
    // A missing main class makes the runtime end the process itself
    // (status 1) before control returns to the launcher: nobody is left to
    // show an alert. An exception out of main returns a failure.
    const struct {
        std::string config;
        const char* said;
        bool alert;
    } cases[] = {
        {"[Application]\napp.classpath=$APPDIR/app.jar\n"
         "app.mainclass=vantrytest.Missing\n",
         "Error: Could not find or load main class vantrytest.Missing\n",
         false},
        {throwingApp, "Exception in thread \"main\" "
                      "java.lang.IllegalStateException: no config\n", true},
        {"[Application]\napp.runtime=$ROOTDIR/none\n",
         "Failed to find JVM in \"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        const auto bundle = makeBundle(c.config);
        const LaunchResult launch = runAsSystem(*bundle, {});
        EXPECT_EQ(1, launch.process.exitStatus);
        EXPECT_EQ("", launch.process.out + launch.process.err);
        const std::string log = readFile(logDir(*bundle) + "/Demo.log");
        const std::string alert = alertIn(log);
        EXPECT_NE(npos, log.find(c.said)) << log;
        EXPECT_EQ(c.alert, alert.find(c.said) != npos) << log;
        EXPECT_EQ(c.alert, alert.find(logDir(*bundle) + "/Demo.log") != npos);
        EXPECT_EQ(npos, alert.find("Failed to launch JVM")) << alert;
    }
}

TEST_P(RealRuntimeFromSystem, StartsAppendToThePrivateLogRotatedPast10MiB) {
    const auto bundle = makeBundle(jarApp);
    const std::string dir = logDir(*bundle);
    const auto startWith = [&](const std::string& arg) {
        const LaunchResult launch = runAsSystem(*bundle, {arg});
        EXPECT_EQ(0, launch.process.exitStatus);
        EXPECT_EQ("", launch.process.out + launch.process.err);
        return parseOutput(readFile(dir + "/Demo.log")).args;
    };
    EXPECT_EQ(std::vector<std::string>{"first"}, startWith("first"));
    EXPECT_EQ(040700u, modeOf(dir));
    EXPECT_EQ(0100600u, modeOf(dir + "/Demo.log"));
    const std::string first = readFile(dir + "/Demo.log");
    EXPECT_EQ(0u, first.find("=== started ")) << first;
    EXPECT_EQ("", alertIn(first));

    const std::string large = first + std::string(10 << 20, 'x');
    writeFile(dir + "/Demo.log", large);
    writeFile(dir + "/Demo.1.log", "older\n");
    EXPECT_EQ(std::vector<std::string>{"second"}, startWith("second"));
    EXPECT_EQ((std::vector<std::string>{"second", "third"}),
              startWith("third"));
    EXPECT_EQ(large, readFile(dir + "/Demo.1.log"));
    std::error_code ec;
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir, ec),
                               std::filesystem::directory_iterator()));
}

TEST_P(RealRuntimeFromSystem, AnUnusableLogLeavesTheStartAsItWas) {
    // What spoils the log: a mode for its directory, a link in its place,
    // or no HOME. Root writes into read-only directories.
    const struct {
        mode_t dirMode;
        bool linked;
        bool home;
    } cases[] = {{0500, false, true}, {0777, false, true},
                 {0700, true, true}, {0700, false, false}};
    for (const auto& c : cases) {
        if (c.dirMode == 0500 && !systemStart().second) {
            continue;
        }
        SCOPED_TRACE(::testing::Message() << std::oct << c.dirMode << " "
                                          << c.linked << c.home);
        const auto bundle = makeBundle(jarApp);
        const std::string dir = logDir(*bundle);
        const std::string elsewhere = bundle->tempDir() + "/elsewhere";
        makeDirs(dir);
        chmod(dir.c_str(), c.dirMode);
        writeFile(elsewhere, "keep\n");
        if (c.linked) {
            makeSymlink(elsewhere, dir + "/Demo.log");
        }
        ProcessOptions options = javaOptions();
        if (!c.home) {
            options.unsetEnv("HOME");
        }
        const LaunchResult launch = runAsSystem(*bundle, {"arg"}, options);
        EXPECT_EQ(0, launch.process.exitStatus) << launch.process.err;
        EXPECT_EQ(std::vector<std::string>{"arg"},
                  parseOutput(launch.process.out).args);
        EXPECT_EQ("", launch.process.err);
        EXPECT_FALSE(S_ISREG(modeOf(dir + "/Demo.log")));
        EXPECT_EQ("keep\n", readFile(elsewhere));
        chmod(dir.c_str(), 0700);
    }
}

namespace {

std::string jdkAndLayoutName(
        const ::testing::TestParamInfo<std::tuple<Jdk, Layout>>& info) {
    return std::get<0>(info.param).label + "_"
           + ::testing::PrintToString(std::get<1>(info.param));
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
        Jdks, RealRuntime,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::ValuesIn(allLayouts())),
        jdkAndLayoutName);

INSTANTIATE_TEST_SUITE_P(
        Jdks, RealRuntimeFromSystem,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::Values(Layout::MacBundle)),
        jdkAndLayoutName);

INSTANTIATE_TEST_SUITE_P(
        Jdks, RealRuntimeCds,
        ::testing::Combine(::testing::ValuesIn(jdkParams()),
                           ::testing::ValuesIn(allLayouts())),
        jdkAndLayoutName);
