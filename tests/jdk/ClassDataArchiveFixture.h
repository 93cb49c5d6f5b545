// What the tests of the class data archive on real JDKs share: an
// application with "app.cds=auto", its archive folder, the builders to wait
// for, and starts compared with `java`.
#ifndef CLASSDATAARCHIVEFIXTURE_H
#define CLASSDATAARCHIVEFIXTURE_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "JdkSupport.h"

namespace jdk_tests {

// An application with "app.cds=auto": its class path, or its module path
// and main module, and its java options. In options, "@APP@" stands for the
// application directory and "@CACHE@" for the application's cache
// directory.
struct CdsApp {
    std::vector<std::string> classPath{"app.jar"};
    std::vector<std::string> options;
    std::string modulePath;
    std::string mainModule;
};

inline std::string cacheDir(const Bundle& bundle) {
    return bundle.homeDir() + (bundle.layout() == Layout::LinuxImage
                                       ? "/.cache/Demo"
                                       : "/Library/Caches/Demo");
}

inline std::string archiveDir(const Bundle& bundle) {
    return cacheDir(bundle) + "/Demo.cds";
}

inline std::string substitute(std::string text, const Bundle& bundle) {
    for (const auto& macro : {std::make_pair("@APP@", bundle.appDir()),
                              std::make_pair("@CACHE@", cacheDir(bundle))}) {
        const std::string::size_type at = text.find(macro.first);
        if (at != std::string::npos) {
            text.replace(at, std::strlen(macro.first), macro.second);
        }
    }
    return text;
}

// The names in `dir` that end with `suffix`.
inline std::vector<std::string> filesEnding(const std::string& dir,
                                     const std::string& suffix) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size()
                && name.compare(name.size() - suffix.size(), suffix.size(),
                                suffix) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

// Returns once no builder holds a lock in the archive directory, so that
// no builder outlives a test.
inline void waitForBuilders(const std::string& dir) {
    for (const std::string& lock : filesEnding(dir, ".lock")) {
        const int fd = open((dir + "/" + lock).c_str(), O_RDONLY | O_CLOEXEC);
        for (int i = 0; fd >= 0 && i < 2400; ++i) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (fd >= 0) {
            close(fd);
        }
    }
}

inline void waitForBuilders(const Bundle& bundle) {
    waitForBuilders(archiveDir(bundle));
}

// The output's lines in order, without those that name mapped archives,
// and with the runtime's log timestamps and addresses (which differ from
// run to run) blanked. The order of the lines of a class loading log varies
// between java and any other launcher of the runtime's.
inline std::string withoutMaps(const std::string& out) {
    static const std::regex varying("\\[[0-9]+\\.[0-9]+s\\]|0x[0-9a-f]+");
    std::string kept;
    std::string::size_type start = 0;
    while (start < out.size()) {
        std::string::size_type end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end + 1;
        if (out.compare(start, 4, "map ") != 0) {
            kept += out.substr(start, end - start);
        }
        start = end;
    }
    std::istringstream lines(std::regex_replace(kept, varying, "?"));
    std::vector<std::string> sorted;
    for (std::string line; std::getline(lines, line);) {
        sorted.push_back(line);
    }
    std::sort(sorted.begin(), sorted.end());
    std::string result;
    for (const std::string& line : sorted) {
        result += line + "\n";
    }
    return result;
}

// The processes that have a file of `dir` whose name ends with `suffix`
// open.
inline std::vector<pid_t> processesHolding(const std::string& dir,
                                    const std::string& suffix) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& process :
         std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code fdError;
        for (const auto& fd : std::filesystem::directory_iterator(
                     process.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target =
                    std::filesystem::read_symlink(fd.path(), linkError)
                            .string();
            if (target.compare(0, dir.size() + 1, dir + "/") == 0
                    && target.size() > suffix.size()
                    && target.compare(target.size() - suffix.size(),
                                      suffix.size(), suffix) == 0) {
                pids.push_back(std::stoi(name));
                break;
            }
        }
    }
    return pids;
}

// Runs a program in a mount namespace of its own where `dir` is mounted
// read-only (as root).
inline std::vector<std::string> readOnly(const std::string& dir) {
    return {"unshare", "--mount", "--propagation", "private", "sh", "-c",
            "mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"", dir};
}

// Runs a program as the user nobody, to whom the bundle and its home
// directory then belong (as root).
inline std::vector<std::string> asNobody(const Bundle& bundle) {
    const ProcessResult chown = runProcess(
            "/bin/sh", {"sh", "-c",
                        "chmod 755 \"$0\" && chown -R 65534:65534 \"$1\"",
                        bundle.tempDir(), bundle.homeDir()});
    EXPECT_EQ(0, chown.exitStatus) << chown.err;
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

// True when the start mapped an archive of the launcher's own folder, in
// whatever home directory it had.
inline bool mapsOwnArchive(const Bundle& bundle, const ProcessResult& launch) {
    const std::string folder = "/" + bundle.name() + ".cds/";
    for (const std::string& map : parseOutput(launch.out).maps) {
        if (map.find(folder) != std::string::npos) {
            return true;
        }
    }
    return false;
}


class ClassDataArchive : public RealRuntime {
protected:
    std::unique_ptr<Bundle> makeCdsBundle(const CdsApp& app) const {
        auto bundle = makeBundle("");
        for (const std::string& jar :
             {testApp().lateJar, testApp().libJar, testApp().prefixedJar,
              testApp().bigManifestJar}) {
            copyExecutable(jar, bundle->appDir() + "/"
                                        + jar.substr(jar.rfind('/') + 1));
        }
        std::string config = "[Application]\napp.cds=auto\n";
        for (const std::string& entry : app.classPath) {
            config += "app.classpath=$APPDIR/" + entry + "\n";
        }
        if (app.mainModule.empty()) {
            config += "app.mainclass=vantrytest.Main\n";
        } else {
            config += "app.modulepath=$APPDIR/" + app.modulePath
                    + "\napp.mainmodule=" + app.mainModule + "\n";
        }
        config += "[JavaOptions]\njava-options=-Dvantrytest.maps=1\n";
        for (const std::string& option : app.options) {
            config += "java-options=" + substitute(option, *bundle) + "\n";
        }
        bundle->writeConfig(config);
        return std::unique_ptr<Bundle>(bundle.release());
    }

    // What the launcher hands the runtime, for the JDK's own java.
    static std::vector<std::string> javaArgs(const Bundle& bundle,
                                             const CdsApp& app) {
        std::vector<std::string> args;
        std::string classPath;
        for (const std::string& entry : app.classPath) {
            classPath += (classPath.empty() ? "" : ":") + bundle.appDir()
                    + "/" + entry;
        }
        if (!app.mainModule.empty()) {
            args = {"--module-path", bundle.appDir() + "/" + app.modulePath};
        }
        if (!classPath.empty()) {
            args.insert(args.end(), {"-classpath", classPath});
        }
        args.push_back("-Dvantrytest.maps=1");
        for (const std::string& option : app.options) {
            args.push_back(substitute(option, bundle));
        }
        args.push_back("-Dvantry.app-path=" + bundle.executable());
        if (app.mainModule.empty()) {
            args.push_back("vantrytest.Main");
        } else {
            args.insert(args.end(), {"-m", app.mainModule});
        }
        return args;
    }

    // `program` with `args` in the bundle's environment and `options`'s
    // working directory; through `sh -c` when the variable SHELL_PREFIX of
    // `options` holds commands to run first.
    static ProcessResult runShell(const Bundle& bundle,
                                  const std::string& program,
                                  const std::vector<std::string>& args,
                                  const ProcessOptions& options) {
        ProcessOptions all = bundle.baseOptions();
        all.env.insert(all.env.end(), options.env.begin(), options.env.end());
        all.cwd = options.cwd;
        all.wrapper = options.wrapper;
        std::string prefix;
        for (const auto& var : options.env) {
            if (var.first == "SHELL_PREFIX") {
                prefix = var.second.second;
            }
        }
        std::vector<std::string> argv{program};
        if (!prefix.empty()) {
            argv = {"sh", "-c", prefix + " exec \"$0\" \"$@\"", program};
        }
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(prefix.empty() ? program : "/bin/sh", argv, all);
    }

    // Starts `java` and then the launcher, `starts` times, each time
    // expecting the same exit status, standard error and standard output
    // (the mapped archives aside), and waiting for the builder. `before`
    // may change the image or the options of a start. The launcher's
    // results.
    std::vector<ProcessResult> compareStarts(
            const Bundle& bundle, const CdsApp& app, int starts,
            ProcessOptions options = ProcessOptions(),
            const std::function<void(int, ProcessOptions&)>& before
                    = nullptr) const {
        std::vector<ProcessResult> results;
        const ProcessOptions base = javaOptions();
        options.env.insert(options.env.begin(), base.env.begin(),
                           base.env.end());
        for (int i = 0; i < starts; ++i) {
            SCOPED_TRACE("start " + std::to_string(i + 1));
            if (before) {
                before(i, options);
            }
            const ProcessResult java = runShell(
                    bundle, jdk().home + "/bin/java", javaArgs(bundle, app),
                    options);
            const LaunchResult launch{
                    runShell(bundle, bundle.executable(), {}, options), {}};
            waitForBuilders(bundle);
            for (const auto& var : options.env) {
                if (var.first == "HOME" && var.second.first) {
                    waitForBuilders(var.second.second + "/Library/Caches/"
                                    + bundle.name() + "/" + bundle.name()
                                    + ".cds");
                }
            }
            EXPECT_FALSE(launch.process.timedOut);
            EXPECT_EQ(java.exitStatus, launch.process.exitStatus);
            // An exception out of main ends JLI_Launch with status 1, which
            // the launcher reports in a line of its own.
            const std::string launcherLine = "Failed to launch JVM\n";
            EXPECT_EQ(java.err + (java.exitStatus == 1 ? launcherLine : ""),
                      launch.process.err);
            EXPECT_EQ(withoutMaps(java.out), withoutMaps(launch.process.out));
            if (!mapsOwnArchive(bundle, launch.process)) {
                // Without the launcher's archive the runtime's own is used,
                // as by java.
                EXPECT_EQ(parseOutput(java.out).maps,
                          parseOutput(launch.process.out).maps);
            }
            results.push_back(launch.process);
        }
        return results;
    }
};

// The bundle layout alone, for the long tables.
class ClassDataArchiveFaults : public ClassDataArchive {
protected:
    /// Each case three starts, each compared with java; `archive` tells
    /// whether the last start maps the launcher's archive: 1 yes, 0 no, -1
    /// either.
    void noStartDiffersFromJava(int part) const;
};

} // namespace jdk_tests

#endif // CLASSDATAARCHIVEFIXTURE_H
