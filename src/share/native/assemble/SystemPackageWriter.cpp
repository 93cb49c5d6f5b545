#include "SystemPackageWriter.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "ElfDependencies.h"
#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "Packages.h"
#include "Process.h"
#include "SystemPackage.h"

namespace {

using FileUtils::combinePath;
typedef FileSystem::Kind Kind;

const char dpkgInfo[] = "/var/lib/dpkg/info";

[[noreturn]] void fail(const tstrings::any& message) {
    VT_THROW(message);
}

struct Content {
    ArchiveEntries entries;
    /// The sonames the ELF files need that none of them provides, and
    /// those they provide.
    std::set<std::string> needed;
    std::set<std::string> provided;
};

ArchiveEntry directory(const std::string& path) {
    ArchiveEntry entry;
    entry.kind = ArchiveEntry::Directory;
    entry.path = path;
    entry.mode = 0755;
    return entry;
}

ArchiveEntry dataFile(const std::string& path, const std::string& data) {
    ArchiveEntry entry;
    entry.path = path;
    entry.data = data;
    entry.mode = 0644;
    return entry;
}

// Adds the folders above every entry that are missing.
void addFolders(ArchiveEntries& entries) {
    std::set<std::string> have;
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind == ArchiveEntry::Directory) {
            have.insert(entry.path);
        }
    }
    ArchiveEntries added;
    for (const ArchiveEntry& entry : entries) {
        std::string dir = FileUtils::dirname(entry.path);
        while (!dir.empty() && dir != "." && have.insert(dir).second) {
            added.push_back(directory(dir));
            dir = FileUtils::dirname(dir);
        }
    }
    entries.insert(entries.end(), added.begin(), added.end());
    std::sort(entries.begin(), entries.end(),
              [](const ArchiveEntry& a, const ArchiveEntry& b) {
                  return a.path < b.path;
              });
}

// Strips the ELF file `entry` into the workspace and notes what it needs
// and provides.
void stripElf(ArchiveEntry& entry, const std::string& strip,
              const std::string& folder, std::size_t number,
              std::set<std::string>& needed, std::set<std::string>& provided) {
    const std::string copy = combinePath(folder, std::to_string(number));
    const Process::Outcome outcome = Process::run(strip, {
            "--remove-section=.comment", "--remove-section=.note",
            "--strip-unneeded", "-o", copy, entry.source});
    if (outcome.status != 0) {
        fail(tstrings::any() << "strip failed on \"" << entry.source
             << "\" (exit status " << outcome.status << "): "
             << Process::lastLine(outcome.output));
    }
    entry.source = copy;
    const ElfDependencies deps =
            readElfDependencies(FileSystem::readFile(copy));
    needed.insert(deps.needed.begin(), deps.needed.end());
    provided.insert(FileUtils::basename(entry.path));
    if (!deps.soname.empty()) {
        provided.insert(deps.soname);
    }
}

void addDesktopFiles(const PackagePlan& plan, const std::string& root,
                     ArchiveEntries& entries) {
    const std::string& name = plan.d.name;
    const std::string icon = combinePath(root, plan.layout.icon);
    const bool withIcon = FileSystem::kindOf(icon) == Kind::File;
    std::string entry = FileSystem::readFile(
            combinePath(root, plan.layout.desktopEntry));
    if (withIcon) {
        const std::string png = FileSystem::readFile(icon);
        unsigned width = 0, height = 0;
        if (!pngSize(png, width, height)) {
            fail(tstrings::any() << "The icon \"" << icon << "\" is not a PNG "
                 "image");
        }
        entries.push_back(dataFile("usr/share/icons/hicolor/"
                + std::to_string(width) + "x" + std::to_string(height)
                + "/apps/" + name + ".png", png));
        entry = withIcon ? ::withIcon(entry, name) : entry;
    }
    entries.push_back(dataFile("usr/share/applications/" + name + ".desktop",
                               entry));
}

Content systemContent(const PackagePlan& plan, const std::string& root,
                      const std::string& workspace) {
    Content content;
    std::string top = plan.d.installDir.substr(1);
    content.entries = imageEntries(root, top);
    const std::string strip = Process::findOnPath("strip");
    const std::string stripped = combinePath(workspace, ".stripped");
    FileSystem::makeDirs(stripped);
    std::set<std::string> needed, provided;
    std::size_t number = 0;
    for (ArchiveEntry& entry : content.entries) {
        Interrupts::check();
        if (entry.kind == ArchiveEntry::Directory) {
            entry.mode = 0755;
        } else if (entry.kind == ArchiveEntry::File) {
            entry.mode = (entry.mode & 0111) != 0 ? 0755 : 0644;
            if (FileSystem::readHead(entry.source, 4) == "\x7f" "ELF") {
                stripElf(entry, strip, stripped, number++, needed, provided);
            }
        }
    }
    content.provided = provided;
    for (const std::string& soname : needed) {
        if (provided.count(soname) == 0) {
            content.needed.insert(soname);
        }
    }
    addDesktopFiles(plan, root, content.entries);
    const std::string doc = "usr/share/doc/" + plan.info.packageName;
    content.entries.push_back(dataFile(doc + "/copyright",
            FileSystem::readFile(plan.info.copyrightFile)));
    return content;
}

// The shlibs entries of the installed packages, by library and version,
// with the package that declares each.
struct Shlib {
    std::string package;
    std::string dependency;
};

std::multimap<std::string, Shlib> installedShlibs() {
    std::multimap<std::string, Shlib> all;
    if (FileSystem::kindOf(dpkgInfo) != Kind::Directory) {
        return all;
    }
    for (const std::string& name : FileSystem::list(dpkgInfo)) {
        const std::size_t dot = name.rfind(".shlibs");
        if (dot == std::string::npos || dot + 7 != name.size()) {
            continue;
        }
        for (const ShlibsEntry& entry : parseShlibs(FileSystem::readFile(
                     combinePath(dpkgInfo, name)))) {
            all.insert({entry.library + " " + entry.soversion,
                        Shlib{name.substr(0, dot), entry.dependency}});
        }
    }
    return all;
}

std::string libraryPath(const std::string& soname, const std::string& arch) {
    const std::string triplet = arch == "arm64" ? "aarch64-linux-gnu"
                                                : "x86_64-linux-gnu";
    for (const std::string& dir : {"/lib/" + triplet, "/usr/lib/" + triplet,
                                   std::string("/lib64"),
                                   std::string("/usr/lib64"),
                                   std::string("/lib"),
                                   std::string("/usr/lib")}) {
        const std::string path = combinePath(dir, soname);
        if (FileSystem::kindOf(path) == Kind::File) {
            return path;
        }
    }
    return std::string();
}

// True when the package's file list holds the library `path` (as installed,
// or under /usr when the system merged /lib into it).
bool packageHolds(const std::string& package, const std::string& path) {
    const std::string list = combinePath(dpkgInfo, package + ".list");
    if (FileSystem::kindOf(list) != Kind::File) {
        return false;
    }
    const std::string files = "\n" + FileSystem::readFile(list);
    const std::string other = tstrings::startsWith(path, "/usr/")
            ? path.substr(4) : "/usr" + path;
    return files.find("\n" + path + "\n") != std::string::npos
            || files.find("\n" + other + "\n") != std::string::npos;
}

std::string dependencyOf(const std::string& soname, const std::string& arch,
                         const std::multimap<std::string, Shlib>& shlibs) {
    std::string library, version;
    if (!splitSoname(soname, library, version)) {
        fail(tstrings::any() << "Cannot tell the package of \"" << soname
             << "\", which the image needs: its name is not of a shared "
                "library's shape");
    }
    const auto range = shlibs.equal_range(library + " " + version);
    if (range.first == range.second) {
        fail(tstrings::any() << "No installed package declares \"" << soname
             << "\", which the image needs: install the package that has "
                "it and package again");
    }
    const std::string path = libraryPath(soname, arch);
    for (auto it = range.first; it != range.second; ++it) {
        if (!path.empty() && packageHolds(it->second.package, path)) {
            return it->second.dependency;
        }
    }
    return range.first->second.dependency;
}

std::string debianDepends(const std::set<std::string>& needed,
                          const std::string& arch) {
    if (needed.empty()) {
        return std::string();
    }
    const std::multimap<std::string, Shlib> shlibs = installedShlibs();
    StringArray dependencies;
    for (const std::string& soname : needed) {
        dependencies.push_back(dependencyOf(soname, arch, shlibs));
    }
    return dependsValue(dependencies);
}

ArchiveEntries dotted(const ArchiveEntries& entries) {
    ArchiveEntries out{directory(".")};
    for (ArchiveEntry entry : entries) {
        entry.path = "./" + entry.path;
        out.push_back(entry);
    }
    return out;
}

std::string fallbackParagraph(const PackagePlan& plan) {
    return plan.d.displayName + " " + plan.d.version + ", installed in "
            + plan.d.installDir + " with the Java runtime it runs on.";
}

std::string quotedPath(const std::string& path) {
    return "\"/" + rpmLiteral(path) + "\"";
}

} // namespace

void writeDeb(const PackagePlan& plan, const std::string& root,
              const std::string& workspace, const std::string& path) {
    Content content = systemContent(plan, root, workspace);
    const std::string doc = "usr/share/doc/" + plan.info.packageName;
    content.entries.push_back(dataFile(doc + "/changelog.Debian.gz",
            gzipped(debianChangelog(plan.info, plan.time), 0, 9)));
    content.entries.push_back(dataFile(
            "usr/share/lintian/overrides/" + plan.info.packageName,
            lintianOverrides(plan.info.packageName)));
    addFolders(content.entries);
    std::vector<unsigned long long> sizes;
    std::size_t others = 0;
    for (const ArchiveEntry& entry : content.entries) {
        if (entry.kind == ArchiveEntry::File) {
            sizes.push_back(entry.source.empty() ? entry.data.size()
                                                 : fileSize(entry.source));
        } else {
            ++others;
        }
    }
    const std::string arch = debianArchitecture(plan.arch);
    const std::string control = debianControl(plan.info, arch,
            installedSizeKiB(sizes, others),
            debianDepends(content.needed, plan.arch),
            fallbackParagraph(plan));
    const std::string folder = combinePath(workspace, ".deb");
    FileSystem::makeDirs(folder);
    FileSystem::writeFile(combinePath(folder, "debian-binary"), "2.0\n");
    writeTarGz(dotted({dataFile("control", control)}),
               combinePath(folder, "control.tar.gz"), plan.time, 9);
    writeTarGz(dotted(content.entries), combinePath(folder, "data.tar.gz"),
               plan.time, 6);
    writeAr({{"debian-binary", combinePath(folder, "debian-binary")},
             {"control.tar.gz", combinePath(folder, "control.tar.gz")},
             {"data.tar.gz", combinePath(folder, "data.tar.gz")}},
            path, plan.time);
}

// Every text from the description and every path goes into the recipe
// through rpmLiteral: rpmbuild expands macros, and "%(...)" runs a command.
// The install folder and the sonames in the macro definitions below are
// free of '%' (install-dir refuses it, and sonames with one are left out).
std::string rpmSpec(const PackagePlan& plan, const std::string& arch,
                    const ArchiveEntries& entries, const std::string& staged,
                    const std::string& internal) {
    const PackageInfo& info = plan.info;
    std::string recipe = "Name: " + rpmLiteral(info.packageName) + "\n"
            "Version: " + rpmLiteral(info.version) + "\n"
            "Release: " + rpmLiteral(info.release) + "\n"
            "Summary: " + rpmLiteral(info.summary) + "\n"
            "License: " + rpmLiteral(info.license) + "\n"
            "BuildArch: " + arch + "\n";
    if (!info.homepage.empty()) {
        recipe += "URL: " + rpmLiteral(info.homepage) + "\n";
    }
    const std::string top = plan.d.installDir.substr(1);
    recipe += "Packager: " + rpmLiteral(info.maintainer) + "\n"
            // The image's own libraries neither serve nor satisfy other
            // packages.
            "%global __provides_exclude_from ^/" + top + "/.*$\n";
    if (!internal.empty()) {
        // A macro's value loses one level of backslashes.
        recipe += "%global __requires_exclude ^("
                + tstrings::replace(internal, "\\", "\\\\") + ")\\\\(\n";
    }
    recipe += "\n%description\n" + rpmDescription(info,
            fallbackParagraph(plan)) + "\n%install\ncp -a '"
            + rpmLiteral(staged) + "/.' \"%{buildroot}/\"\n\n%files\n";
    recipe += quotedPath(top) + "\n";
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind != ArchiveEntry::Directory
                && !tstrings::startsWith(entry.path, top + "/")) {
            recipe += (tstrings::startsWith(entry.path, "usr/share/doc/")
                     ? "%license " : "") + quotedPath(entry.path) + "\n";
        }
    }
    return recipe + "\n%changelog\n* " + rpmChangelogDate(plan.time) + " "
            + rpmLiteral(info.maintainer) + " - "
            + rpmLiteral(info.version + "-" + info.release) + "\n- Release "
            + rpmLiteral(info.version) + " of the application.\n";
}

void writeRpm(const PackagePlan& plan, const std::string& root,
              const std::string& workspace, const std::string& path) {
    const Content content = systemContent(plan, root, workspace);
    const std::string folder = combinePath(workspace, ".rpm");
    const std::string staged = combinePath(folder, "staged");
    // rpmbuild's scripts, which it leaves behind when it is killed, go to
    // the workspace too, removed with it, rather than to /var/tmp. rpmbuild
    // hands a script's path to the shell unquoted: the path is relative to
    // its working folder, since the workspace's may hold a space.
    const std::string scripts = combinePath(folder, "tmp");
    FileSystem::makeDirs(staged);
    FileSystem::makeDirs(scripts);
    for (const ArchiveEntry& entry : content.entries) {
        Interrupts::check();
        const std::string target = combinePath(staged, entry.path);
        if (entry.kind == ArchiveEntry::Directory) {
            FileSystem::makeDirs(target);
        } else {
            FileSystem::makeDirs(FileUtils::dirname(target));
            if (entry.kind == ArchiveEntry::Link) {
                FileSystem::makeLink(entry.linkText, target);
            } else if (entry.source.empty()) {
                FileSystem::writeFile(target, entry.data, entry.mode, true);
            } else {
                // RPM tells libraries by their executable bit.
                const bool elf = tstrings::startsWith(
                        entry.source, combinePath(workspace, ".stripped/"));
                FileSystem::copyFile(entry.source, target,
                                     elf ? 0755 : entry.mode);
            }
        }
    }
    const std::string arch = rpmArchitecture(plan.arch);
    const std::string recipe = combinePath(folder, "package.rpmbuild");
    std::set<std::string> internal;
    for (const std::string& soname : content.provided) {
        if (soname.find('%') == std::string::npos) {
            internal.insert(soname);
        }
    }
    FileSystem::writeFile(recipe, rpmSpec(plan, arch, content.entries, staged,
                                        rpmPattern(internal)));
    const Process::Outcome outcome = Process::run(
            Process::findOnPath("rpmbuild"),
            {"-bb", "--quiet", "--target", arch,
             "--define", "_topdir " + folder,
             "--define", "_rpmdir " + folder,
             "--define", "_tmppath tmp",
             "--define", "_build_name_fmt out.rpm",
             "--define", "__os_install_post %{nil}",
             "--define", "_build_id_links none",
             "--define", "use_source_date_epoch_as_buildtime 1",
             "--define", "source_date_epoch_from_changelog 0",
             recipe}, nullptr, folder);
    if (outcome.status != 0) {
        fail(tstrings::any() << "rpmbuild failed (exit status "
             << outcome.status << "): " << rpmbuildError(outcome.output));
    }
    if (std::rename(combinePath(folder, "out.rpm").c_str(), path.c_str()) != 0) {
        fail(tstrings::any() << "Cannot move the rpm to \"" << path << "\": "
             << lastCRTError());
    }
}
