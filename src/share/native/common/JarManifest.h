// The manifest of a jar file: its main section, and the attributes of it
// that the launcher and its tools need: Main-Class, and the jars that
// Class-Path names (the runtime validates every one of them against a class
// data archive, so the launcher has to know them too).
#ifndef JARMANIFEST_H
#define JARMANIFEST_H

#include <string>

#include "ZipFile.h"
#include "tstrings.h"

namespace JarManifest {

/// The main section of META-INF/MANIFEST.MF in the jar `jar`: its lines up
/// to the empty line that ends it, with their line ends. Only the main
/// section is read, however long the rest (a signed jar lists a digest for
/// each of its entries). False when the jar cannot be read, its manifest is
/// damaged or its main section is longer than 1 MiB. A jar without a
/// manifest gives true and an empty text.
bool read(const ZipFile& jar, std::string& text);

/// The same of the jar at `jarPath`.
bool read(const std::string& jarPath, std::string& text);

/// The value of the main section's attribute `name` (matched in any case;
/// continuation lines joined, blanks after the colon left out); the last
/// one when it is given twice, empty when there is none.
std::string mainAttribute(const std::string& manifest,
                          const std::string& name);

/// The entries of the main section's Class-Path attribute (continuation
/// lines joined, split at blanks), in order.
StringArray classPath(const std::string& manifest);

} // namespace JarManifest

#endif // JARMANIFEST_H
