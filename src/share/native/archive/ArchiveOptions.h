// What the launcher asks the Java runtime for, to keep a class data archive
// of the application: plain functions of the configuration, the runtime
// options, the runtime's version and the runtime's own files' contents. No
// file system access happens here.
//
// The archive is a static one. A start without it records the classes it
// loads (-XX:DumpLoadedClassList, which prints nothing and costs nothing
// measurable); a background process of the launcher then dumps the archive
// from that list (-Xshare:dump) with the application's class path, module
// path, main module and java options; later starts map it
// (-XX:SharedArchiveFile) with the runtime's sharing messages switched off
// on the standard streams; whether the runtime used the archive shows in
// the process's own mappings at exit.
#ifndef ARCHIVEOPTIONS_H
#define ARCHIVEOPTIONS_H

#include <set>
#include <string>

#include "CfgFile.h"
#include "tstrings.h"

namespace ArchiveOptions {

/// The version keys of a runtime's `release` file.
struct ReleaseVersions {
    std::string javaVersion;
    std::string runtimeVersion;
};

/// JAVA_VERSION and JAVA_RUNTIME_VERSION from the text of a `release` file,
/// each without its surrounding double quotes; a missing key leaves its field
/// empty.
ReleaseVersions parseRelease(const std::string& text);

/// The feature release of a JAVA_VERSION value: 17 for "17.0.15", 25 for
/// "25", 8 for "1.8.0_402"; 0 when the value does not start with a number.
int featureVersion(const std::string& javaVersion);

/// True for the feature releases whose static dump works as the launcher
/// uses it (13 and later).
bool supportsArchive(int feature);

/// The Java home of the runtime whose launcher library is `jliPath`, which
/// must be <home>/lib/libjli.<suffix> or <home>/lib/jli/libjli.<suffix>;
/// empty for any other path.
std::string javaHomeOfLibrary(const std::string& jliPath);

/// True when the runtime option leaves no room for the launcher's archive:
/// it manages class data sharing itself (-Xshare, ...Shared..., archive dump
/// and AOT options), asks the runtime to report what sharing changes (class
/// loading with -verbose:class or -Xlog selections of the class, cds, aot or
/// all tags, the flags with -XX:+PrintCommandLineFlags and its kin), reads
/// options the launcher cannot see (-XX:Flags=, -XX:VMOptionsFile=),
/// makes archived classes unusable (agents, boot class path additions,
/// patched, limited or upgraded modules, a custom system class loader, a
/// security manager), or keeps the runtime from using its own archive,
/// which it says in a warning (-XX:-UseCompressedClassPointers,
/// -XX:ObjectAlignmentInBytes).
bool precludesArchive(const std::string& option);

/// True when the runtime option has the runtime write a file of its own
/// choosing or one that the option names, or run a command: a log with a
/// file output (-Xlog:...:file=..., -Xlog:...:<name>, -Xloggc:), heap
/// dumps, error files, flight recordings, compilation and VM output logs,
/// performance data files, replay data, and the commands run on an error.
/// A dump with such an option would write into the application's own files
/// (a log replaced or rotated aside), so it never gets one.
bool writesFiles(const std::string& option);

/// `options` without those that `writesFiles`.
StringArray withoutFileWriters(const StringArray& options);

/// The value of an options variable for the dump: `text` itself when none
/// of its words `writesFiles`, else its other words joined by blanks.
std::string variableWithoutFileWriters(const std::string& text);

/// The blank-separated words of an options variable such as
/// JAVA_TOOL_OPTIONS; quotes are dropped, so that a quoted option still
/// starts with its name.
StringArray variableWords(const std::string& text);

/// The class path and module path entries of the configuration, in order:
/// the "app.classpath" and "app.modulepath" values split at colons, then
/// those of path options among the java options ("-cp", "-classpath",
/// "--class-path", "-p", "--module-path", with the value as the next option
/// or after "=").
struct AppPaths {
    StringArray classPath;
    StringArray modulePath;
};
AppPaths collectPaths(const CfgFile& cfg);

/// The options of a start that maps the archive at `archive`, with the
/// runtime's sharing messages switched off.
StringArray useOptions(int feature, const std::string& archive);

/// The option of a start that records the classes it loads in `list`.
StringArray recordOptions(const std::string& list);

/// True for the feature releases whose dump links the classes ahead of time
/// (24 and later). Such a runtime loads every class of the archive at
/// start, so the archive holds only the classes the application loaded.
bool linksAheadOfTime(int feature);

/// The options that dump the archive of the classes in `list` to `archive`,
/// and nothing else: the runtime exits once the archive is written.
StringArray dumpOptions(int feature, const std::string& list,
                        const std::string& archive);

/// True for a word of the shapes that `useOptions` and `recordOptions` make.
bool isArchiveOption(const std::string& word);

/// True when the recorded class list shows that the application installed
/// a security manager, which JDK 17 and older let it do at run time: it
/// names classes that only a security manager's checks load
/// (java/security/Policy, java/lang/SecurityManager$1). Such a runtime
/// loads an archived class of the class path without the privileges that
/// it loads the same class with from its jar, and fails with an
/// AccessControlException where `java` runs.
bool showsSecurityManager(const std::string& recorded);

/// `list` without the lines of the classes `classes` ("a/b/C"), and
/// without the lines that begin with "@" and name one of them.
std::string withoutClasses(const std::string& list,
                           const std::set<std::string>& classes);

/// The class list to dump: `recorded` (as the runtime recorded it) followed
/// by the entries of `runtimeList` (the runtime's own lib/classlist, empty
/// where `linksAheadOfTime`) that it lacks, so that the archive holds no
/// fewer of the runtime's classes than the runtime's own archive does.
/// Comment lines are left out.
std::string mergeClassLists(const std::string& recorded,
                            const std::string& runtimeList);

} // namespace ArchiveOptions

#endif // ARCHIVEOPTIONS_H
