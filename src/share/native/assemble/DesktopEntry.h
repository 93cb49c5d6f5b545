// The Linux image's desktop entry (lib/<name>.desktop, or
// lib/<identifier>.desktop when the description has an identifier): how menus and file
// managers start the application, with the paths it has once the image is
// installed as the description's bundle.install-dir.
#ifndef DESKTOPENTRY_H
#define DESKTOPENTRY_H

#include <string>

#include "Description.h"

/// The entry of the application `d`. `wmClass` is its StartupWMClass;
/// `withIcon` adds the icon beside the entry (lib/<name>.png).
std::string desktopEntry(const Description& d, const std::string& wmClass,
                         bool withIcon);

/// True for a category the desktop menu specification registers (main or
/// additional, not reserved) and for a name of one's own: "X-" followed by
/// letters, digits, '-' and '_'.
bool isKnownCategory(const std::string& name);

/// Why the known categories `names` make an entry that readers refuse: a
/// category given twice, or an additional category (or Audio, Video)
/// without one of the categories the desktop menu specification relates
/// it to ("Audio" needs "AudioVideo"). Empty when there is no fault.
std::string categoriesFault(const StringArray& names);

/// True for a valid D-Bus well-known name, as a desktop file's name must
/// be: two or more elements separated by '.', each of letters, digits, '-'
/// and '_' and not starting with a digit; 255 bytes at most.
bool isDbusName(const std::string& name);

/// The Exec value that starts `program` with `fieldCode` (such as "%F";
/// empty for none): the path quoted and escaped under the desktop entry
/// rules, then escaped as a desktop entry string.
std::string execValue(const std::string& program,
                      const std::string& fieldCode);

#endif // DESKTOPENTRY_H
