#include "JdkSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

namespace jdk_tests {

namespace {

std::string baseNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string jliOf(const std::string& home) {
    for (const char* name : {"/lib/libjli.so", "/lib/libjli.dylib"}) {
        if (exists(home + name)) {
            return home + name;
        }
    }
    return std::string();
}

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

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::string::size_type i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

} // namespace

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

void PrintTo(const Jdk& jdk, std::ostream* os) {
    *os << (jdk.home.empty() ? std::string("no JDK") : jdk.home);
}

const std::vector<Jdk>& machineJdks() {
    static const std::vector<Jdk> jdks = findJdks();
    return jdks;
}

bool slowTestsLeftOut() {
    const char* value = std::getenv("APPLAUNCHER_SKIP_SLOW");
    return value != nullptr && *value != '\0';
}

bool jdkLeftOut(const Jdk& jdk) {
    return slowTestsLeftOut() && !machineJdks().empty()
            && jdk.home != machineJdks().front().home;
}

std::vector<Jdk> jdkParams() {
    std::vector<Jdk> jdks = machineJdks();
    if (jdks.empty()) {
        jdks.push_back({std::string(), std::string(), "none"});
    }
    return jdks;
}

const char* const noJdkReason =
        "No JDK on this machine: JAVA_HOME is not set, there is no java on "
        "PATH and no JDK under /usr/lib/jvm";

ProcessOptions javaRunOptions(int timeoutSeconds) {
    ProcessOptions options;
    options.setEnv("LC_ALL", "C.UTF-8")
            .unsetEnv("JDK_JAVA_OPTIONS")
            .unsetEnv("JAVA_TOOL_OPTIONS")
            .unsetEnv("_JAVA_OPTIONS")
            .unsetEnv("CLASSPATH");
    options.timeoutSeconds = timeoutSeconds;
    return options;
}

ProcessOptions quietOptions(int timeoutSeconds) {
    ProcessOptions options = javaRunOptions(timeoutSeconds);
    options.unsetEnv("LD_LIBRARY_PATH").unsetEnv("VANTRY_DEBUG");
    return options;
}

std::string smallRuntime(const Jdk& jdk, std::string& error) {
    struct Linked {
        std::unique_ptr<TempDir> dir;
        std::string error;
    };
    static std::map<std::string, Linked> made;
    Linked& linked = made[jdk.home];
    if (!linked.dir) {
        linked.dir.reset(new TempDir());
        const ProcessResult r = runProcess(jdk.home + "/bin/jlink",
                {"jlink", "--add-modules", "java.base", "--output",
                 linked.dir->path() + "/rt", "--no-header-files",
                 "--no-man-pages"});
        if (r.exitStatus != 0) {
            linked.error = "jlink failed: " + r.err + r.out;
        }
    }
    error = linked.error;
    return error.empty() ? linked.dir->path() + "/rt" : std::string();
}

namespace {

// Runs the JDK tool `tool` of `tools` with `args`; an error text, or empty.
std::string runTool(const std::string& tools, const std::string& tool,
                    const std::vector<std::string>& args) {
    ProcessOptions options;
    options.timeoutSeconds = 120;
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProcessResult result = runProcess(tools + tool, argv, options);
    return result.exitStatus == 0
            ? std::string()
            : tool + " failed: " + result.err + result.out;
}

// A manifest that lists a digest of each of `entries` entries, as a signed
// jar's does.
std::string bigManifest(int entries) {
    std::string text = "Manifest-Version: 1.0\nMain-Class: vantrytest.Main\n\n";
    for (int i = 0; i < entries; ++i) {
        text += "Name: data/entry" + std::to_string(i)
                + ".bin\nSHA-256-Digest: "
                  "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=\n\n";
    }
    return text;
}

// The Java sources of the test application, in name order.
std::vector<std::string> testSources() {
    std::vector<std::string> sources;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
                 dirnameOf(__FILE__) + "/java", ec)) {
        if (entry.path().extension() == ".java") {
            sources.push_back(entry.path().string());
        }
    }
    std::sort(sources.begin(), sources.end());
    return sources;
}

// Names what the test application is built from: its sources and the JDK
// that builds it.
std::string buildKey(const std::vector<std::string>& sources,
                     const std::string& tools) {
    std::string text = tools;
    for (const std::string& source : sources) {
        text += source + readFile(source);
    }
    return std::to_string(std::hash<std::string>()(text));
}

// Fills the paths of the test application in `dir`.
TestApp appIn(const std::string& dir, const std::string& tools) {
    TestApp app;
    app.dir = dir;
    app.tools = tools;
    app.jar = dir + "/app.jar";
    app.lateJar = dir + "/late-app.jar";
    app.libJar = dir + "/lib.jar";
    app.prefixedJar = dir + "/prefixed.jar";
    app.bigManifestJar = dir + "/big-manifest.jar";
    return app;
}

// Builds the test application into `dir`; an error text, or empty.
std::string buildTestApp(const TestApp& built,
                         const std::vector<std::string>& sources) {
    const std::string& dir = built.dir;
    const std::string& tools = built.tools;
    const std::string classes = dir + "/classes";
    writeFile(dir + "/late.txt",
              "Main-Class: vantrytest.Main\nClass-Path: late.jar\n");
    writeFile(dir + "/big.txt", bigManifest(20000));
    std::vector<std::string> javac{"javac", "--release", "11", "-encoding",
                                   "UTF-8", "-d", classes};
    javac.insert(javac.end(), sources.begin(), sources.end());
    const std::vector<std::vector<std::string>> steps = {
        javac,
        {"jar", "--create", "--file", built.jar, "--main-class",
         "vantrytest.Main", "-C", classes, "vantrytest"},
        {"jar", "--create", "--file", built.lateJar, "--manifest",
         dir + "/late.txt", "-C", classes, "vantrytest"},
        {"jar", "--create", "--file", built.libJar, "-C", classes,
         "vantrytestlib"},
        {"jar", "--create", "--file", built.bigManifestJar, "--manifest",
         dir + "/big.txt", "-C", classes, "vantrytest"},
    };
    for (const auto& step : steps) {
        const std::string error = runTool(
                tools, step[0],
                std::vector<std::string>(step.begin() + 1, step.end()));
        if (!error.empty()) {
            return error;
        }
    }
    writeFile(built.prefixedJar,
              "#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n"
                      + readFile(built.jar));
    return std::string();
}

// The test application, built once for all test processes into the build
// tree (in a folder of its own, renamed into place when complete, so that
// concurrent test processes never see half of it).
TestApp cachedTestApp() {
    std::string tools;
    for (const Jdk& jdk : machineJdks()) {
        if (exists(jdk.home + "/bin/javac") && exists(jdk.home + "/bin/jar")) {
            tools = jdk.home + "/bin/";
            break;
        }
    }
    if (tools.empty()) {
        TestApp none;
        none.error = "no JDK with javac and jar";
        return none;
    }
    const std::vector<std::string> sources = testSources();
    const std::string cache = JDK_TEST_APP_CACHE;
    const std::string dir = cache + "/" + buildKey(sources, tools);
    if (exists(dir)) {
        return appIn(dir, tools);
    }
    makeDirs(cache);
    std::string pattern = cache + "/building-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        TestApp none;
        none.error = "cannot create a folder in " + cache;
        return none;
    }
    TestApp built = appIn(pattern, tools);
    built.error = buildTestApp(built, sources);
    if (!built.error.empty()) {
        std::filesystem::remove_all(pattern);
        return built;
    }
    if (rename(pattern.c_str(), dir.c_str()) != 0) {
        // Another test process was quicker.
        std::filesystem::remove_all(pattern);
    }
    return appIn(dir, tools);
}

} // namespace

const TestApp& testApp() {
    static const TestApp app = cachedTestApp();
    return app;
}

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
        } else if (line.compare(0, 4, "map ") == 0) {
            parsed.maps.push_back(fromHex(line.substr(4)));
        } else {
            ++parsed.unparsed;
        }
    }
    return parsed;
}

std::string jdkAndLayoutName(
        const ::testing::TestParamInfo<std::tuple<Jdk, Layout>>& info) {
    return std::get<0>(info.param).label + "_"
           + ::testing::PrintToString(std::get<1>(info.param));
}

} // namespace jdk_tests
