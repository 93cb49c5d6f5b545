// The macOS packages of a bundle: the zip that notarisation takes, the disk
// image and the installer package, made with the Mac's own tools (ditto,
// hdiutil, pkgbuild, productbuild; on Linux the zip comes from libarchive),
// signed and notarised as the command line asks. The commands are decided
// here, as lists of arguments, and run in the order they are listed.
#ifndef MACPACKAGES_H
#define MACPACKAGES_H

#include <string>
#include <vector>

#include "PackageInfo.h"
#include "tstrings.h"

struct PackagePlan;

/// The tools on PATH that making `format` needs.
StringArray macPackageTools(PackageFormat format);

/// Throws a one-line error when --installer-sign or --notarize do not fit
/// the plan's formats and signing.
void checkMacOptions(const PackagePlan& plan);

/// One command: the tool and its arguments.
struct ToolCommand {
    std::string tool;
    StringArray args;
};

/// The commands that make the disk image `dmg` of the bundle `app` from the
/// folder `staging` (which holds the bundle and the link to
/// /Applications), signed with `sign` when it is not empty.
std::vector<ToolCommand> dmgCommands(const std::string& volume,
                                     const std::string& staging,
                                     const std::string& dmg,
                                     const std::string& sign);

/// The commands that make the installer package `pkg` of the bundle `app`
/// through the component package `component`; signed with
/// `installerSign` when it is not empty.
std::vector<ToolCommand> pkgCommands(const std::string& app,
                                     const std::string& identifier,
                                     const std::string& version,
                                     const std::string& component,
                                     const std::string& pkg,
                                     const std::string& installerSign);

/// The notarisation status and submission id that `notarytool submit
/// --output-format json` printed; empty when it printed none.
std::string jsonString(const std::string& json, const std::string& key);

/// The first error message of the log that `notarytool log` printed (the
/// first issue's message, else the first line that says "error"); the
/// last line when there is neither.
std::string firstLogError(const std::string& log);

/// Makes `format` of the bundle at `root` into `path`; notarises it and
/// staples the ticket when the plan says so.
void writeMacPackage(const PackagePlan& plan, PackageFormat format,
                     const std::string& root, const std::string& workspace,
                     const std::string& path);

#endif // MACPACKAGES_H
