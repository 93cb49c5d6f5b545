// The process that makes the application's class data archive, away from
// any start of the application: the start that records the class list
// starts it before the runtime (while the start's process is small, so that
// starting it costs next to nothing), and whatever the dump does (fail, run
// out of room, crash, take seconds) happens to no start.
//
// The builder is the launcher's executable with the one argument
// `builderArgument`, and no process of the application's: the system adopts
// it at once. It runs in its own session, in "/", at the lowest CPU and
// I/O priority, with standard streams on /dev/null and no descriptor of the
// process that started it but the store's lock of the digest, which it
// holds until it is done, and a pipe whose other end closes when that
// process ends (also when the runtime's launcher library executed it
// again). It builds once that start has ended and left a complete class
// list, or, when the start has run for `busyStartSeconds` and a class list
// of the digest waits (one that an earlier start left, which a builder
// could not build because the end of that start took it along), during
// the run, at its lowest priority. The request travels
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

/// The builder's argument, which also tells it apart in a process list.
extern const char* const builderArgument;

/// How long a start runs before its builder builds a class list that waits.
extern const int busyStartSeconds;

/// Starts the builder of `digest` from `executable`, unless another process
/// holds the lock of the digest, or the digest has its archive or gave it
/// up. Never throws, and never waits for it.
void start(const ArchiveStore& store, const std::string& digest,
           const std::string& executable);

/// The builder's straight line: waits until the start that asked for the
/// build has ended or has run `busyStartSeconds`; reads the configuration
/// through `readConfig`; checks the request `token` (the lock, and the
/// digest of these very inputs in the cache directory `relative` below
/// `base`); waits, while the start runs, until a class list waits; has
/// `dump` start the runtime with the dump options, in a child process; and
/// puts the archive in place. Never starts the application. False when
/// the process is no live builder: the request does not hold.
bool build(const std::string& token, const std::string& base,
           const std::string& relative,
           const ClassDataArchive::ReadConfig& readConfig,
           const ClassDataArchive::Dump& dump);

} // namespace ArchiveBuilder

#endif // ARCHIVEBUILDER_H
