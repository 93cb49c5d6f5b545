#include "Packages.h"

#include <algorithm>

#include "Assembler.h"
#include "Commit.h"
#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "MacPackages.h"
#include "PackageArchive.h"
#include "Process.h"
#include "SysInfo.h"
#include "SystemPackage.h"
#include "SystemPackageWriter.h"
#include "TextRules.h"
#include "Workspace.h"

namespace {

using FileUtils::combinePath;
typedef FileSystem::Kind Kind;

[[noreturn]] void fail(const tstrings::any& message) {
    VT_THROW(message);
}

// Zip, dmg and pkg in the order that lets a notarised bundle be stapled
// before the dmg and the pkg take it in; the others as given.
std::vector<PackageFormat> makingOrder(std::vector<PackageFormat> formats) {
    static const PackageFormat order[] = {
        PackageFormat::TarGz, PackageFormat::Deb, PackageFormat::Rpm,
        PackageFormat::Zip, PackageFormat::Dmg, PackageFormat::Pkg,
    };
    std::stable_sort(formats.begin(), formats.end(),
                     [](PackageFormat a, PackageFormat b) {
                         return std::find(std::begin(order), std::end(order), a)
                                 < std::find(std::begin(order), std::end(order), b);
                     });
    return formats;
}

std::string fileNameOf(PackageFormat format, const PackageInfo& info,
                       const Description& d, const std::string& arch) {
    switch (format) {
    case PackageFormat::TarGz:
        return d.name + "-" + d.version + "-linux-" + rpmArchitecture(arch)
                + ".tar.gz";
    case PackageFormat::Deb:
        return debFileName(info, debianArchitecture(arch));
    case PackageFormat::Rpm:
        return rpmFileName(info, rpmArchitecture(arch));
    case PackageFormat::Zip:
        return d.name + "-" + d.version + ".zip";
    case PackageFormat::Dmg:
        return d.name + "-" + d.version + ".dmg";
    case PackageFormat::Pkg:
        return d.name + "-" + d.version + ".pkg";
    }
    return std::string();
}

void requireTool(const std::string& tool, PackageFormat format,
                 const std::string& package) {
    if (Process::findOnPath(tool).empty()) {
        fail(tstrings::any() << "A " << packageFormatName(format)
             << " package needs " << tool << ", which is not on PATH"
             << (package.empty() ? "" : " (Debian: " + package + ")"));
    }
}

// rpmbuild runs in the workspace, which lies in the output folder.
void checkRpmFolder(const std::string& outputDir) {
    const std::string problem = rpmFolderProblem(
            FileUtils::toAbsolutePath(outputDir));
    if (!problem.empty()) {
        fail(tstrings::any() << "An rpm package cannot be made in the output "
             "folder \"" << printable(outputDir) << "\": " << problem);
    }
}

void checkTools(PackageFormat format) {
    if (format == PackageFormat::Deb || format == PackageFormat::Rpm) {
        requireTool("strip", format, "binutils");
    }
    if (format == PackageFormat::Rpm) {
        requireTool("rpmbuild", format, "rpm");
    }
    for (const std::string& tool : macPackageTools(format)) {
        requireTool(tool, format, "");
    }
}

// Adds the record that proves an earlier package at the output to
// `replaced`.
void checkPackageFile(const std::string& outputDir, const std::string& name,
                      const PackageRecords& stamped, bool replace,
                      PackageRecords& replaced) {
    const std::string path = combinePath(outputDir, name);
    // Linux's and macOS's limit on the length of a file name.
    if (name.size() > 255) {
        fail(tstrings::any() << "The package's file name \"" << printable(name)
             << "\" is " << name.size() << " bytes long, more than a file "
             "name may have (255): choose a shorter name or version");
    }
    const bool exists = FileSystem::isLink(path)
            || FileSystem::kindOf(path) != Kind::Missing;
    if (!exists) {
        return;
    }
    if (!replace) {
        fail(tstrings::any() << "\"" << path << "\" exists: remove it, or "
             "give --replace to replace an earlier output of this command");
    }
    replaced.push_back(checkEarlierPackage(path, name, stamped));
}

PackageRecords earlierPackages(const std::string& outputDir,
                               const Layout& layout) {
    std::string stamp;
    if (!readOutputStamp(Workspace::system(),
                         combinePath(outputDir, layout.rootName), layout.stamp,
                         stamp)) {
        return PackageRecords();
    }
    return stampedPackageRecords(stamp);
}

// True when the file at `path` is still the package `record` records; for
// a record of the name alone, when a file is there at all.
bool stillAsRecorded(const std::string& path, const PackageRecord& record) {
    FileIdentity identity;
    if (!record.hasIdentity) {
        return !FileSystem::isLink(path)
                && FileSystem::kindOf(path) == Kind::File;
    }
    return readFileIdentity(path, identity,
                            [&](unsigned long long size) {
                                return size == record.identity.size;
                            })
            && identity == record.identity;
}

// What the earlier output made and this run leaves in place, still as it
// was made, stays recorded, so that a later --replace still knows it as
// this command's.
void keepEarlier(PackagePlan& plan, const PackageRecords& stamped,
                 const std::string& outputDir) {
    for (const PackageRecord& record : stamped) {
        const bool remade = std::any_of(
                plan.files.begin(), plan.files.end(),
                [&](const std::pair<PackageFormat, std::string>& file) {
                    return file.second == record.name;
                });
        if (!remade && stillAsRecorded(combinePath(outputDir, record.name),
                                       record)) {
            plan.keptPackages.push_back(record);
        }
    }
}

} // namespace

ArchiveEntries imageEntries(const std::string& root, const std::string& top) {
    TreePlan plan;
    // The finished output holds links into itself only.
    planTree(systemTree(), root, top, OutsideLinks::CopyTarget,
             OutputPlace{FileUtils::dirname(root), std::string()}, plan);
    ArchiveEntries entries;
    ArchiveEntry topEntry;
    topEntry.kind = ArchiveEntry::Directory;
    topEntry.path = top;
    topEntry.mode = 0755;
    entries.push_back(topEntry);
    for (const TreeEntry& item : plan) {
        ArchiveEntry entry;
        entry.kind = item.kind == TreeEntry::Directory ? ArchiveEntry::Directory
                : item.kind == TreeEntry::Link ? ArchiveEntry::Link
                                               : ArchiveEntry::File;
        entry.path = item.dest;
        entry.source = item.kind == TreeEntry::File ? item.source
                                                    : std::string();
        entry.linkText = item.linkText;
        entry.mode = item.mode;
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [](const ArchiveEntry& a, const ArchiveEntry& b) {
                  return a.path < b.path;
              });
    return entries;
}

long long packageTime(const std::string& sourceDateEpoch, long long fallback) {
    if (sourceDateEpoch.empty() || sourceDateEpoch.size() > 15
            || sourceDateEpoch.find_first_not_of("0123456789")
                    != std::string::npos) {
        return fallback;
    }
    return std::stoll(sourceDateEpoch);
}

PackageRecord checkEarlierPackage(const std::string& path,
                                  const std::string& name,
                                  const PackageRecords& records) {
    FileIdentity identity;
    const PackageProof proof = FileSystem::isLink(path)
            || !readFileIdentity(path, identity,
                                 [&](unsigned long long size) {
                                     return recordsSize(records, name, size);
                                 })
            ? PackageProof::Unproven
            : provePackage(records, name, identity);
    if (proof == PackageProof::Changed) {
        fail(tstrings::any() << "\"" << path << "\" changed since "
             "applauncher-assemble wrote it: it is left alone");
    }
    if (proof == PackageProof::NameOnly) {
        fail(tstrings::any() << "\"" << path << "\" was recorded by an "
             "earlier applauncher-assemble without its contents, so it cannot "
             "be proven unchanged: remove it to make it anew");
    }
    if (proof != PackageProof::Proven) {
        fail(tstrings::any() << "\"" << path << "\" exists and was not made "
             "by applauncher-assemble: it is left alone");
    }
    return *provingRecord(records, name, identity);
}

PackageRecords recordPackages(const PackagePlan& plan,
                              const StringArray& made,
                              const std::string& workspace) {
    PackageRecords records;
    for (const std::string& name : made) {
        PackageRecord record;
        record.name = name;
        record.hasIdentity = true;
        const std::string path = combinePath(workspace, name);
        if (!readFileIdentity(path, record.identity)) {
            fail(tstrings::any() << "Cannot read the package \"" << path
                 << "\" just made");
        }
        records.push_back(record);
        for (const PackageRecord& replaced : plan.replacedPackages) {
            if (replaced.name == name) {
                records.push_back(replaced);
            }
        }
    }
    for (const PackageRecord& kept : plan.keptPackages) {
        if (stillAsRecorded(combinePath(plan.outputDir, kept.name), kept)) {
            records.push_back(kept);
        }
    }
    return distinctRecords(records);
}

PackagePlan planPackages(const Description& d, const Layout& layout,
                         const std::string& outputDir,
                         const StringArray& architectures,
                         const AssembleOptions& options) {
    PackagePlan plan;
    std::vector<PackageFormat> asked;
    if (!options.packages.empty()) {
        addPackageFormats(options.packages, layout.target, "--package", asked);
    }
    plan.info = readPackageInfo(d, layout.target, asked);
    plan.d = d;
    plan.layout = layout;
    plan.arch = architectures.empty() ? std::string() : architectures.front();
    plan.sign = options.sign;
    plan.installerSign = options.installerSign;
    plan.notarize = options.notarize;
    plan.outputDir = outputDir;
    checkMacOptions(plan);
    const PackageRecords stamped = earlierPackages(outputDir, layout);
    if (plan.info.formats.empty()) {
        keepEarlier(plan, stamped, outputDir);
        return plan;
    }
    if (!plan.info.copyrightFile.empty()
            && FileSystem::kindOf(plan.info.copyrightFile) != Kind::File) {
        fail(tstrings::any() << "The copyright file \""
             << plan.info.copyrightFile << "\" (bundle.copyright) is not a "
             "file");
    }
    plan.time = packageTime(
            SysInfo::getEnvVariable(std::nothrow, "SOURCE_DATE_EPOCH", ""),
            modificationTime(d.file));
    for (PackageFormat format : makingOrder(plan.info.formats)) {
        checkTools(format);
        if (format == PackageFormat::Rpm) {
            checkRpmFolder(outputDir);
        }
        const std::string name = fileNameOf(format, plan.info, d, plan.arch);
        checkPackageFile(outputDir, name, stamped, options.replace,
                         plan.replacedPackages);
        plan.files.push_back({format, name});
    }
    keepEarlier(plan, stamped, outputDir);
    return plan;
}

void checkPackagedNames(const PackagePlan& plan, const StringArray& names) {
    if (std::find_if(plan.files.begin(), plan.files.end(),
                     [](const std::pair<PackageFormat, std::string>& file) {
                         return file.first == PackageFormat::Rpm;
                     }) == plan.files.end()) {
        return;
    }
    for (const std::string& name : names) {
        if (std::any_of(name.begin(), name.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
            })) {
            fail(tstrings::any() << "An rpm package cannot hold \""
                 << printable(name) << "\": rpm takes no control character "
                 "(such as a line feed) in a file name");
        }
    }
}

StringArray writePackages(const PackagePlan& plan, const std::string& root,
                          const std::string& workspace) {
    StringArray made;
    for (const auto& file : plan.files) {
        Interrupts::check();
        const std::string path = combinePath(workspace, file.second);
        switch (file.first) {
        case PackageFormat::TarGz:
            writeTarGz(imageEntries(root, plan.layout.rootName), path,
                       plan.time, 6);
            break;
        case PackageFormat::Deb:
            writeDeb(plan, root, workspace, path);
            break;
        case PackageFormat::Rpm:
            writeRpm(plan, root, workspace, path);
            break;
        case PackageFormat::Zip:
        case PackageFormat::Dmg:
        case PackageFormat::Pkg:
            writeMacPackage(plan, file.first, root, workspace, path);
            break;
        }
        made.push_back(file.second);
    }
    return made;
}
