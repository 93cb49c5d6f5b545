// The application's class data archive ("app.cds=auto"): a static archive
// of the classes the application loads, kept per user and launcher in the
// application's cache directory and mapped by every start after the one
// that recorded them, so that the runtime does not load, parse and verify
// those classes again.
//
// A start goes one of three ways, decided before the runtime starts:
//   - use: the archive of these inputs exists and the jars it depends on are
//     unchanged; the runtime maps it, with its sharing log in a file;
//   - record: there is none yet; the runtime records the classes it loads,
//     and at exit the list is kept and the builder started
//     (ArchiveBuilder);
//   - nothing: the configuration, the user or an option rules it out, the
//     cache directory is not the user's own, the digest failed before, or
//     a list waits for its builder (started again at exit when it is not
//     running).
//
// Nothing here may make a start worse than plain `java`: the application's
// run only records, which prints nothing; a start that mapped the archive
// and failed (JLI_Launch returned non-zero), or that never reached its exit
// handlers, costs the digest its archive for good, so no archive fails two
// starts; an archive the runtime refused is dropped and rebuilt once. Every
// file system failure means a start without an archive.
#ifndef CLASSDATAARCHIVE_H
#define CLASSDATAARCHIVE_H

#include <functional>
#include <string>

#include "CfgFile.h"

class Jvm;

namespace ClassDataArchive {

/// Takes the builder's request out of the environment: the variable is
/// removed whatever it holds, so that neither the runtime nor the
/// application's child processes see it. Called first thing in a process.
void takeBuildRequest();

/// True when the process was started with a builder's request, genuine or
/// not (known before the configuration is read).
bool hasBuildRequest();

/// Finds out whether this process is the archive's builder: it came with a
/// request (`hasBuildRequest`) and, as descriptor 3, with a lock file of
/// this launcher's archive directory (in `cacheRelative` below
/// `cacheBase`) that holds the request's token. Otherwise the request is
/// ignored and the start is an ordinary one. Called before the
/// configuration is read.
void checkBuildRequest(const std::string& cacheBase,
                       const std::string& cacheRelative);

/// Prepares the archive for the start of `jvm`, built from `cfg` with its
/// application arguments: inserts the runtime options of the way this
/// start goes, and arranges what happens at exit. In the builder (a
/// genuine request for the digest of this very configuration) it arranges
/// the dump instead. The cache directory is `cacheRelative` below the
/// existing directory `cacheBase`; an empty base means none. Never throws
/// for a file system failure.
void prepare(const CfgFile& cfg, Jvm& jvm, const std::string& cacheBase,
             const std::string& cacheRelative);

/// True once `checkBuildRequest` found this process to be the builder. A
/// builder never starts the application.
bool isBuilder();

/// The runtime description of the dump, owned by the caller: the options
/// of `jvm` without a splash screen, the dump options and its main module,
/// class or jar, with no application argument and no variable to set. Null
/// when the builder has nothing to do (the configuration changed, is
/// locked, or the archive was made meanwhile). In the builder only.
Jvm* createDumpJvm(const Jvm& jvm);

/// Builds the archive; `startDump` starts the runtime of `createDumpJvm`
/// (in a child process). In the builder only.
void build(const std::function<void()>& startDump);

/// True for a runtime option of the shapes that `prepare` inserts into a
/// start.
bool isArchiveOption(const std::string& word);

} // namespace ClassDataArchive

#endif // CLASSDATAARCHIVE_H
