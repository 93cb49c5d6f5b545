// The jars that an archive depends on beyond its digest: those that the
// Class-Path attributes of the manifests name, followed from jar to jar.
// The runtime validates every one of them against the archive, so a start
// maps the archive only while they are unchanged. Recorded as text, one
// jar a line with its identity ("-" for a missing one).
#ifndef JARDEPENDENCIES_H
#define JARDEPENDENCIES_H

#include <string>

#include "tstrings.h"

namespace JarDependencies {

/// The jars that the manifests of `rootJars` name, transitively, each on a
/// line of its own after its identity and a tab. Paths that are no regular
/// file are not read. False when a manifest cannot be read.
bool find(const StringArray& rootJars, std::string& text);

/// True when every jar in `text` (made by `find`) still has its identity.
bool unchanged(const std::string& text);

/// The first entry of `text` (made by `find`) that is a directory with
/// anything in it, which the runtime cannot archive; empty when there is
/// none.
std::string busyDirectory(const std::string& text);

} // namespace JarDependencies

#endif // JARDEPENDENCIES_H
