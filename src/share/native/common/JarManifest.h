// The manifest of a jar file and the jars its Class-Path attribute names.
// The runtime validates every one of them against a class data archive, so
// the launcher has to know them too. Reads the zip format's central
// directory and inflates the manifest itself: no compression library is
// needed. Only what a manifest needs is supported (stored or deflated
// entries, no ZIP64, no encryption).
#ifndef JARMANIFEST_H
#define JARMANIFEST_H

#include <string>

#include "tstrings.h"

namespace JarManifest {

/// The text of META-INF/MANIFEST.MF in the jar at `jarPath`; false when the
/// file cannot be read, is not a zip archive this reader understands or its
/// manifest is damaged. A jar without a manifest gives true and an empty
/// text.
bool read(const std::string& jarPath, std::string& text);

/// The value of the main section's attribute `name` (matched in any case;
/// continuation lines joined, blanks after the colon left out); the last
/// one when it is given twice, empty when there is none.
std::string mainAttribute(const std::string& manifest,
                          const std::string& name);

/// The entries of the main section's Class-Path attribute (continuation
/// lines joined, split at blanks), in order.
StringArray classPath(const std::string& manifest);

/// Decompresses raw deflate data (RFC 1951) of at most `limit` bytes into
/// `out`; false when the data is damaged or larger.
bool inflate(const std::string& in, std::string& out, std::size_t limit);

} // namespace JarManifest

#endif // JARMANIFEST_H
