// How the launcher's work grows with the size of its input: a configuration
// of N values (spread over every section, a macro in each value) loaded,
// expanded and assembled into the runtime's arguments, and the launch data
// block built for a command line of N arguments. Prints milliseconds for
// N = 1,000, 10,000 and 100,000 and the cost per value.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "CfgFile.h"
#include "JvmLauncher.h"
#include "Log.h"

namespace {

typedef std::chrono::steady_clock Clock;

double elapsedMs(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start)
            .count();
}

// About 100 bytes a line, so that 100,000 values make some 10 MB.
std::string makeConfig(int values) {
    static const char* const lines[] = {
        "[Application]\napp.classpath=$APPDIR/lib/",
        "[Application]\napp.modulepath=$ROOTDIR/Contents/mods/",
        "[JavaOptions]\njava-options=-Dbench.dir=$BINDIR/",
        "[AppCDSJavaOptions]\njava-options=-XX:SharedArchiveFile=$APPDIR/",
        "[AppCDSGenerateCacheJavaOptions]\njava-options=-Dcache=$APPDIR/",
        "[ArgOptions]\narguments=--input=$APPDIR/",
    };
    const int kinds = sizeof(lines) / sizeof(lines[0]);
    std::string text;
    text.reserve(static_cast<std::size_t>(values) * 110);
    const std::string padding(48, 'x');
    for (int kind = 0; kind < kinds; ++kind) {
        const std::string header(lines[kind], std::string(lines[kind]).find('\n') + 1);
        const std::string prefix(lines[kind] + header.size());
        text += header;
        for (int i = kind; i < values; i += kinds) {
            text += prefix + "component-" + std::to_string(i) + "-" + padding
                    + ".jar\n";
        }
    }
    text += "[Application]\napp.mainclass=bench.Main\n";
    return text;
}

std::string writeTemp(const std::string& text) {
    char path[] = "/tmp/applauncher-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size())
                          != static_cast<ssize_t>(text.size())) {
        std::perror("bench config");
        std::exit(1);
    }
    close(fd);
    return path;
}

// The best of a few runs, in milliseconds.
template <class F>
double best(F f) {
    double result = 1e30;
    for (int i = 0; i < 5; ++i) {
        result = std::min(result, f());
    }
    return result;
}

double configMs(const std::string& path, std::size_t* argCount) {
    CfgFile::Macros macros;
    macros["$APPDIR"] = "/Applications/Bench.app/Contents/app";
    macros["$BINDIR"] = "/Applications/Bench.app/Contents/MacOS";
    macros["$ROOTDIR"] = "/Applications/Bench.app";
    const Clock::time_point start = Clock::now();
    const CfgFile cfg = CfgFile::load(path).expandMacros(macros);
    Jvm jvm;
    jvm.addArgument("/Applications/Bench.app/Contents/MacOS/Bench");
    jvm.initFromConfigFile(cfg);
    const double ms = elapsedMs(start);
    *argCount = jvm.getArguments().size();
    return ms;
}

double blockMs(int args) {
    Jvm jvm;
    jvm.setPath("/Applications/Bench.app/Contents/runtime/Contents/Home/lib/"
                "libjli.dylib");
    for (int i = 0; i < args; ++i) {
        jvm.addArgument("--argument-" + std::to_string(i) + "=some value");
    }
    jvm.addEnvVariable("DYLD_LIBRARY_PATH", "/Applications/Bench.app/app");
    const Clock::time_point start = Clock::now();
    int size = 0;
    JvmlLauncherData* block = jvmLauncherCreateJvmlLauncherData(
            jvmLauncherAPI(), jvm.exportLauncher(), &size);
    const double ms = elapsedMs(start);
    if (block == nullptr) {
        std::fprintf(stderr, "data block failed\n");
        std::exit(1);
    }
    std::free(block);
    return ms;
}

} // namespace

int main() {
    // As in a launch without diagnostics: records are composed and dropped.
    static NopLogAppender nop;
    Logger::defaultLogger().installAppender(nop);

    std::printf("%-8s %12s %12s %14s %14s %16s\n", "values", "config MB",
                "config ms", "ns/value", "block ms", "ns/argument");
    for (int values : {1000, 10000, 100000}) {
        const std::string text = makeConfig(values);
        const std::string path = writeTemp(text);
        std::size_t argCount = 0;
        const double cfg = best([&] { return configMs(path, &argCount); });
        unlink(path.c_str());
        const double block = best([&] { return blockMs(values); });
        std::printf("%-8d %12.2f %12.2f %14.1f %14.2f %16.1f\n", values,
                    text.size() / 1e6, cfg, cfg * 1e6 / values, block,
                    block * 1e6 / values);
    }
    return 0;
}
