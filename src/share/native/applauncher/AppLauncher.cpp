#include "AppLauncher.h"

#include <cstdlib>
#include <memory>

#include "CfgFile.h"
#include "ClassDataArchive.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "PrivateFiles.h"
#include "RuntimeReexec.h"
#include "SysInfo.h"

namespace {

// The runtime's launcher library: the first candidate under the runtime
// directory named by the configuration, or under `fallbackRuntimeDir` when
// it names none.
std::string findJvmLib(const CfgFile& cfgFile,
                       const std::string& fallbackRuntimeDir,
                       const StringArray& jvmLibCandidates) {
    const StringArray& runtimeValues =
            cfgFile.values(SectionName::Application, PropertyName::runtime);
    std::string runtimeDir;
    if (!runtimeValues.empty()) {
        runtimeDir = runtimeValues.back();
        // A relative directory would be looked up under the working
        // directory, which may hold anybody's library.
        if (!runtimeDir.empty() && !FileUtils::isDirSeparator(runtimeDir[0])) {
            VT_THROW(tstrings::any() << "The \"" << PropertyName::runtime.name()
                     << "\" property names a relative path, \"" << runtimeDir
                     << "\": the Java runtime directory must be an absolute"
                        " path (for example under $ROOTDIR)");
        }
    } else {
        runtimeDir = fallbackRuntimeDir;
        LOG_TRACE("Property \"" << PropertyName::runtime.name()
                  << "\" not found in \"" << SectionName::Application.name()
                  << "\" section of launcher config file."
                  << " Using Java runtime from \"" << runtimeDir
                  << "\" directory");
    }

    // An empty directory would make the candidates relative to the working
    // directory, which may hold anybody's library.
    if (!runtimeDir.empty()) {
        for (const std::string& candidate : jvmLibCandidates) {
            const std::string path =
                    FileUtils::combinePath(runtimeDir, candidate);
            if (FileUtils::isFileExists(path)) {
                return path;
            }
        }
    }

    VT_THROW(tstrings::any() << "Failed to find JVM in \"" << runtimeDir
                             << "\" directory.");
}

// The variables through which the runtime and its launcher library take
// options or a class path from outside the application.
const char* const runtimeOptionVariables[] = {
    "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"};

// "app.locked" of the application's own configuration: "true" locks it,
// "false" or no value leaves it open. Any other value is an error, since a
// packager who wrote it meant to lock.
bool isLocked(const CfgFile& cfgFile, const std::string& path) {
    const StringArray& values =
            cfgFile.values(SectionName::Application, PropertyName::locked);
    for (const std::string& value : values) {
        if (value != "true" && value != "false") {
            VT_THROW(tstrings::any() << "Invalid value \"" << value
                     << "\" of the \"" << PropertyName::locked.name()
                     << "\" property in \"" << path
                     << "\": it must be \"true\" or \"false\"");
        }
    }
    return !values.empty() && values.back() == "true";
}

// What a locked application adds to its runtime options, unless its own
// java options say otherwise: no attach mechanism, through which any
// process of the user could load an agent into it (a Java agent needs no
// library of its own, so library validation does not stop it), and, where
// `libraryPath` is given, that directory as the whole java.library.path.
StringArray optionsOfLockedApplication(const CfgFile& cfgFile,
                                       const std::string& libraryPath) {
    bool attachSet = false;
    bool libraryPathSet = false;
    for (const std::string& option :
         cfgFile.values(SectionName::JavaOptions, PropertyName::javaOptions)) {
        attachSet = attachSet
                || tstrings::startsWith(option, "-XX:+DisableAttachMechanism")
                || tstrings::startsWith(option, "-XX:-DisableAttachMechanism");
        libraryPathSet = libraryPathSet
                || tstrings::startsWith(option, "-Djava.library.path=");
    }
    StringArray options;
    if (!attachSet) {
        options.push_back("-XX:+DisableAttachMechanism");
    }
    if (!libraryPath.empty() && !libraryPathSet) {
        options.push_back("-Djava.library.path=" + libraryPath);
    }
    return options;
}

// Takes the runtime's option variables out of the environment; the names
// of those that were set.
std::string removeRuntimeOptionVariables() {
    std::string removed;
    for (const char* name : runtimeOptionVariables) {
        if (std::getenv(name) != nullptr) {
            SysInfo::unsetEnvVariable(name);
            removed += (removed.empty() ? "" : ", ") + std::string(name);
        }
    }
    return removed.empty() ? std::string("nothing") : removed;
}

} // namespace

AppLauncher::AppLauncher()
    : commandArgs(SysInfo::getCommandArgs(SysInfo::SKIP_PROGRAM_NAME)),
      executablePath(SysInfo::getProcessModulePath()) {}

std::string AppLauncher::getCfgFilePath() const {
    const std::string fileName =
            FileUtils::stripExeSuffix(FileUtils::basename(executablePath))
            + ".cfg";
    // The per-user files lie outside the image: only a file that the user
    // alone controls may decide what runs.
    for (const std::string& dir : cfgSearchDirs) {
        const std::string path = FileUtils::combinePath(dir, fileName);
        LOG_TRACE("Check [" << path << "] file exit");
        const std::string problem = PrivateFiles::whyNotUsersOwn(path);
        if (problem.empty()) {
            return path;
        }
        if (problem != "missing") {
            LOG_TRACE("Not used: " << problem);
        }
    }
    return FileUtils::combinePath(appDir, fileName);
}

bool AppLauncher::libEnvVariableContainsAppDir() const {
    const std::string value =
            SysInfo::getEnvVariable(std::nothrow, libEnvVariable, "");
    StringArray entries;
    tstrings::split(entries, value, std::string(1, FileUtils::pathSeparator),
                    tstrings::SPLIT_ALL);
    for (const std::string& entry : entries) {
        if (entry == appDir) {
            return true;
        }
    }
    return false;
}

AppLauncher::Config AppLauncher::loadConfig() const {
    // The application's own file decides whether it is locked, so it is
    // read first; only an open application reads a per-user file instead.
    const std::string ownCfgFilePath = FileUtils::combinePath(
            appDir, FileUtils::stripExeSuffix(FileUtils::basename(
                            executablePath)) + ".cfg");
    const bool hasOwnCfgFile = FileUtils::isFileExists(ownCfgFilePath);
    const CfgFile ownCfgFile =
            hasOwnCfgFile ? CfgFile::load(ownCfgFilePath) : CfgFile();
    Config config;
    config.locked = isLocked(ownCfgFile, ownCfgFilePath);
    config.path = config.locked ? ownCfgFilePath : getCfgFilePath();
    LOG_TRACE("Launcher config file path: \"" << config.path << "\"");

    CfgFile::Macros macros;
    macros["$APPDIR"] = appDir;
    macros["$BINDIR"] = FileUtils::dirname(executablePath);
    macros["$ROOTDIR"] = bundleRoot;

    config.cfgFile = hasOwnCfgFile && config.path == ownCfgFilePath
            ? ownCfgFile.expandMacros(macros)
            : CfgFile::load(config.path).expandMacros(macros);
    return config;
}

std::string AppLauncher::selectJvmLib(const CfgFile& cfgFile) const {
    return ::findJvmLib(cfgFile, fallbackRuntimeDir, jvmLibCandidates);
}

Jvm* AppLauncher::createJvmLauncher() const {
    const Config config = loadConfig();
    const CfgFile& cfgFile = config.cfgFile;

    std::unique_ptr<Jvm> jvm(new Jvm());
    StringArray lockedOptions;
    if (config.locked) {
        const std::string removed = removeRuntimeOptionVariables();
        jvm->addEnvVariable(libEnvVariable, appDir);
        lockedOptions = optionsOfLockedApplication(
                cfgFile, lockedJavaLibraryPath ? appDir : std::string());
        LOG_TRACE("The application is locked: no per-user configuration file"
                  " or class data archive; removed from the environment: "
                  << removed << "; " << libEnvVariable << " is \"" << appDir
                  << "\"; added: " << tstrings::join(lockedOptions.begin(),
                                                      lockedOptions.end(),
                                                      " "));
    } else if (!libEnvVariableContainsAppDir()) {
        // An empty entry in a library search list means the working
        // directory, so an unset or empty variable becomes the application
        // directory alone.
        const std::string current =
                SysInfo::getEnvVariable(std::nothrow, libEnvVariable, "");
        jvm->addEnvVariable(libEnvVariable,
                            current.empty()
                                ? appDir
                                : current + FileUtils::pathSeparator + appDir);
    }

    jvm->setPath(selectJvmLib(cfgFile));
    jvm->addArgument(executablePath);
    jvm->initFromConfigFile(cfgFile, lockedOptions);

    // Command-line arguments replace the configured ones; when the runtime
    // library executed this program again, its vector's own.
    StringArray appArgs;
    const bool reexecuted = RuntimeReexec::findApplicationArguments(
            StringArray(SysInfo::argv, SysInfo::argv + SysInfo::argc),
            RuntimeReexec::OwnVector{jvm->getArguments(), jvm->getOptionsEnd(),
                                     jvm->getApplicationArgumentsPos(),
                                     jvm->hasMainTarget()},
            ClassDataArchive::isArchiveOption, appArgs);
    if (reexecuted) {
        jvm->setApplicationArguments(appArgs);
    } else if (!commandArgs.empty()) {
        jvm->setApplicationArguments(commandArgs);
    }
    if (!config.locked) {
        jvm->insertOptions(ClassDataArchive::prepareStart(
                cfgFile, jvm->getPath(), cacheBase, cacheRelative, reexecuted,
                hasRuntimeStartFailed));
    }
    return jvm.release();
}
