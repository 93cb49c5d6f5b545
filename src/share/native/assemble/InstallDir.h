// The folder a system package installs the image as (bundle.install-dir):
// the package owns it and removes it with everything in it, so it must be
// a folder of the application's own, written so that every tool that
// reads the path (dpkg, rpm, desktops, the shell) takes it as the same one.
#ifndef INSTALLDIR_H
#define INSTALLDIR_H

#include <string>

/// Why `path` cannot be an image's install folder; empty when it can. It
/// must be absolute and normalised (no ".", "..", empty segment or trailing
/// '/'), free of '"', '*', '?', '[', '%', '\\' and control characters, and
/// below a system folder rather than one itself ("/", "/usr", "/usr/lib",
/// "/opt", "/etc", "/home", ...).
std::string installDirProblem(const std::string& path);

#endif // INSTALLDIR_H
