// The `release` file of a Java runtime: lines of KEY="value" that say which
// version, system, architecture and modules the runtime is. Both the class
// data archive and the assembly command read it.
#ifndef RELEASEFILE_H
#define RELEASEFILE_H

#include <map>
#include <string>

namespace ReleaseFile {

/// The keys of the text of a `release` file and their values, without the
/// double quotes around them; a carriage return before the line end is
/// dropped, lines without "=" are skipped, and the last line of a key
/// counts.
std::map<std::string, std::string> parse(const std::string& text);

} // namespace ReleaseFile

#endif // RELEASEFILE_H
