// What an installable package says about the application beyond the image:
// the formats to write and the metadata that Debian and RPM packages carry
// (package name, release, maintainer, description, copyright, section),
// read from the description's [Bundle] keys and checked against the rules
// of those formats.
#ifndef PACKAGEINFO_H
#define PACKAGEINFO_H

#include <string>
#include <vector>

#include "CfgFile.h"
#include "Layout.h"
#include "tstrings.h"

struct Description;

/// A package written beside the output.
enum class PackageFormat { TarGz, Deb, Rpm, Zip, Dmg, Pkg };

/// The [Bundle] keys of this unit, for the description's vocabulary.
namespace PackageKeys {
extern const CfgFile::PropertyId formats;
extern const CfgFile::PropertyId packageName;
extern const CfgFile::PropertyId release;
extern const CfgFile::PropertyId maintainer;
extern const CfgFile::PropertyId description;
extern const CfgFile::PropertyId copyright;
extern const CfgFile::PropertyId section;
extern const CfgFile::PropertyId homepage;
extern const CfgFile::PropertyId license;
} // namespace PackageKeys

struct PackageInfo {
    /// In the order given, each once.
    std::vector<PackageFormat> formats;
    /// The system package's name: bundle.package-name, else the name in
    /// lower case with blanks and '_' as '-'.
    std::string packageName;
    /// The application's version (bundle.version) and the package's
    /// release of it (bundle.release, default 1).
    std::string version;
    std::string release;
    /// "Name <address>"; empty when not given.
    std::string maintainer;
    /// The one-line summary and the paragraphs after it.
    std::string summary;
    StringArray paragraphs;
    /// The file with the copyright and licence text, absolute; empty when
    /// not given.
    std::string copyrightFile;
    std::string section;
    std::string homepage;
    /// The licence's short name (RPM's License); default "Proprietary".
    std::string license;
};

/// "tar.gz", "deb", "rpm", "zip", "dmg" or "pkg".
const char* packageFormatName(PackageFormat format);

/// The formats of the comma-separated `list` (blanks around names allowed),
/// added to `formats` unless already there. `target` says which formats
/// may be made: tar.gz, deb and rpm from an image, zip, dmg and pkg from a
/// bundle. Throws a one-line error naming `source` (where the list comes
/// from) for an unknown or unfitting format or an empty name.
void addPackageFormats(const std::string& list, Target target,
                       const std::string& source,
                       std::vector<PackageFormat>& formats);

/// The formats that bundle.formats of `d` names. Throws as
/// addPackageFormats does.
std::vector<PackageFormat> describedFormats(const Description& d,
                                            Target target);

/// The package metadata of `d`, every key checked; `formats` is what the
/// command line asked for, to which bundle.formats adds. A deb or rpm also
/// needs bundle.maintainer, bundle.description and bundle.copyright.
PackageInfo readPackageInfo(const Description& d, Target target,
                            const std::vector<PackageFormat>& formats);

/// The name derived from an application's name, as readPackageInfo makes it
/// without bundle.package-name.
std::string derivedPackageName(const std::string& name);

/// True for a valid Debian package name: lower-case letters, digits, '+',
/// '-' and '.', at least two, starting with a letter or digit.
bool isDebianPackageName(const std::string& name);

/// True for "Name <local@domain>" with a name of plain text.
bool isMaintainer(const std::string& text);

#endif // PACKAGEINFO_H
