// The application's class data archive ("app.cds=auto"): a static archive
// of the classes the application loads, kept per user and launcher in the
// application's cache directory and mapped by every start after the one
// that recorded them, so that the runtime does not load, parse and verify
// those classes again.
//
// This is all the launch core sees of the archive. A process is one of
// two things, decided once at its entry by `takeBuildRequest`: an ordinary
// start, which asks the archive for its runtime options and leaves what
// happens at exit to it (`prepareStart`, see ArchivePlan), or the archive's
// builder, which never starts the application (`build`, see
// ArchiveBuilder): it hands the launch core the dump to run instead.
#ifndef CLASSDATAARCHIVE_H
#define CLASSDATAARCHIVE_H

#include <functional>
#include <string>

#include "CfgFile.h"
#include "tstrings.h"

namespace ClassDataArchive {

/// The builder's request that this process was started with.
struct BuildRequest {
    bool present = false;
    std::string token;
};

/// Takes the request out of the environment, whatever it holds, so that
/// neither the runtime nor the application's child processes see it.
/// Called first thing in a process.
BuildRequest takeBuildRequest();

/// Asked at exit: true when the runtime reported that the application
/// could not start.
typedef std::function<bool()> RuntimeFailed;

/// Prepares the archive for the ordinary start of `cfg` (macros expanded)
/// with the runtime's launcher library `jliPath`: returns the runtime
/// options of the way the start goes, to be inserted after the
/// configuration's java options, and arranges what happens at exit. The
/// cache directory is `relative` below the existing directory `base`; an
/// empty base means none. `reexecuted` tells that the runtime's launcher
/// library executed this program again. Never throws for a file system
/// failure.
StringArray prepareStart(const CfgFile& cfg, const std::string& jliPath,
                         const std::string& base, const std::string& relative,
                         bool reexecuted, const RuntimeFailed& runtimeFailed);

/// The application's configuration as a start reads it: the file with its
/// macros expanded, and the runtime's launcher library that it selects.
/// False for a locked application, which has no archive.
typedef std::function<bool(CfgFile& cfg, std::string& jliPath)> ReadConfig;

/// Starts the runtime of `cfg` with the launcher library `jliPath` and the
/// options `dumpOptions` after the java options; no splash screen, no
/// application arguments. Called in a child process of the builder.
typedef std::function<void(const CfgFile& cfg, const std::string& jliPath,
                           const StringArray& dumpOptions)> Dump;

/// The builder's whole work, in a process started with `request`: reads
/// the configuration through `readConfig`, checks the request against it,
/// and has `dump` make the archive. Never starts the application. Throws,
/// naming the variable, when the request is none that a start made (the
/// variable was set by hand), so that the process ends with a failure
/// rather than with nothing done.
void build(const BuildRequest& request, const std::string& base,
           const std::string& relative, const ReadConfig& readConfig,
           const Dump& dump);

/// True for a runtime option of the shapes that `prepareStart` inserts.
bool isArchiveOption(const std::string& word);

/// Why no start of the application of `cfg` (macros expanded) on a runtime
/// of the release `javaVersion` (JAVA_VERSION) would ever have an archive
/// although it asks for one (app.cds=auto), on any machine: the application
/// is locked, the runtime is older than the archive needs, or one of its
/// java options rules the archive out. Empty when nothing in them speaks
/// against it, and when the configuration asks for no archive.
std::string whyNeverArchived(const CfgFile& cfg,
                             const std::string& javaVersion);

} // namespace ClassDataArchive

#endif // CLASSDATAARCHIVE_H
