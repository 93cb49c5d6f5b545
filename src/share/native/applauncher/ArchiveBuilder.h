// The process that makes the application's class data archive, away from
// any start of the application: the start that recorded the class list
// leaves it behind at exit, and whatever the dump does (fail, run out of
// room, crash, take seconds) happens to no start.
//
// The builder is a detached copy of the launcher's executable: its own
// session, lowest priority, standard streams on /dev/null, no descriptor of
// the process that started it but the store's lock of the digest (as
// descriptor 3), which it holds until it is done, and a pipe (as 4) whose
// other end closes when that process ends: the builder starts its work
// only then, so that it takes nothing from the application's exit. The request travels in
// the environment as a random token that must match the lock file's
// contents, so that a variable alone never turns a start into a build: the
// lock file lies in the user's private archive directory. The builder reads
// its own configuration like any start and builds only when that leads to
// the very digest and an unfinished class list.
//
// It merges the runtime's own class list into the recorded one, has a child
// process start the runtime with the dump options (a dump ends the runtime
// with exit status 0 once the archive is written), then checks the file,
// flushes it to the disk and renames it into place, together with the
// jars that manifests add to the class path. A build that fails leaves
// L-D.failed with the runtime's output, so that the digest is not tried
// again.
#ifndef ARCHIVEBUILDER_H
#define ARCHIVEBUILDER_H

#include <functional>
#include <string>

#include "ArchiveStore.h"
#include "CfgFile.h"

namespace ArchiveBuilder {

/// The environment variable that carries the request.
extern const char* const requestVariable;

/// Starts the builder of `digest` from `executable`, unless another process
/// holds the lock of the digest. Never throws, and never waits for it.
void start(const ArchiveStore& store, const std::string& digest,
           const std::string& executable);

/// True when this process was started by `start`: descriptor 3 is a lock
/// file of this launcher in the store, it holds `token`, and this process
/// now holds the lock. `digest` receives the lock's digest.
bool isRequested(const ArchiveStore& store, const std::string& token,
                 std::string& digest);

/// Builds the archive of `digest` (see above): `dump` starts the runtime
/// with the dump options of the store's files
/// `store.processName(digest, <pid>, ".list")` and `".tmp"`; it runs in a
/// child process whose standard output and error go to L-D.failed.
/// `runtimeList` is the runtime's own class list (may be empty). Returns
/// when the build is over.
void build(const ArchiveStore& store, const std::string& digest,
           const CfgFile& cfg, const std::string& runtimeList,
           const std::function<void()>& dump);

} // namespace ArchiveBuilder

#endif // ARCHIVEBUILDER_H
