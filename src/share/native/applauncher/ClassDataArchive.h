// The application's class-data-sharing archive: a file of the runtime's own
// format that holds the application's classes already parsed and verified, so
// that later starts map them instead of loading them again. The launcher
// keeps one archive per application and user in the application's cache
// directory, asks the runtime to write it at the end of a first start and to
// use it on the starts after that.
//
// An archive belongs to exactly one set of inputs (the runtime, its version,
// the class and module path entries with their sizes and modification times,
// the main jar, module or class, the runtime options): its file name carries
// a digest of them, so that a changed application or runtime gets a new one,
// and the archives of earlier digests are removed.
//
// Nothing here may make a start worse than a start without an archive: the
// runtime's sharing messages are switched off, no dump is asked for when the
// directory cannot take it or another start of the same application is
// already writing, a file that is not a whole archive is deleted instead of
// used, and options that manage sharing themselves (or that make a dump fail)
// leave the launcher out of it.
#ifndef CLASSDATAARCHIVE_H
#define CLASSDATAARCHIVE_H

#include <string>

#include "CfgFile.h"
#include "tstrings.h"

namespace ClassDataArchive {

/// The version keys of a runtime's `release` file.
struct RuntimeRelease {
    std::string javaVersion;
    std::string runtimeVersion;
};

/// JAVA_VERSION and JAVA_RUNTIME_VERSION from the text of a `release` file,
/// each without its surrounding double quotes; a missing key leaves its field
/// empty.
RuntimeRelease parseRelease(const std::string& text);

/// The feature release of a JAVA_VERSION value: 17 for "17.0.15", 25 for
/// "25", 8 for "1.8.0_402"; 0 when the value does not start with a number.
int featureVersion(const std::string& javaVersion);

/// The Java home of the runtime whose launcher library is `jliPath`, which
/// must be <home>/lib/libjli.<suffix> or <home>/lib/jli/libjli.<suffix>;
/// empty for any other path.
std::string javaHomeOfLibrary(const std::string& jliPath);

/// True when the runtime option leaves no room for the launcher's archive:
/// it manages class data sharing itself (-Xshare, ...Shared..., archive dump
/// and AOT options, logging of the cds or aot tags), reads options the
/// launcher cannot see (-XX:Flags=, -XX:VMOptionsFile=), or makes the
/// runtime refuse to write an archive (agents, boot class path additions,
/// patched, limited or upgraded modules, a custom system class loader).
bool precludesArchive(const std::string& option);

/// The 16 hexadecimal digits that name the archive of these inputs: the
/// Java home, both versions, every class path and module path entry (from
/// the configuration and from path options among the java options) with its
/// size and modification time, a module path directory's files too, the main
/// jar with its size and time, the main module and class, every java option,
/// and `environmentOptions`, the options that the runtime reads from the
/// environment.
std::string digest(const CfgFile& cfg, const std::string& javaHome,
                   const RuntimeRelease& release,
                   const std::string& environmentOptions);

/// The runtime options that use or write the application's archive, to be
/// placed after the configured java options; empty when the configuration's
/// "app.cds" is not "auto", VANTRY_CDS is "off", `cacheDir` is empty or
/// unusable, the runtime is older than 13 or has no base archive, an option
/// precludes an archive (see `precludesArchive`; JAVA_TOOL_OPTIONS,
/// JDK_JAVA_OPTIONS and _JAVA_OPTIONS count), a class path directory is not
/// empty, or another start of the application is writing the archive.
///
/// When the archive is to be written, this creates `cacheDir` (mode 0700)
/// when needed, holds an exclusive lock for the rest of the process, removes
/// the application's archives of other digests and arranges, at process
/// exit, for the dump to be moved into place when it is a whole archive and
/// deleted otherwise. Never throws for a file system failure: the start then
/// goes on without an archive. `jliPath` is the runtime's launcher library.
StringArray prepare(const CfgFile& cfg, const std::string& jliPath,
                    const std::string& cacheDir);

} // namespace ClassDataArchive

#endif // CLASSDATAARCHIVE_H
