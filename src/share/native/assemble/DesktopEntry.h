// The Linux image's desktop entry (lib/<name>.desktop): how menus and file
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

/// The Exec value that starts `program` with `fieldCode` (such as "%F";
/// empty for none): the path quoted and escaped under the desktop entry
/// rules, then escaped as a desktop entry string.
std::string execValue(const std::string& program,
                      const std::string& fieldCode);

#endif // DESKTOPENTRY_H
