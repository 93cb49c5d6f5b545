#include "ArchiveOptions.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

#include "AppLayout.h"
#include "FileUtils.h"
#include "ReleaseFile.h"

namespace ArchiveOptions {

namespace {

// The value of a path option among the java options: "-cp" and the next
// option, or "--class-path=..."; false when `options[i]` is not `name`.
bool optionValue(const StringArray& options, std::size_t i,
                 const std::string& name, std::string& value) {
    if (options[i] == name && i + 1 < options.size()) {
        value = options[i + 1];
        return true;
    }
    if (tstrings::startsWith(options[i], name + "=")) {
        value = options[i].substr(name.size() + 1);
        return true;
    }
    return false;
}

void addEntries(StringArray& out, const std::string& pathList) {
    tstrings::split(out, pathList, std::string(1, FileUtils::pathSeparator),
                    tstrings::SPLIT_ALL);
}

bool containsAny(const std::string& text,
                 std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (text.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Sharing messages go to standard output: switched off there. The aot tag
// is new in 25 and an error before.
std::string quietOption(int feature) {
    return feature >= 25 ? "-Xlog:cds*=off,aot*=off" : "-Xlog:cds*=off";
}

// The first blank-separated word of a class list line.
std::string firstWord(const std::string& line) {
    return line.substr(0, line.find(' '));
}

} // namespace

ReleaseVersions parseRelease(const std::string& text) {
    std::map<std::string, std::string> values = ReleaseFile::parse(text);
    return ReleaseVersions{values["JAVA_VERSION"],
                          values["JAVA_RUNTIME_VERSION"]};
}

int featureVersion(const std::string& javaVersion) {
    std::string version = javaVersion;
    if (tstrings::startsWith(version, "1.")) {
        version = version.substr(2);
    }
    std::size_t digits = 0;
    while (digits < version.size() && digits < 4 && version[digits] >= '0'
           && version[digits] <= '9') {
        ++digits;
    }
    return digits == 0 ? 0 : std::atoi(version.substr(0, digits).c_str());
}

bool supportsArchive(int feature) {
    return feature >= 13;
}

std::string javaHomeOfLibrary(const std::string& jliPath) {
    return AppLayout::javaHomeOfLibrary(jliPath);
}

bool precludesArchive(const std::string& option) {
    static const char* const prefixes[] = {
        "-Xshare", "-Xbootclasspath", "-javaagent", "-agentlib", "-agentpath",
        "--patch-module", "--limit-modules", "--upgrade-module-path",
        "-Djava.system.class.loader=", "-Djava.security.manager",
        "-XX:Flags=", "-XX:VMOptionsFile=", "-verbose:class"};
    for (const char* prefix : prefixes) {
        if (tstrings::startsWith(option, prefix)) {
            return true;
        }
    }
    if (option == "-verbose") {
        return true;
    }
    if (tstrings::startsWith(option, "-XX:")) {
        // The last two switch the runtime's own archive off, with a warning
        // that an archive of the launcher's would silence.
        return containsAny(option, {"Shared", "ArchiveClassesAtExit",
                                    "DumpLoadedClassList", "DynamicDump",
                                    "AOT", "PrintCommandLineFlags",
                                    "PrintFlags", "PrintVMOptions",
                                    "UseCompressedClassPointers",
                                    "ObjectAlignmentInBytes"});
    }
    if (option == "-Xlog" || tstrings::startsWith(option, "-Xlog:")) {
        const std::string selection =
                option.substr(5, option.find(':', 6) - 5);
        return selection.size() <= 1
                || containsAny(selection, {"cds", "aot", "all", "class"});
    }
    return false;
}

bool writesFiles(const std::string& option) {
    if (tstrings::startsWith(option, "-Xloggc:")) {
        return true;
    }
    if (tstrings::startsWith(option, "-Xlog:")) {
        // -Xlog:<what>:<output>:...; no output, stdout and stderr (also by
        // their numbers) write no file.
        const std::string::size_type colon = option.find(':', 6);
        if (colon == std::string::npos) {
            return false;
        }
        const std::string rest = option.substr(colon + 1);
        const std::string output = rest.substr(0, rest.find(':'));
        return !(output.empty() || output == "stdout" || output == "stderr"
                 || output == "#0" || output == "#1");
    }
    if (!tstrings::startsWith(option, "-XX:")) {
        return false;
    }
    std::string name = option.substr(4);
    if (!name.empty() && (name[0] == '+' || name[0] == '-')) {
        name = name.substr(1);
    }
    name = name.substr(0, name.find_first_of("=:"));
    static const char* const writers[] = {
        "HeapDumpPath", "HeapDumpOnOutOfMemoryError", "HeapDumpBeforeFullGC",
        "HeapDumpAfterFullGC", "ErrorFile", "LogFile", "LogCompilation",
        "LogVMOutput", "FlightRecorder", "FlightRecorderOptions",
        "StartFlightRecording", "PerfDataSaveToFile", "PerfDataSaveFile",
        "ReplayDataFile", "DumpReplayDataOnError", "OnError",
        "OnOutOfMemoryError"};
    for (const char* writer : writers) {
        if (name == writer) {
            return true;
        }
    }
    return false;
}

StringArray withoutFileWriters(const StringArray& options) {
    StringArray kept;
    for (const std::string& option : options) {
        if (!writesFiles(option)) {
            kept.push_back(option);
        }
    }
    return kept;
}

std::string variableWithoutFileWriters(const std::string& text) {
    const StringArray words = variableWords(text);
    const StringArray kept = withoutFileWriters(words);
    if (kept.size() == words.size()) {
        return text;
    }
    std::string joined;
    for (const std::string& word : kept) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    return joined;
}

StringArray variableWords(const std::string& text) {
    StringArray result;
    std::string word;
    for (const char c : text + ' ') {
        if (c == '"' || c == '\'') {
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty()) {
                result.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    return result;
}

AppPaths collectPaths(const CfgFile& cfg) {
    AppPaths paths;
    for (const std::string& v :
         cfg.values(SectionName::Application, PropertyName::classpath)) {
        addEntries(paths.classPath, v);
    }
    for (const std::string& v :
         cfg.values(SectionName::Application, PropertyName::modulepath)) {
        addEntries(paths.modulePath, v);
    }
    const StringArray& options = cfg.values(SectionName::JavaOptions, PropertyName::javaOptions);
    for (std::size_t i = 0; i != options.size(); ++i) {
        std::string value;
        for (const char* name : {"-cp", "-classpath", "--class-path"}) {
            if (optionValue(options, i, name, value)) {
                addEntries(paths.classPath, value);
            }
        }
        for (const char* name : {"-p", "--module-path"}) {
            if (optionValue(options, i, name, value)) {
                addEntries(paths.modulePath, value);
            }
        }
    }
    return paths;
}

StringArray useOptions(int feature, const std::string& archive) {
    return StringArray{quietOption(feature),
                       "-XX:SharedArchiveFile=" + archive};
}

StringArray recordOptions(const std::string& list) {
    return StringArray{"-XX:DumpLoadedClassList=" + list};
}

bool linksAheadOfTime(int feature) {
    return feature >= 24;
}

StringArray dumpOptions(int feature, const std::string& list,
                        const std::string& archive) {
    StringArray options{"-Xshare:dump", "-XX:SharedClassListFile=" + list,
                        "-XX:SharedArchiveFile=" + archive};
    if (linksAheadOfTime(feature)) {
        // Classes linked ahead of time: measured 0.50 of `java` for javac
        // on 25 against 0.64 without.
        options.push_back("-XX:+AOTClassLinking");
    }
    return options;
}

bool isArchiveOption(const std::string& word) {
    return tstrings::startsWith(word, "-Xlog:cds")
            || tstrings::startsWith(word, "-XX:SharedArchiveFile=")
            || tstrings::startsWith(word, "-XX:DumpLoadedClassList=");
}

bool showsSecurityManager(const std::string& recorded) {
    StringArray lines;
    tstrings::split(lines, recorded, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string name = firstWord(line);
        if (name == "java/security/Policy"
                || name == "java/lang/SecurityManager$1") {
            return true;
        }
    }
    return false;
}

std::string withoutClasses(const std::string& list,
                           const std::set<std::string>& classes) {
    std::string kept;
    StringArray lines;
    tstrings::split(lines, list, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string name = line[0] == '@'
                ? firstWord(line.substr(line.find(' ') + 1))
                : firstWord(line);
        if (classes.count(name) == 0) {
            kept += line + "\n";
        }
    }
    return kept;
}

std::string mergeClassLists(const std::string& recorded,
                            const std::string& runtimeList) {
    std::string merged;
    std::set<std::string> classes;
    std::set<std::string> others;
    const auto take = [&](const std::string& text, bool onlyNew) {
        StringArray lines;
        tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
        for (const std::string& line : lines) {
            if (line[0] == '#') {
                continue;
            }
            const bool added = line[0] == '@'
                    ? others.insert(line).second
                    : classes.insert(firstWord(line)).second;
            if (added || !onlyNew) {
                merged += line + "\n";
            }
        }
    };
    take(recorded, false);
    take(runtimeList, true);
    return merged;
}

} // namespace ArchiveOptions
