// Turns the running executable into a Jvm ready to start: finds the launcher
// configuration file, loads and macro-expands it, finds the runtime's
// launcher library and creates the Jvm. Knows nothing of the platform: the
// platform's set-up gives it the locations.
#ifndef APPLAUNCHER_H
#define APPLAUNCHER_H

#include <string>

#include "CfgFile.h"
#include "tstrings.h"

class Jvm;

class AppLauncher {
public:
    /// Takes the command-line arguments (program name and "-psn_" arguments
    /// left out) and the absolute executable path; throws when either query
    /// fails.
    AppLauncher();

    /// The root of the application image; the text of "$ROOTDIR".
    AppLauncher& withBundleRoot(const std::string& v) {
        bundleRoot = v;
        return *this;
    }

    /// The application directory: the last place the configuration file is
    /// looked for, the text of "$APPDIR", and the entry added to the library
    /// search variable.
    AppLauncher& withAppDir(const std::string& v) {
        appDir = v;
        return *this;
    }

    /// The runtime directory used when the configuration names none.
    AppLauncher& withFallbackRuntimeDir(const std::string& v) {
        fallbackRuntimeDir = v;
        return *this;
    }

    /// The environment variable that holds the library search path.
    AppLauncher& withLibEnvVariable(const std::string& v) {
        libEnvVariable = v;
        return *this;
    }

    /// A path of the runtime's launcher library relative to the runtime
    /// directory; the earlier a candidate is added, the more it is preferred.
    AppLauncher& addJvmLibCandidate(const std::string& v) {
        jvmLibCandidates.push_back(v);
        return *this;
    }

    /// A directory searched for the configuration file, in the order added,
    /// before the application directory.
    AppLauncher& addCfgSearchDir(const std::string& v) {
        cfgSearchDirs.push_back(v);
        return *this;
    }

    /// The application's per-user cache directory, `relative` below the
    /// existing directory `base` (the home directory or an XDG base); only
    /// the components of `relative` may be created. Not set when the user
    /// has none.
    AppLauncher& withCacheDir(const std::string& base,
                              const std::string& relative) {
        cacheBase = base;
        cacheRelative = relative;
        return *this;
    }

    /// A locked application's java.library.path is the application
    /// directory alone, unless its own java options set one: where the
    /// runtime adds folders that the user can write to it (on macOS,
    /// ~/Library/Java/Extensions and the working directory).
    AppLauncher& withLockedJavaLibraryPath(bool v) {
        lockedJavaLibraryPath = v;
        return *this;
    }

    const std::string& getCacheBase() const { return cacheBase; }
    const std::string& getCacheRelative() const { return cacheRelative; }

    /// The application's configuration as a start reads it.
    struct Config {
        /// The file read, and its contents with the macros expanded.
        std::string path;
        CfgFile cfgFile;
        /// "app.locked=true" in the application's own file.
        bool locked = false;
    };

    /// Reads the application's own configuration file first: with
    /// "app.locked=true" it alone counts (any value but "true" or "false"
    /// is an error); otherwise the per-user file of `getCfgFilePath` is
    /// read in its place when there is one. Throws on failure.
    Config loadConfig() const;

    /// The runtime's launcher library that the configuration selects: the
    /// first candidate under "app.runtime" (which must be absolute), else
    /// under the fallback runtime directory. Throws when there is none.
    std::string selectJvmLib(const CfgFile& cfgFile) const;

    /// The first search directory that holds "<executable name>.cfg" as a
    /// regular file of the user that nobody else may write (no link), else
    /// that file in the application directory (not checked).
    std::string getCfgFilePath() const;

    /// True when the library search variable already lists the application
    /// directory, byte for byte.
    bool libEnvVariableContainsAppDir() const;

    /// A new Jvm, owned by the caller, with the runtime library, the
    /// executable path as argument 0, the library search variable and the
    /// configured arguments (`loadConfig`); command-line arguments, when
    /// there are any, replace the configured application arguments (when
    /// the runtime library executed this program again, the rest of its
    /// own vector does), and the class data archive's options are
    /// inserted.
    ///
    /// A locked application's runtime option variables are removed from
    /// the environment, its library search variable is the application
    /// directory alone, its runtime gets no attach mechanism (and, with
    /// `withLockedJavaLibraryPath`, the application directory as
    /// java.library.path) unless its own java options say otherwise, and
    /// it has no class data archive. Throws on failure.
    Jvm* createJvmLauncher() const;

private:
    StringArray commandArgs;
    std::string executablePath;
    std::string fallbackRuntimeDir;
    std::string appDir;
    std::string libEnvVariable;
    std::string bundleRoot;
    std::string cacheBase;
    std::string cacheRelative;
    StringArray jvmLibCandidates;
    StringArray cfgSearchDirs;
    bool lockedJavaLibraryPath = false;
};

#endif // APPLAUNCHER_H
