// Writing the Debian and RPM packages of an application image: the image
// under bundle.install-dir, the desktop entry and the icon where the
// desktop finds them, the copyright and changelog under /usr/share/doc;
// executables and libraries stripped, modes as packages have them.
#ifndef SYSTEMPACKAGEWRITER_H
#define SYSTEMPACKAGEWRITER_H

#include <string>

#include "PackageArchive.h"

struct PackagePlan;

/// Writes the .deb of the image at `root` to `path`, using `workspace` for
/// what it makes on the way.
void writeDeb(const PackagePlan& plan, const std::string& root,
              const std::string& workspace, const std::string& path);

/// Writes the .rpm of the image at `root` to `path` through rpmbuild.
void writeRpm(const PackagePlan& plan, const std::string& root,
              const std::string& workspace, const std::string& path);

/// The RPM build recipe (the file rpmbuild reads) that packs the staged tree `staged` (holding `entries`)
/// for RPM's `arch`; `internal` is the pattern of the libraries the image
/// provides itself (see rpmPattern), which are not required from others.
std::string rpmSpec(const PackagePlan& plan, const std::string& arch,
                    const ArchiveEntries& entries, const std::string& staged,
                    const std::string& internal);

#endif // SYSTEMPACKAGEWRITER_H
