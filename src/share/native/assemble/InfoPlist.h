// The bundle's Contents/Info.plist: an XML property list that tells macOS
// the executable, identity, version, architectures, documents, URL schemes
// and permission texts of the application.
#ifndef INFOPLIST_H
#define INFOPLIST_H

#include <string>

#include "Description.h"
#include "tstrings.h"

/// The property list of the application `d`. `architectures` become
/// LSArchitecturePriority, in order; LSMinimumSystemVersion is 11.0 when
/// `launcherArchitectures` are arm64 alone, else 10.15. `withIcon` adds
/// CFBundleIconFile.
std::string infoPlist(const Description& d, const StringArray& architectures,
                      const StringArray& launcherArchitectures, bool withIcon);

/// `text` with &, <, > and " written as XML entities.
std::string xmlEscape(const std::string& text);

#endif // INFOPLIST_H
