#include "RuntimeReexec.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace RuntimeReexec {

const char* const markerVariable = "VANTRY_LAUNCHER_REEXEC";

namespace {

// 64-bit FNV-1a over every argument and its terminating zero byte, so that
// the boundaries between arguments count.
std::string fingerprint(const StringArray& args) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&hash](unsigned char byte) {
        hash = (hash ^ byte) * 1099511628211ull;
    };
    for (const std::string& arg : args) {
        for (const char c : arg) {
            add(static_cast<unsigned char>(c));
        }
        add(0);
    }
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx",
                  static_cast<unsigned long long>(hash));
    return text;
}

// The marker's text up to the library path.
std::string markerPrefix(const StringArray& args) {
    return std::to_string(SysInfo::getProcessId()) + " " + fingerprint(args)
           + " ";
}

} // namespace

void mark(const Jvm& jvm) {
    SysInfo::setEnvVariable(markerVariable,
                            markerPrefix(jvm.getArguments()) + jvm.getPath());
}

Jvm* findReexecutedJvm(const StringArray& args) {
    const std::string marker =
            SysInfo::getEnvVariable(std::nothrow, markerVariable, "");
    const std::string prefix = markerPrefix(args);
    if (marker.size() <= prefix.size()
            || marker.compare(0, prefix.size(), prefix) != 0) {
        return nullptr;
    }
    const std::string libPath = marker.substr(prefix.size());
    LOG_TRACE("Executed again by the runtime's launcher library: handing on"
              " its " << args.size() << " arguments to \"" << libPath << "\"");
    std::unique_ptr<Jvm> jvm(new Jvm());
    jvm->setPath(libPath);
    for (const std::string& arg : args) {
        jvm->addArgument(arg);
    }
    return jvm.release();
}

} // namespace RuntimeReexec
