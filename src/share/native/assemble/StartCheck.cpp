#include "StartCheck.h"

#include <algorithm>
#include <cstdio>

#include "RuntimeArguments.h"

namespace StartCheck {

namespace {

const char vmHeader[] = "Error occurred during initialization of VM";

} // namespace

bool canRun(const Host& host, const ExecutableInfo& launcher,
            const RuntimeRelease& release) {
    const StringArray& archs = release.architectures;
    return systemOf(launcher.format) == host.system
            && release.osName == host.system
            && std::find(archs.begin(), archs.end(), host.architecture)
                       != archs.end()
            && std::find(launcher.architectures.begin(),
                         launcher.architectures.end(), host.architecture)
                       != launcher.architectures.end();
}

StringArray arguments(const CfgFile& cfgFile,
                      const std::string& executablePath) {
    RuntimeArguments built = runtimeArguments(
            cfgFile, StringArray{"-XX:-UsePerfData", "--dry-run"},
            executablePath);
    return built.args;
}

bool isRemovedVariable(const std::string& name) {
    return name == "JAVA_TOOL_OPTIONS" || name == "_JAVA_OPTIONS"
            || name == "JDK_JAVA_OPTIONS" || name == "CLASSPATH"
            || tstrings::startsWith(name, "VANTRY_");
}

std::string firstErrorLine(const std::string& output) {
    StringArray lines;
    tstrings::split(lines, output, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    std::string first;
    bool header = false;
    for (const std::string& line : lines) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        // The virtual machine says why it could not be created on the line
        // after its general one.
        if (header) {
            first += ": " + line;
            break;
        }
        const bool warning = line.find(" VM warning: ") != std::string::npos;
        if (!warning || first.empty()) {
            first = line;
        }
        header = line == vmHeader;
        if (!warning && !header) {
            break;
        }
    }
    std::string shown;
    for (char c : first) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\x%02x", u);
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace StartCheck
