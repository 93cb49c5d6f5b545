// The application's class data archive ("app.cds=auto"): a static archive
// of the classes the application loads, kept per user and launcher in the
// application's cache directory and mapped by every start after the one
// that recorded them, so that the runtime does not load, parse and verify
// those classes again.
//
// This is what the launch core sees of the archive. A process is one of
// two things, decided once at its entry by `takeBuildRequest`: an ordinary
// start, which asks the archive for its options and leaves what happens at
// exit to it (`prepareStart`, see ArchivePlan), or the archive's builder,
// which never starts the application (ArchiveBuilder::build).
#ifndef CLASSDATAARCHIVE_H
#define CLASSDATAARCHIVE_H

#include <string>

#include "CfgFile.h"

class Jvm;

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

/// Prepares the archive for the ordinary start of `jvm`, built from `cfg`
/// (macros expanded): inserts the runtime options of the way the start
/// goes and arranges what happens at exit. The cache directory is
/// `relative` below the existing directory `base`; an empty base means
/// none. `reexecuted` tells that the runtime's launcher library executed
/// this program again. Never throws for a file system failure.
void prepareStart(const CfgFile& cfg, Jvm& jvm, const std::string& base,
                  const std::string& relative, bool reexecuted);

/// True for a runtime option of the shapes that `prepareStart` inserts.
bool isArchiveOption(const std::string& word);

} // namespace ClassDataArchive

#endif // CLASSDATAARCHIVE_H
