// The packages that the assembly command writes beside its output: tar.gz,
// deb and rpm from an image, zip, dmg and pkg from a bundle. Everything is
// checked with the rest of the description, before anything is written;
// the packages are made in the workspace from the finished output and
// moved into place with it. The output's stamp records them by their size
// and checksum (see PackageRecord), so that --replace replaces only
// packages this command made, still as it made them.
#ifndef PACKAGES_H
#define PACKAGES_H

#include <string>
#include <vector>

#include "Description.h"
#include "Layout.h"
#include "PackageArchive.h"
#include "PackageInfo.h"
#include "PackageRecord.h"

struct AssembleOptions;

struct PackagePlan {
    PackageInfo info;
    /// The formats in the order they are made, each with its file name.
    std::vector<std::pair<PackageFormat, std::string>> files;
    /// Packages of the earlier output that this run does not make again
    /// and that are still there as its stamp records them: the new stamp
    /// records them too, while they stay so.
    PackageRecords keptPackages;
    /// The records that proved the earlier packages this run replaces, as
    /// proven at the check: the new stamp records them beside the new
    /// packages until the next run, so that the earlier package stays
    /// proven should the command stop between putting the output in place
    /// and putting the package there.
    PackageRecords replacedPackages;
    /// The output folder, beside which the packages lie.
    std::string outputDir;
    Description d;
    Layout layout;
    /// The architecture of the launcher and the runtime ("x86_64", "arm64").
    std::string arch;
    /// Every time in the packages (SOURCE_DATE_EPOCH, else the
    /// description's modification time).
    long long time = 0;
    std::string sign;
    std::string installerSign;
    std::string notarize;
};

/// Checks what the packages need (keys, tools, files at the output) and
/// plans them. `architectures` are those the launcher and runtime share.
/// Throws a one-line error.
PackagePlan planPackages(const Description& d, const Layout& layout,
                         const std::string& outputDir,
                         const StringArray& architectures,
                         const AssembleOptions& options);

/// Refuses, when the plan makes an rpm, a name in the image that rpm
/// cannot hold: one with a control character (a line feed among them).
/// `names` are the image's paths below its top folder. Throws a one-line
/// error naming the path.
void checkPackagedNames(const PackagePlan& plan, const StringArray& names);

/// Makes the packages from the finished output at `root` in `workspace`;
/// returns their names in the workspace, to be moved into place with the
/// output.
StringArray writePackages(const PackagePlan& plan, const std::string& root,
                          const std::string& workspace);

/// The output's tree at `root` as archive entries below the folder `top`
/// (an entry of its own), sorted by name, modes and links kept.
ArchiveEntries imageEntries(const std::string& root, const std::string& top);

/// The records of the packages made in `workspace` (names as
/// writePackages returns them), each followed by the earlier record of its
/// name that the plan proved, then those of the kept ones still there as
/// recorded (one recorded by name alone while it is there at all), for the
/// output's stamp, none repeated. Throws when a package made cannot be
/// read.
PackageRecords recordPackages(const PackagePlan& plan,
                              const StringArray& made,
                              const std::string& workspace);

/// Refuses the existing file `path`, the package `name` beside the output,
/// unless `records` (an earlier output's) prove it this command's, as it
/// wrote it; returns the record that proves it. The file is read only when
/// its size is one recorded. Throws a one-line error naming `path`.
PackageRecord checkEarlierPackage(const std::string& path,
                                  const std::string& name,
                                  const PackageRecords& records);

/// The time of the packages: SOURCE_DATE_EPOCH's value when it is a number,
/// else `fallback`.
long long packageTime(const std::string& sourceDateEpoch, long long fallback);

#endif // PACKAGES_H
