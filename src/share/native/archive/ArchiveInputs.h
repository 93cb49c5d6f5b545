// What the application's class data archive depends on, gathered once per
// start from the configuration, the environment and the runtime's files.
// From this one value come the archive's name (its digest), the reasons
// that rule an archive out, and the jars whose manifests may name more.
// `collect` reads the file system; the rest are plain functions of the
// value.
#ifndef ARCHIVEINPUTS_H
#define ARCHIVEINPUTS_H

#include <string>
#include <vector>

#include "ArchiveOptions.h"
#include "CfgFile.h"
#include "tstrings.h"

/// A file the archive depends on and its identity when it was looked at
/// (FileUtils::fileIdentity, "-" for a missing one).
struct FileFact {
    std::string path;
    std::string identity;
};

struct ArchiveInputs {
    /// The runtime behind the launcher library: its Java home (empty when
    /// the library does not lie in one), the versions of its release file,
    /// the feature release (0 when unknown), whether it has the server VM,
    /// and its modules image, JVM library, base archive and class list.
    std::string javaHome;
    ArchiveOptions::ReleaseVersions release;
    int feature = 0;
    bool serverVm = false;
    std::vector<FileFact> runtimeFiles;

    /// The class path that the runtime uses (the configured one, from
    /// "app.classpath" and path options among the java options, else,
    /// without a main jar, the CLASSPATH variable's), in order. A wildcard
    /// entry "dir/*" is followed by its jars. An empty entry stands for
    /// the working directory.
    StringArray classPath;
    std::vector<FileFact> classPathFiles;
    /// The first class path directory that holds anything; empty when
    /// there is none.
    std::string busyClassPathDirectory;
    /// The module path entries, each followed by the files of an entry
    /// that is a directory.
    std::vector<FileFact> modulePathFiles;
    /// The main jar (empty path when there is none), module and class.
    FileFact mainJar;
    std::string mainModule;
    std::string mainClass;
    StringArray javaOptions;
    /// "NAME=value" of each variable from which the runtime takes options
    /// or a class path: JAVA_TOOL_OPTIONS, JDK_JAVA_OPTIONS, _JAVA_OPTIONS,
    /// CLASSPATH (an unset one with an empty value).
    StringArray variables;
    unsigned long long fileSizeLimit = ~0ull;

    /// Gathers the inputs of the start of `cfg` (macros expanded) with the
    /// runtime's launcher library at `jliPath`.
    static ArchiveInputs collect(const CfgFile& cfg,
                                 const std::string& jliPath);

    /// Why there can be no archive of these inputs, as a sentence fragment
    /// for the trace: a runtime older than 13 or without the server VM, an
    /// option (java option or in a variable) that rules sharing out, a class
    /// path entry relative to the working directory (the builder runs
    /// elsewhere), a class path directory that holds anything, or a file
    /// size limit below 1 GiB. Empty when an archive is possible.
    std::string whyRuledOut() const;

    /// The 16 hexadecimal digits that name the archive of these inputs.
    std::string digest() const;

    /// Where the jars whose manifests may name further jars lie: the class
    /// path entries (wildcards expanded; an entry that is no jar has no
    /// manifest) and the main jar.
    StringArray rootJars() const;
};

#endif // ARCHIVEINPUTS_H
