// The texts of a Debian or RPM package of an application image: the names
// of architectures and package files, Debian's control file, changelog and
// lintian overrides, the desktop entry installed beside the system's, and
// the dependencies on the shared libraries of the system as Debian's
// shlibs files name them.
#ifndef SYSTEMPACKAGE_H
#define SYSTEMPACKAGE_H

#include <set>
#include <string>
#include <vector>

#include "PackageInfo.h"
#include "tstrings.h"

/// Debian's name of the architecture `arch` ("x86_64", "arm64"): "amd64",
/// "arm64". Throws for one Debian has no name for here.
std::string debianArchitecture(const std::string& arch);

/// RPM's name: "x86_64", "aarch64". Throws as debianArchitecture.
std::string rpmArchitecture(const std::string& arch);

/// "<version>-<release>".
std::string debianVersion(const PackageInfo& info);

/// "<package>_<version>-<release>_<arch>.deb" for Debian's `arch`.
std::string debFileName(const PackageInfo& info, const std::string& arch);

/// "<package>-<version>-<release>.<arch>.rpm" for RPM's `arch`.
std::string rpmFileName(const PackageInfo& info, const std::string& arch);

/// The Description field's value: the summary, then each paragraph on
/// lines of at most 80 characters, each line indented by one blank, "."
/// between paragraphs. Without paragraphs, `fallback` is the one.
std::string debianDescription(const PackageInfo& info,
                              const std::string& fallback);

/// The control file.
std::string debianControl(const PackageInfo& info, const std::string& arch,
                          unsigned long long installedKiB,
                          const std::string& depends,
                          const std::string& fallbackParagraph);

/// The %description of an RPM build recipe (the file rpmbuild reads): the paragraphs (or `fallback`) in
/// lines of at most 79 characters, a blank line after each; each '%' kept
/// literal, and a line that would start with one indented by a blank, so
/// that no line is taken for a section of the recipe.
std::string rpmDescription(const PackageInfo& info,
                           const std::string& fallback);

/// `text` as rpmbuild reads it back literally from a build recipe: every
/// '%' doubled, so that no macro (and no "%(command)") is expanded.
std::string rpmLiteral(const std::string& text);

/// Why rpmbuild cannot be run in the folder `path`: its macros expand the
/// paths given to it, and its install step quotes them for the shell.
/// Empty when `path` has no '%', '\'', '"', '\\' and no control character.
std::string rpmFolderProblem(const std::string& path);

/// The first line of rpmbuild's `output` that starts "error:", else its
/// last line.
std::string rpmbuildError(const std::string& output);

/// `time` as an RPM changelog dates it: "Wed Dec 09 2026".
std::string rpmChangelogDate(long long time);

/// The extended regular expression that matches each of `names` exactly,
/// '|' between them.
std::string rpmPattern(const std::set<std::string>& names);

/// The changelog of the one release, dated `time` (seconds since 1970).
std::string debianChangelog(const PackageInfo& info, long long time);

/// `time` as RFC 2822 wants it, in UTC: "Wed, 09 Dec 2026 05:40:53 +0000".
std::string rfc2822Date(long long time);

/// Installed-Size in KiB: each file's size rounded up to a KiB, one KiB for
/// every other entry.
unsigned long long installedSizeKiB(
        const std::vector<unsigned long long>& fileSizes,
        std::size_t otherEntries);

/// One line of a shlibs file: "library soversion dependency".
struct ShlibsEntry {
    std::string library;
    std::string soversion;
    std::string dependency;
};

/// The entries of a shlibs file; comments, blank lines and entries of a
/// type ("udeb: ...") are left out.
std::vector<ShlibsEntry> parseShlibs(const std::string& text);

/// The library name and version of a shared library's soname as shlibs
/// files name them: "libz.so.1" gives "libz" and "1", "libfoo-2.1.so"
/// gives "libfoo" and "2.1". False for another shape.
bool splitSoname(const std::string& soname, std::string& library,
                 std::string& version);

/// The Depends value of `dependencies`: sorted, each once, ", " between.
std::string dependsValue(StringArray dependencies);

/// The desktop entry `entry` with its Icon line set to `icon`.
std::string withIcon(const std::string& entry, const std::string& icon);

/// The width and height of the PNG image `png`; false when it is none.
bool pngSize(const std::string& png, unsigned& width, unsigned& height);

/// The lintian overrides that a package installed under /opt with its own
/// Java runtime needs, one "package: tag" line each.
std::string lintianOverrides(const std::string& packageName);

#endif // SYSTEMPACKAGE_H
