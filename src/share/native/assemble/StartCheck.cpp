#include "StartCheck.h"

#include <algorithm>
#include <cstdio>

#include "RuntimeArguments.h"

namespace StartCheck {

namespace {

const char vmHeader[] = "Error occurred during initialization of VM";

// The -XX: options (without their + or -) through which the runtime writes
// files.
const char* const writingOptions[] = {
    "ArchiveClassesAtExit", "AutoCreateSharedArchive", "DumpLoadedClassList",
    "DumpSharedSpaces", "HeapDumpPath", "HeapDumpOnOutOfMemoryError",
    "HeapDumpBeforeFullGC", "HeapDumpAfterFullGC", "ErrorFile",
    "StartFlightRecording", "FlightRecorderOptions", "LogCompilation",
    "LogFile", "LogVMOutput", "PrintAssembly", "PerfDataSaveToFile",
    "PerfDataSaveFile",
};

// The name of the -XX: option `option`, without its + or - and value;
// empty for others.
std::string xxName(const std::string& option) {
    if (!tstrings::startsWith(option, "-XX:")) {
        return std::string();
    }
    std::string name = option.substr(4);
    if (!name.empty() && (name[0] == '+' || name[0] == '-')) {
        name.erase(0, 1);
    }
    return name.substr(0, name.find('='));
}

// True for -Xlog options whose output (the field after the selection) is a
// file: anything but stdout and stderr.
bool logsToFile(const std::string& option) {
    if (!tstrings::startsWith(option, "-Xlog:")) {
        return false;
    }
    const std::string rest = option.substr(6);
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string output = rest.substr(colon + 1);
    output = output.substr(0, output.find(':'));
    return !output.empty() && output != "stdout" && output != "stderr";
}

bool isArchiveDump(const std::string& option) {
    const std::string name = xxName(option);
    return option == "-Xshare:dump" || name == "ArchiveClassesAtExit"
            || option == "-XX:+AutoCreateSharedArchive"
            || option == "-XX:+DumpSharedSpaces";
}

bool writesFiles(const std::string& option) {
    if (option == "-Xshare:dump" || logsToFile(option)
            || tstrings::startsWith(option, "-Xloggc:")) {
        return true;
    }
    const std::string name = xxName(option);
    return std::find(std::begin(writingOptions), std::end(writingOptions),
                     name) != std::end(writingOptions);
}

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

StringArray checkedOptions(const StringArray& options) {
    const bool dump = std::any_of(options.begin(), options.end(),
                                  isArchiveDump);
    StringArray kept;
    for (const std::string& option : options) {
        if (!writesFiles(option)
                && !(dump && xxName(option) == "SharedArchiveFile")) {
            kept.push_back(option);
        }
    }
    return kept;
}

StringArray arguments(const CfgFile& cfgFile,
                      const std::string& executablePath) {
    CfgFile checked = cfgFile;
    checked.setPropertyValue(SectionName::JavaOptions,
                             PropertyName::javaOptions,
                             checkedOptions(cfgFile.values(
                                     SectionName::JavaOptions,
                                     PropertyName::javaOptions)));
    RuntimeArguments built = runtimeArguments(
            checked, StringArray{"-XX:-UsePerfData", "--dry-run"},
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
