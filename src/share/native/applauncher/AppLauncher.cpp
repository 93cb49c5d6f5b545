#include "AppLauncher.h"

#include <memory>

#include "CfgFile.h"
#include "ClassDataArchive.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

// The runtime's launcher library: the first candidate under the runtime
// directory named by the configuration, or under `fallbackRuntimeDir` when
// it names none.
std::string findJvmLib(const CfgFile& cfgFile,
                       const std::string& fallbackRuntimeDir,
                       const StringArray& jvmLibCandidates) {
    const CfgFile::Properties& appOptions =
            cfgFile.getProperties(SectionName::Application);
    const CfgFile::Properties::const_iterator it =
            appOptions.find(PropertyName::runtime);
    std::string runtimeDir;
    if (it != appOptions.end()) {
        runtimeDir = CfgFile::asString(*it);
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

} // namespace

AppLauncher::AppLauncher()
    : commandArgs(SysInfo::getCommandArgs(SysInfo::SKIP_PROGRAM_NAME)),
      executablePath(SysInfo::getProcessModulePath()) {}

std::string AppLauncher::getCfgFilePath() const {
    const std::string fileName =
            FileUtils::stripExeSuffix(FileUtils::basename(executablePath))
            + ".cfg";
    for (const std::string& dir : cfgSearchDirs) {
        const std::string path = FileUtils::combinePath(dir, fileName);
        LOG_TRACE("Check [" << path << "] file exit");
        if (FileUtils::isFileExists(path)) {
            return path;
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

Jvm* AppLauncher::createJvmLauncher() const {
    const std::string cfgFilePath = getCfgFilePath();
    LOG_TRACE("Launcher config file path: \"" << cfgFilePath << "\"");

    CfgFile::Macros macros;
    macros["$APPDIR"] = appDir;
    macros["$BINDIR"] = FileUtils::dirname(executablePath);
    macros["$ROOTDIR"] = bundleRoot;

    CfgFile cfgFile = CfgFile::load(cfgFilePath).expandMacros(macros);
    if (!commandArgs.empty()) {
        cfgFile.setPropertyValue(SectionName::ArgOptions,
                                 PropertyName::arguments, commandArgs);
    }

    std::unique_ptr<Jvm> jvm(new Jvm());

    if (!libEnvVariableContainsAppDir()) {
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

    jvm->setPath(findJvmLib(cfgFile, fallbackRuntimeDir, jvmLibCandidates));
    jvm->addArgument(executablePath);
    jvm->initFromConfigFile(cfgFile, ClassDataArchive::prepare(
            cfgFile, jvm->getPath(),
            cacheBase.empty() ? std::string()
                              : FileUtils::combinePath(cacheBase, cacheRelative)));
    return jvm.release();
}
