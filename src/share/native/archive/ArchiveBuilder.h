// The process that makes the application's class data archive, away from
// any start of the application: the start that records the class list
// starts it before the runtime (while the start's process is small, so that
// starting it costs next to nothing), it waits until that start has ended,
// and whatever the dump does (fail, run out of room, crash, take seconds)
// happens to no start.
//
// The builder is a detached copy of the launcher's executable: its own
// session, lowest priority, standard streams on /dev/null, no descriptor of
// the process that started it but the store's lock of the digest, which it
// holds until it is done, and a pipe whose other end closes when that
// process ends (also when the runtime's launcher library executed it
// again): the builder starts its work only then, and builds only when the
// start left a complete class list. The request travels
// in the environment as a random token that must match the lock file's
// contents, so that a variable alone never starts a build: the lock file
// lies in the user's private archive directory. A process started with the
// request is a builder whatever the check says; it never starts the
// application.
//
// The builder reads its configuration like any start and builds only when
// that leads to the very digest of the lock and to a class list that waits.
// It merges the runtime's own class list into the recorded one, has a child
// process start the runtime with the dump options (a dump ends the runtime
// with exit status 0 once the archive is written), then checks the file,
// flushes it to the disk and renames it into place, together with the
// jars that manifests add to the class path. A failed build leaves the
// runtime's output in L-D.buildlog and counts against the digest; the next
// start records anew.
#ifndef ARCHIVEBUILDER_H
#define ARCHIVEBUILDER_H

#include <functional>
#include <string>

#include "ArchiveStore.h"
#include "CfgFile.h"
#include "ClassDataArchive.h"

namespace ArchiveBuilder {

/// The environment variable that carries the request.
extern const char* const requestVariable;

/// Starts the builder of `digest` from `executable`, unless another process
/// holds the lock of the digest, or the digest has its archive or gave it
/// up. Never throws, and never waits for it.
void start(const ArchiveStore& store, const std::string& digest,
           const std::string& executable);

/// The builder's straight line: waits until the start that asked for the
/// build has ended; reads the configuration through `readConfig`; checks
/// the request `token` (the lock, and the digest of these very inputs in
/// the cache directory `relative` below `base`); has `dump` start the
/// runtime with the dump options, in a child process; and puts the archive
/// in place. Returns at once when the request does not hold, and never
/// starts the application.
void build(const std::string& token, const std::string& base,
           const std::string& relative,
           const ClassDataArchive::ReadConfig& readConfig,
           const ClassDataArchive::Dump& dump);

} // namespace ArchiveBuilder

#endif // ARCHIVEBUILDER_H
