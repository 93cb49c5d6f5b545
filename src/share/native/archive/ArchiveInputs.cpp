#include "ArchiveInputs.h"

#include "FileUtils.h"
#include "Fnv1a.h"
#include "SysInfo.h"

namespace {

// The variables from which the runtime takes options.
const char* const optionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                       "_JAVA_OPTIONS"};

// A file size limit below this could cut a class list or an archive short
// (SIGXFSZ ends the process that writes past it).
const unsigned long long minimumFileSizeLimit = 1ull << 30;

// The runtime's files that an archive is validated against.
const char* const runtimeFileNames[] = {
    "lib/modules", "lib/server/libjvm.so", "lib/server/libjvm.dylib",
    "lib/server/classes.jsa", "lib/classlist"};

FileFact fact(const std::string& path) {
    return FileFact{path, FileUtils::fileIdentity(path)};
}

bool isWildcard(const std::string& entry) {
    return entry == "*" || tstrings::endsWith(entry, "/*");
}

bool isJarName(const std::string& name) {
    return tstrings::endsWith(name, ".jar") || tstrings::endsWith(name, ".JAR");
}

// The jars of a wildcard class path entry, as the runtime expands it.
StringArray wildcardJars(const std::string& entry) {
    const std::string dir = entry.substr(0, entry.size() - 1);
    StringArray jars;
    for (const std::string& name :
         FileUtils::listDirectory(dir.empty() ? std::string(".") : dir)) {
        if (isJarName(name)) {
            jars.push_back(dir + name);
        }
    }
    return jars;
}

void collectRuntime(const std::string& jliPath, ArchiveInputs& in) {
    const std::string real = FileUtils::canonicalPath(jliPath);
    in.javaHome = real.empty() ? std::string()
                               : ArchiveOptions::javaHomeOfLibrary(real);
    if (in.javaHome.empty()) {
        return;
    }
    std::string release;
    FileUtils::readSmallFile(FileUtils::combinePath(in.javaHome, "release"),
                             1u << 20, release);
    in.release = ArchiveOptions::parseRelease(release);
    in.feature = ArchiveOptions::featureVersion(in.release.javaVersion);
    for (const char* name : runtimeFileNames) {
        in.runtimeFiles.push_back(
                fact(FileUtils::combinePath(in.javaHome, name)));
        if (tstrings::startsWith(name, "lib/server/libjvm.")
                && in.runtimeFiles.back().identity != "-") {
            in.serverVm = true;
        }
    }
}

void collectClassPath(const StringArray& configured, ArchiveInputs& in) {
    in.classPath = configured;
    if (in.classPath.empty() && in.mainJar.path.empty()) {
        tstrings::split(in.classPath,
                        SysInfo::getEnvVariable(std::nothrow, "CLASSPATH", ""),
                        std::string(1, FileUtils::pathSeparator),
                        tstrings::SPLIT_EXCLUDE_EMPTY);
    }
    for (const std::string& entry : in.classPath) {
        if (isWildcard(entry)) {
            in.classPathFiles.push_back(FileFact{entry, "*"});
            for (const std::string& jar : wildcardJars(entry)) {
                in.classPathFiles.push_back(fact(jar));
            }
            continue;
        }
        const std::string path = entry.empty() ? std::string(".") : entry;
        in.classPathFiles.push_back(fact(path));
        // JDK 17 refuses to dump, JDK 25 to map, when a class path
        // directory holds anything.
        if (in.busyClassPathDirectory.empty()
                && !FileUtils::listDirectory(path).empty()) {
            in.busyClassPathDirectory = path;
        }
    }
}

} // namespace

ArchiveInputs ArchiveInputs::collect(const CfgFile& cfg,
                                     const std::string& jliPath) {
    using SectionName::Application;
    ArchiveInputs in;
    collectRuntime(jliPath, in);
    const std::string mainJar =
            cfg.lastValue(Application, PropertyName::mainjar);
    if (!mainJar.empty()) {
        in.mainJar = fact(mainJar);
    }
    const ArchiveOptions::AppPaths paths = ArchiveOptions::collectPaths(cfg);
    collectClassPath(paths.classPath, in);
    for (const std::string& entry : paths.modulePath) {
        in.modulePathFiles.push_back(fact(entry));
        for (const std::string& name : FileUtils::listDirectory(entry)) {
            in.modulePathFiles.push_back(
                    fact(FileUtils::combinePath(entry, name)));
        }
    }
    in.mainModule = cfg.lastValue(Application, PropertyName::mainmodule);
    in.mainClass = cfg.lastValue(Application, PropertyName::mainclass);
    in.javaOptions =
            cfg.values(SectionName::JavaOptions, PropertyName::javaOptions);
    for (const char* name : optionVariables) {
        in.variables.push_back(std::string(name) + "="
                + SysInfo::getEnvVariable(std::nothrow, name, ""));
    }
    in.variables.push_back("CLASSPATH="
            + SysInfo::getEnvVariable(std::nothrow, "CLASSPATH", ""));
    in.fileSizeLimit = SysInfo::fileSizeLimit();
    return in;
}

std::string ArchiveInputs::whyRuledOut() const {
    if (!ArchiveOptions::supportsArchive(feature)) {
        return "the runtime" + (javaHome.empty() ? std::string()
                                                 : " in \"" + javaHome + "\"")
                + " has no release file with a JAVA_VERSION of 13 or later";
    }
    if (!serverVm) {
        return "the runtime in \"" + javaHome + "\" has no server VM";
    }
    StringArray options = javaOptions;
    for (const std::string& variable : variables) {
        if (!tstrings::startsWith(variable, "CLASSPATH=")) {
            const StringArray words = ArchiveOptions::variableWords(
                    variable.substr(variable.find('=') + 1));
            options.insert(options.end(), words.begin(), words.end());
        }
    }
    for (const std::string& option : options) {
        if (ArchiveOptions::precludesArchive(option)) {
            return "the option \"" + option
                    + "\" manages or reports sharing or rules it out";
        }
    }
    for (const std::string& entry : classPath) {
        if (entry.empty() || !FileUtils::isDirSeparator(entry[0])) {
            // The builder runs in "/", not in the start's folder.
            return "the class path entry \"" + entry
                    + "\" is relative to the working directory";
        }
    }
    if (!busyClassPathDirectory.empty()) {
        return "the class path directory \"" + busyClassPathDirectory
                + "\" is not empty";
    }
    if (fileSizeLimit < minimumFileSizeLimit) {
        return "the file size limit is too low";
    }
    return std::string();
}

std::string ArchiveInputs::digest() const {
    Fnv1a hash;
    hash.add("static archive 2");
    hash.add(javaHome);
    hash.add(release.javaVersion);
    hash.add(release.runtimeVersion);
    const auto addFiles = [&hash](const char* what,
                                  const std::vector<FileFact>& files) {
        hash.add(what);
        for (const FileFact& file : files) {
            hash.add(file.path);
            hash.add(file.identity);
        }
    };
    addFiles("runtime", runtimeFiles);
    addFiles("-classpath", classPathFiles);
    addFiles("--module-path", modulePathFiles);
    addFiles("-jar", mainJar.path.empty() ? std::vector<FileFact>()
                                          : std::vector<FileFact>{mainJar});
    hash.add(mainModule);
    hash.add(mainClass);
    hash.add("java-options");
    for (const std::string& option : javaOptions) {
        hash.add(option);
    }
    hash.add("variables");
    for (const std::string& variable : variables) {
        hash.add(variable);
    }
    return hash.hex();
}

StringArray ArchiveInputs::rootJars() const {
    StringArray jars;
    for (const FileFact& file : classPathFiles) {
        if (file.identity != "*") {
            jars.push_back(file.path);
        }
    }
    if (!mainJar.path.empty()) {
        jars.push_back(mainJar.path);
    }
    return jars;
}
