/*
 * Starting the Java runtime.
 *
 * The C part of this header is the launcher library interface: three plain
 * functions that know nothing of strings, lists or exceptions. They build one
 * flat, self-contained block (JvmlLauncherData) from an opaque handle through
 * a table of three callbacks, log it, set its environment variables and call
 * the runtime's JLI_Launch. They are exported from the executable under these
 * names and may be called from C.
 *
 * The C++ part is `Jvm`, the description of the runtime to start: the path of
 * its launcher library, the complete argument vector and the environment
 * variables to set.
 */
#ifndef JVMLAUNCHER_H
#define JVMLAUNCHER_H

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The launch data block: this 40-byte header, followed in the same
 * allocation by every string and pointer array it points to, packed with no
 * alignment gaps in this order: the library path; the argument pointer array
 * (jliLaunchArgc + 1 entries, the last null); the arguments; the name pointer
 * array (envVarCount entries); the names; the value pointer array
 * (envVarCount entries); the values. Every string ends with a zero byte.
 * All pointers are absolute: the block is valid only where it was filled.
 */
typedef struct JvmlLauncherData {
    char* jliLibPath;
    int jliLaunchArgc;
    int envVarCount;
    char** jliLaunchArgv;
    char** envVarNames;
    char** envVarValues;
} JvmlLauncherData;

/* The opaque description of what to launch; consumed by the interface. */
typedef void* JvmlLauncherHandle;

/* The callbacks through which the interface measures, fills and releases the
 * data behind a handle. None of them lets an exception escape. */
typedef struct JvmlLauncherAPI {
    /* Releases the handle; a null handle does nothing. */
    void (*closeHandle)(JvmlLauncherHandle h);
    /* The size of the block in bytes; -1 on failure. */
    int (*getJvmlLauncherDataSize)(JvmlLauncherHandle h);
    /* Writes the block into `ptr` and returns it; null when `bufferSize` is
     * too small or on failure, and then nothing is written. */
    JvmlLauncherData* (*initJvmlLauncherData)(JvmlLauncherHandle h, void* ptr,
                                              int bufferSize);
} JvmlLauncherAPI;

/* The runtime's entry point JLI_Launch. Parameters 11 to 13 are byte-sized
 * flags, as the runtime declares them. */
typedef int (*JvmlLauncherLaunchFunc)(
        int argc, char** argv, int jargc, const char** jargv, int appclassc,
        const char** appclassv, const char* fullversion,
        const char* dotversion, const char* pname, const char* lname,
        unsigned char javaargs, unsigned char cpwildcard, unsigned char javaw,
        int ergo);

/* A new block, allocated with malloc and owned by the caller (release it
 * with free), built from `h` through `api`; null when the handle is null or
 * when measuring, allocating or filling fails. The handle is always released
 * when it is not null. When `size` is not null, the block's size is stored
 * there on success. */
JvmlLauncherData* jvmLauncherCreateJvmlLauncherData(const JvmlLauncherAPI* api,
                                                    JvmlLauncherHandle h,
                                                    int* size);

/* Logs the block, sets its environment variables (all are logged before the
 * first is set) and calls `func`, which must have the JvmlLauncherLaunchFunc
 * signature, with the block's arguments. Returns what `func` returns. */
int jvmLauncherStartJvm(const JvmlLauncherData* data, void* func);

/* When the environment variable VANTRY_DEBUG is exactly "true", writes to
 * standard error the last component of `path`, ":", the line, ": ", the
 * printf-formatted text and a newline. */
void jvmLauncherLog(const char* path, int line, const char* format, ...)
#ifdef __GNUC__
        __attribute__((format(printf, 3, 4)))
#endif
        ;

#ifdef __cplusplus
} /* extern "C" */

#include <string>

#include "CfgFile.h"
#include "tstrings.h"

/// What the launcher hands to the Java runtime.
class Jvm {
public:
    Jvm();
    ~Jvm();

    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    /// The runtime's launcher library.
    Jvm& setPath(const std::string& path) {
        jvmPath = path;
        return *this;
    }

    Jvm& addArgument(const std::string& arg) {
        args.push_back(arg);
        return *this;
    }

    /// A variable to set in the process just before the runtime starts.
    Jvm& addEnvVariable(const std::string& name, const std::string& value) {
        envVarNames.push_back(name);
        envVarValues.push_back(value);
        return *this;
    }

    /// Appends the runtime arguments that the (macro-expanded) configuration
    /// asks for, in this order: each module path entry with its own
    /// "--module-path"; "-classpath" with the class path joined; "-splash:"
    /// with the splash file when it exists; the java options;
    /// `moreOptions`; "-Dvantry.app-path=" with the executable's path; "-m"
    /// and the main module; the main class; "-jar" and the main jar; the
    /// arguments. Records where `moreOptions` and the arguments begin.
    Jvm& initFromConfigFile(const CfgFile& cfgFile,
                            const StringArray& moreOptions = StringArray());

    /// Inserts runtime options where `initFromConfigFile` put `moreOptions`,
    /// after those.
    Jvm& insertOptions(const StringArray& options);

    /// Replaces the application arguments (everything after the main
    /// module, class or jar) with `appArgs`.
    Jvm& setApplicationArguments(const StringArray& appArgs);

    /// The index in the arguments where options are inserted.
    std::size_t getOptionsEnd() const { return optionsEnd; }
    /// The index in the arguments where the application arguments begin.
    std::size_t getApplicationArgumentsPos() const { return appArgsPos; }
    /// True when the configuration names a main module, class or jar, so
    /// that every argument from `getApplicationArgumentsPos()` on reaches
    /// the application and none is read as a runtime option.
    bool hasMainTarget() const { return mainTarget; }

    /// Starts the runtime through its launcher library and returns when
    /// JLI_Launch has returned 0; throws otherwise. Does not change the Jvm.
    void launch();

    /// A copy of the library path, arguments and environment as an opaque
    /// handle for the launcher library interface, which releases it.
    JvmlLauncherHandle exportLauncher() const;

    const std::string& getPath() const { return jvmPath; }
    const StringArray& getArguments() const { return args; }
    const StringArray& getEnvVariableNames() const { return envVarNames; }
    const StringArray& getEnvVariableValues() const { return envVarValues; }

private:
    std::string jvmPath;
    StringArray args;
    StringArray envVarNames;
    StringArray envVarValues;
    std::size_t optionsEnd = 0;
    std::size_t appArgsPos = 0;
    bool mainTarget = false;
};

/// The callback table that `Jvm::launch` hands to the interface.
const JvmlLauncherAPI* jvmLauncherAPI();

/// True once JLI_Launch has returned a non-zero status to `Jvm::launch` in
/// this process: the runtime reported that the application could not start
/// (or that `main` ended with an uncaught exception). A `System.exit` never
/// gets here.
bool hasRuntimeStartFailed();

#endif /* __cplusplus */

#endif /* JVMLAUNCHER_H */
