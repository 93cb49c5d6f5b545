#include "Assembler.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "AppChecks.h"
#include "AppLayout.h"
#include "AssembleHost.h"
#include "ClassDataArchive.h"
#include "Commit.h"
#include "ContentInto.h"
#include "Description.h"
#include "DesktopEntry.h"
#include "Entitlements.h"
#include "ErrorHandling.h"
#include "ExecutableFormat.h"
#include "FileSystem.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Icns.h"
#include "InfoPlist.h"
#include "Interrupts.h"
#include "Packages.h"
#include "PathLimits.h"
#include "PngImage.h"
#include "Process.h"
#include "Progress.h"
#include "RuntimeCache.h"
#include "RuntimeRelease.h"
#include "Signing.h"
#include "StartCheck.h"
#include "TextRules.h"
#include "SysInfo.h"
#include "Workspace.h"

namespace {

using FileUtils::combinePath;
using FileUtils::dirname;
typedef FileSystem::Kind Kind;

// Everything the checks found out, which the writing then uses.
struct Plan {
    Description d;
    Layout layout;
    /// The output folder as the system resolves it, and the folders of it
    /// that do not exist yet, outermost first.
    std::string outputDir;
    StringArray missingFolders;
    std::string root;
    std::string entitlementsName;
    std::string entitlementsText;
    std::string launcher;
    ExecutableInfo launcherInfo;
    RuntimeRelease release;
    /// A copied runtime: its Java home and the plan of its copy.
    std::string runtimeHome;
    TreePlan runtimeTree;
    /// A linked runtime: the JDK.
    std::string jdk;
    TreePlan contentTree;
    /// The bundle's icns file; the image's icons, smallest first.
    std::string icns;
    std::vector<IconImage> icons;
    std::string wmClass;
    StringArray architectures;
    /// What the packager should know, printed once the output is in place.
    StringArray notes;
    PackagePlan packages;
    /// Held from the check of an existing output folder to the end, so
    /// that assemblies into one folder take turns: each sees the earlier
    /// output and packages as the one before left them.
    std::shared_ptr<FileSystem::FolderLock> outputLock;
};

[[noreturn]] void fail(const tstrings::any& message) {
    VT_THROW(message);
}

StringArray pathComponents(const std::string& path) {
    StringArray parts;
    tstrings::split(parts, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
    return parts;
}

// The output folder through the system's eyes: links and ".." resolved in
// the part that exists; the rest, which the command creates (".." there
// taking away the folder before it), in `p.missingFolders`.
void resolveOutput(Plan& p, const std::string& given) {
    std::string existing = FileUtils::toAbsolutePath(given);
    std::string rest;
    while (FileSystem::kindOf(existing) == Kind::Missing
           && !FileSystem::isLink(existing) && existing != "/") {
        rest = combinePath(FileUtils::basename(existing), rest);
        existing = dirname(existing);
        if (existing.empty()) {
            existing = "/";
        }
    }
    const Kind kind = FileSystem::kindOf(existing);
    if (kind == Kind::File || (kind != Kind::Directory && rest.empty())) {
        fail(tstrings::any() << "The output \"" << existing << "\" is "
             << (kind == Kind::File ? "a file" : "not a folder")
             << ": name a folder, or one to create, with --output");
    }
    if (kind != Kind::Directory) {
        fail(tstrings::any() << "\"" << existing << "\" cannot hold the "
             "output folder \"" << given << "\": it is not a folder");
    }
    p.outputDir = FileSystem::realPath(existing);
    for (const std::string& part : pathComponents(normalizePath(rest))) {
        p.outputDir = combinePath(p.outputDir, part);
        p.missingFolders.push_back(p.outputDir);
    }
    if (p.missingFolders.empty()) {
        const std::string dir = p.outputDir;
        p.outputLock = std::make_shared<FileSystem::FolderLock>(dir, [dir]() {
            Progress::step("waiting for another assembly into \"" + dir
                           + "\" to end");
        });
    }
    // The runtime finds its own files through path lists, which ':'
    // separates: it cannot start from such a folder.
    if (p.outputDir.find(':') != std::string::npos) {
        fail(tstrings::any() << "The output folder \"" << p.outputDir
             << "\" has a ':' in its path, from which the runtime cannot "
                "start: choose an output folder without one");
    }
}

void checkOutput(const Plan& p, bool replace) {
    if (!p.missingFolders.empty()) {
        return;
    }
    CommitPlan plan;
    plan.outputDir = p.outputDir;
    plan.root = p.layout.rootName;
    plan.stamp = p.layout.stamp;
    if (!p.entitlementsName.empty()) {
        plan.beside.push_back(p.entitlementsName);
    }
    plan.replace = replace;
    checkDestinations(Workspace::system(), plan);
}

OutputPlace outputPlace(const Plan& p) {
    return OutputPlace{p.outputDir, p.layout.rootName};
}

// Content or a runtime that holds the output folder, or that lies in the
// output, would copy earlier outputs into each new one.
void checkOutputOutside(const Plan& p, const std::string& source,
                        const char* key) {
    const Kind kind = FileSystem::kindOf(source);
    if (kind != Kind::Directory && kind != Kind::File) {
        return;
    }
    const std::string real = FileSystem::realPath(source);
    if (insideOutput(outputPlace(p), real)) {
        fail(tstrings::any() << "\"" << source << "\" (" << key << ") lies "
             "inside the output \"" << p.root << "\": an earlier output is "
             "not copied into the new one");
    }
    std::string below;
    if (kind == Kind::Directory && pathBelow(real, p.outputDir, below)) {
        fail(tstrings::any() << "The output folder \"" << p.outputDir
             << "\" lies inside \"" << source << "\" (" << key << "), "
             "which would then be copied into itself: choose an output "
             "folder outside it");
    }
}

std::string defaultLauncher(Target target) {
    const std::string name = target == Target::Bundle ? "applauncher"
                                                      : "applauncher-linux";
    const std::string dir = dirname(SysInfo::getProcessModulePath());
    const std::string installed =
            combinePath(dirname(dir), "libexec/applauncher/" + name);
    const std::string built = combinePath(dir, name);
    for (const std::string& candidate : {installed, built}) {
        if (FileSystem::kindOf(candidate) == Kind::File) {
            return candidate;
        }
    }
    fail(tstrings::any() << "No " << name << " beside applauncher-assemble ("
         << installed << " or " << built << "): name the launcher with "
         "--launcher");
}

void readLauncher(Plan& p, const std::string& given, Target target) {
    p.launcher = given.empty() ? defaultLauncher(target)
                               : FileUtils::toAbsolutePath(given);
    if (FileSystem::kindOf(p.launcher) != Kind::File) {
        fail(tstrings::any() << "The launcher \"" << p.launcher
             << "\" is not a file");
    }
    p.launcherInfo = readExecutableHeader(
            FileSystem::readHead(p.launcher, executableHeaderSize));
    if (p.launcherInfo.format == BinaryFormat::Unknown) {
        fail(tstrings::any() << "The launcher \"" << p.launcher
             << "\" is neither a Mach-O nor an ELF executable");
    }
    if (target == Target::Image && p.launcherInfo.format != BinaryFormat::Elf) {
        fail(tstrings::any() << "The launcher \"" << p.launcher << "\" is "
             << formatName(p.launcherInfo.format) << "; an image needs the "
             "Linux launcher (ELF)");
    }
    checkLauncherMark(markedLayout(FileSystem::readFile(p.launcher)),
                      p.launcher, target);
}

RuntimeRelease readRelease(const std::string& home,
                           const std::string& named) {
    const std::string path = combinePath(home, "release");
    if (FileSystem::kindOf(path) != Kind::File) {
        fail(tstrings::any() << "The runtime \"" << named << "\" has no "
             "release file: it is not a Java home");
    }
    return parseRelease(FileSystem::readFile(path));
}

// The launcher library of a runtime home as the launcher looks for it,
// relative to the home; empty when there is none.
std::string jliOf(const std::string& home, BinaryFormat format) {
    const std::string suffix = format == BinaryFormat::MachO ? ".dylib" : ".so";
    for (const char* dir : AppLayout::libraryDirs) {
        const std::string lib = std::string(dir) + "/libjli" + suffix;
        if (FileSystem::kindOf(combinePath(home, lib)) == Kind::File) {
            return lib;
        }
    }
    return std::string();
}

// The launcher library's header; throws when the runtime has none where
// the launcher looks.
ExecutableInfo checkJli(const std::string& home, const std::string& named,
                        BinaryFormat format) {
    const std::string jli = jliOf(home, format);
    if (jli.empty()) {
        const char* suffix = format == BinaryFormat::MachO ? ".dylib" : ".so";
        fail(tstrings::any() << "The runtime \"" << named << "\" has no "
             "lib/libjli" << suffix << " or lib/jli/libjli" << suffix
             << ", which the launcher loads");
    }
    return readExecutableHeader(FileSystem::readHead(combinePath(home, jli),
                                                     executableHeaderSize));
}

void planCopiedRuntime(Plan& p) {
    const std::string& runtime = p.d.runtime;
    if (FileSystem::kindOf(runtime) != Kind::Directory) {
        fail(tstrings::any() << "The runtime \"" << runtime
             << "\" (bundle.runtime) is not a folder");
    }
    checkOutputOutside(p, runtime, "bundle.runtime");
    const std::string macHome = combinePath(runtime, "Contents/Home");
    const bool macBundle = FileSystem::kindOf(macHome) == Kind::Directory;
    p.runtimeHome = macBundle ? macHome : runtime;
    p.release = readRelease(p.runtimeHome, runtime);
    if (!p.release.osName.empty() && !p.release.architectures.empty()) {
        checkRuntimeFits(p.release, runtime, p.launcherInfo, p.launcher);
    }
    const BinaryFormat wanted = p.launcherInfo.format;
    completeFromLibrary(p.release, checkJli(p.runtimeHome, runtime, wanted));
    checkRuntimeFits(p.release, runtime, p.launcherInfo, p.launcher);
    if (macBundle && p.layout.target == Target::Bundle) {
        planTree(systemTree(), runtime, p.layout.runtimeDir,
                 OutsideLinks::CopyExistingTarget, outputPlace(p),
                 p.runtimeTree);
    } else {
        planTree(systemTree(), p.runtimeHome, p.layout.runtimeHome,
                 OutsideLinks::CopyExistingTarget, outputPlace(p),
                 p.runtimeTree);
    }
}

std::string defaultJdk() {
    const std::string javaHome =
            SysInfo::getEnvVariable(std::nothrow, "JAVA_HOME", "");
    if (!javaHome.empty()) {
        return javaHome;
    }
    const std::string java = Process::findOnPath("java");
    if (java.empty()) {
        fail("No JDK to link the runtime with: set bundle.jdk or JAVA_HOME, "
             "or put java on PATH");
    }
    return dirname(dirname(FileSystem::realPath(java)));
}

void planLinkedRuntime(Plan& p) {
    p.jdk = p.d.jdk.empty() ? defaultJdk() : p.d.jdk;
    // A macOS *.jdk folder holds its Java home in Contents/Home.
    const std::string macHome = combinePath(p.jdk, "Contents/Home");
    if (FileSystem::kindOf(combinePath(p.jdk, "bin/jlink")) == Kind::Missing
            && FileSystem::kindOf(macHome) == Kind::Directory) {
        p.jdk = macHome;
    }
    if (FileSystem::kindOf(combinePath(p.jdk, "bin/jlink")) != Kind::File) {
        fail(tstrings::any() << "The JDK \"" << p.jdk << "\" has no bin/jlink "
             "to link the runtime with");
    }
    p.release = readRelease(p.jdk, p.jdk);
    const std::string jli = jliOf(p.jdk, BinaryFormat::Elf).empty()
            ? jliOf(p.jdk, BinaryFormat::MachO) : jliOf(p.jdk, BinaryFormat::Elf);
    if (!jli.empty()) {
        completeFromLibrary(p.release, readExecutableHeader(FileSystem::readHead(
                combinePath(p.jdk, jli), executableHeaderSize)));
    }
    checkRuntimeFits(p.release, p.jdk, p.launcherInfo, p.launcher);
    p.release.modules = p.d.modules;
}

// The folders of a content line's destination, made before its item is
// copied in, with the mode 0755 and the time of the item.
void planFolders(Plan& p, const std::string& item, const std::string& dest) {
    const TreeSource::Info info = systemTree().follow(item);
    std::string folder;
    for (const std::string& part : pathComponents(dest)) {
        folder = combinePath(folder, part);
        TreeEntry entry;
        entry.kind = TreeEntry::Directory;
        entry.source = item;
        entry.dest = combinePath(p.layout.appDir, folder);
        entry.mode = 0755;
        entry.mtimeSeconds = info.mtimeSeconds;
        entry.mtimeNanoseconds = info.mtimeNanoseconds;
        p.contentTree.push_back(entry);
    }
}

// Every content line is planned in one go, so that what links in several
// lines reach is copied once.
void planContent(Plan& p) {
    std::vector<TreeItem> items;
    for (std::size_t i = 0; i < p.d.content.size(); ++i) {
        const std::string& item = p.d.content[i];
        const char* key = i < p.d.contentLines ? "bundle.content"
                                               : "bundle.content-into";
        if (FileSystem::kindOf(item) == Kind::Missing) {
            fail(tstrings::any() << "The content \"" << item
                 << "\" (" << key << ") does not exist");
        }
        const std::string why = FileSystem::whyUnreadable(item);
        if (!why.empty()) {
            fail(tstrings::any() << "The content \"" << item
                 << "\" (" << key << ") cannot be read: " << why);
        }
        checkOutputOutside(p, item, key);
        planFolders(p, item, p.d.contentDest[i]);
        items.push_back(TreeItem{item, combinePath(p.layout.appDir,
                                                   p.d.contentDest[i])});
    }
    planTrees(systemTree(), items, OutsideLinks::CopyTarget, outputPlace(p),
              p.contentTree);
}

// The content by destination; two items that would make the same file, or
// one that takes the place of the launcher's configuration, are errors.
ContentIndex indexContent(const Plan& p) {
    ContentIndex index;
    for (const TreeEntry& entry : p.contentTree) {
        if (entry.dest == p.layout.cfgFile
                || entry.dest == p.layout.packageFile) {
            fail(tstrings::any() << "The content \"" << entry.source
                 << "\" would take the place of the launcher's "
                 << FileUtils::basename(entry.dest));
        }
        const auto inserted = index.insert({entry.dest, &entry});
        const TreeEntry& other = *inserted.first->second;
        if (!inserted.second && (entry.kind != TreeEntry::Directory
                                 || other.kind != TreeEntry::Directory)) {
            fail(tstrings::any() << "\"" << other.source << "\" and \""
                 << entry.source << "\" would both be copied to "
                 << entry.dest);
        }
    }
    return index;
}

void checkRuntimeProperty(const Plan& p, const CfgFile& expanded) {
    const StringArray& values = expanded.values(SectionName::Application,
                                                PropertyName::runtime);
    const std::string bundled = combinePath(p.root, p.layout.runtimeDir);
    if (!values.empty() && normalizePath(values.back()) != bundled) {
        fail(tstrings::any() << "app.runtime names \"" << values.back()
             << "\", but the runtime is assembled into " << bundled
             << ": leave app.runtime out");
    }
}

// A main jar that the content does not hold: the error says which line
// would put it where app.mainjar looks.
void checkMainJarPlaced(const Plan& p, const CfgFile& expanded,
                        const ContentIndex& index) {
    const std::string jar =
            expanded.lastValue(SectionName::Application, PropertyName::mainjar);
    const std::string appDir = combinePath(p.root, p.layout.appDir);
    if (jar.empty()) {
        return;
    }
    if (!tstrings::startsWith(jar, appDir + "/")) {
        fail(tstrings::any() << "The main jar \"" << jar << "\" (app.mainjar) "
             "lies outside the application directory, which alone is "
             "assembled: name it as $APPDIR/" << FileUtils::basename(jar)
             << " and copy it there with the line \"bundle.content="
             << jar << "\"");
    }
    const std::string inApp = jar.substr(appDir.size() + 1);
    std::string notFolder;
    const std::string resolved = resolveInPlan(
            index, combinePath(p.layout.appDir, inApp), &notFolder);
    std::string below;
    if (!notFolder.empty() && pathBelow(p.layout.appDir, notFolder, below)) {
        fail(tstrings::any() << "The main jar \"" << jar << "\" (app.mainjar) "
             "cannot be reached: \"..\" follows \"$APPDIR/" << below
             << "\", which is not a folder of the content");
    }
    if (index.count(resolved) != 0 || resolved.empty()) {
        return;
    }
    if (!pathBelow(p.layout.appDir, resolved, below)) {
        return;
    }
    fail(tstrings::any() << "The main jar \"" << jar << "\" (app.mainjar) "
         "is not among the content copied into the application directory: "
         "copy it there with the line \"" << contentLineFor(below,
                 "<path of " + FileUtils::basename(below) + ">") << "\"");
}

void checkApplicationOf(Plan& p) {
    const ContentIndex index = indexContent(p);
    const CfgFile expanded =
            p.d.config.expandMacros(layoutMacros(p.layout, p.root));
    checkRuntimeProperty(p, expanded);
    checkMainJarPlaced(p, expanded, index);
    const AppFacts facts =
            checkApplication(expanded, p.root, index, p.release.modules);
    p.notes = facts.notes;
    const std::string noArchive = ClassDataArchive::whyNeverArchived(
            expanded, p.release.javaVersion);
    if (!noArchive.empty()) {
        p.notes.push_back("app.cds=auto cannot take effect: " + noArchive);
    }
    p.wmClass = !p.d.wmClass.empty() ? p.d.wmClass
            : !facts.mainClass.empty()
                    ? tstrings::replace(facts.mainClass, ".", "-")
                    : p.d.name;
}

void readIcons(Plan& p) {
    std::vector<IconImage> icons;
    for (const std::string& path : p.d.icons) {
        if (FileSystem::kindOf(path) != Kind::File) {
            fail(tstrings::any() << "The icon \"" << path
                 << "\" (bundle.icon) is not a file");
        }
        icons.push_back(readPngIcon(FileSystem::readFile(path), path));
    }
    if (icons.empty()) {
        return;
    }
    const bool bundle = p.layout.target == Target::Bundle;
    if (bundle) {
        p.icns = icnsFromIcons(icons);
    } else {
        p.icons = imageIcons(icons);
    }
    for (const IconImage& icon : icons) {
        if (bundle ? !isIcnsSize(icon.side) : !isHicolorSize(icon.side)) {
            const std::string side = std::to_string(icon.side);
            Progress::note("the icon \"" + icon.path + "\" (" + side + "x"
                           + side + " pixels) is left out: " + (bundle
                                   ? "an icns file has no entry of that size"
                                   : "the hicolor icon theme has no folder "
                                     "of that size"));
        }
    }
}

// An image's desktop entry is named after the identifier when there is one,
// which must then be a D-Bus name, as desktop file names are.
void planDesktopEntry(Plan& p) {
    if (p.layout.target != Target::Image || p.d.identifier.empty()) {
        return;
    }
    if (!isDbusName(p.d.identifier)) {
        fail(tstrings::any() << "Invalid value \"" << p.d.identifier
             << "\" of bundle.identifier in \"" << p.d.file << "\": it names "
                "the desktop entry, and no part of it may start with a digit");
    }
    p.layout.desktopEntry = "lib/" + p.d.identifier + ".desktop";
}

// Every path the assembly makes below the output folder, the build folder
// included, within the system's limits.
void checkLimits(const Plan& p) {
    const std::string build = "." + p.layout.rootName + ".assemble-XXXXXX";
    const std::string root = combinePath(build, p.layout.rootName);
    const Layout& l = p.layout;
    StringArray paths{combinePath(build, ".replaced-" + l.rootName)};
    for (const std::string* file : {&l.executable, &l.cfgFile, &l.packageFile,
                                    &l.runtimeHome, &l.stamp, &l.infoPlist,
                                    &l.pkgInfo, &l.icon, &l.desktopEntry}) {
        paths.push_back(combinePath(root, *file));
    }
    if (!p.entitlementsName.empty()) {
        paths.push_back(combinePath(build, p.entitlementsName));
        paths.push_back(combinePath(build, ".replaced-" + p.entitlementsName));
    }
    for (const TreePlan* tree : {&p.runtimeTree, &p.contentTree}) {
        for (const TreeEntry& entry : *tree) {
            paths.push_back(combinePath(root, entry.dest));
        }
    }
    const std::string existing = p.missingFolders.empty()
            ? p.outputDir : dirname(p.missingFolders.front());
    PathLimits limits;
    limits.nameMax = FileSystem::nameMax(existing);
    limits.pathMax = FileSystem::pathMax(existing);
    checkPathLimits(p.d.name, p.outputDir, paths, limits);
}

Plan check(const AssembleOptions& options, const Description& d) {
    Plan p;
    p.d = d;
    if (options.target == Target::Bundle && p.d.identifier.empty()) {
        fail(tstrings::any() << "The description \"" << p.d.file
             << "\" has no bundle.identifier, which a bundle needs");
    }
    p.layout = layoutOf(options.target, p.d.name);
    resolveOutput(p, options.output);
    p.root = combinePath(p.outputDir, p.layout.rootName);
    planDesktopEntry(p);
    if (options.target == Target::Bundle) {
        p.entitlementsName = p.d.name + ".entitlements";
        p.entitlementsText = entitlements(p.d.usages);
    }
    checkOutput(p, options.replace);
    readLauncher(p, options.launcher, options.target);
    if (!options.sign.empty() && p.launcherInfo.format != BinaryFormat::MachO) {
        fail(tstrings::any() << "--sign needs a macOS launcher (Mach-O); \""
             << p.launcher << "\" is " << formatName(p.launcherInfo.format));
    }
    if (p.d.runtime.empty()) {
        planLinkedRuntime(p);
    } else {
        planCopiedRuntime(p);
    }
    p.architectures = commonArchitectures(p.launcherInfo, p.release);
    planContent(p);
    checkLimits(p);
    checkApplicationOf(p);
    readIcons(p);
    p.packages = planPackages(p.d, p.layout, p.outputDir, p.architectures,
                              options);
    StringArray names;
    for (const TreePlan* tree : {&p.runtimeTree, &p.contentTree}) {
        for (const TreeEntry& entry : *tree) {
            names.push_back(entry.dest);
        }
    }
    checkPackagedNames(p.packages, names);
    return p;
}

// --- Writing, in the workspace ---

// jlink's options besides --output and the probed plugins.
StringArray jlinkOptions(const Plan& p) {
    StringArray args{"--add-modules",
                     tstrings::join(p.d.modules.begin(), p.d.modules.end(), ","),
                     "--strip-debug", "--no-header-files", "--no-man-pages"};
    const std::string jmods = combinePath(p.jdk, "jmods");
    if (FileSystem::kindOf(jmods) == Kind::Directory) {
        args.insert(args.end(), {"--module-path", jmods});
    }
    return args;
}

void linkRuntime(const Plan& p, const std::string& home) {
    Progress::step("linking the runtime with jlink");
    const std::string jlink = combinePath(p.jdk, "bin/jlink");
    const Process::Outcome plugins = Process::run(jlink, {"--list-plugins"});
    StringArray args = jlinkOptions(p);
    args.insert(args.end(), {"--output", home});
    if (plugins.output.find("--generate-cds-archive") != std::string::npos) {
        args.push_back("--generate-cds-archive");
    }
    const Process::Outcome outcome = Process::run(jlink, args);
    if (outcome.status != 0) {
        fail(tstrings::any() << "jlink failed (exit status " << outcome.status
             << "): " << printable(jlinkErrorLine(outcome.output)));
    }
    checkJli(home, home, p.launcherInfo.format);
}

// What the linked runtime depends on: the JDK's release file, its jlink and
// its modules (the run-time image or the jmods), the modules and options.
RuntimeKey runtimeKeyOf(const Plan& p) {
    RuntimeKey key;
    key.release = FileSystem::readFile(combinePath(p.jdk, "release"));
    const std::string jmods = combinePath(p.jdk, "jmods");
    key.identities.push_back(
            RuntimeCache::identityOf(combinePath(p.jdk, "bin/jlink")));
    key.identities.push_back(
            RuntimeCache::identityOf(combinePath(p.jdk, "lib/modules")));
    if (FileSystem::kindOf(jmods) == Kind::Directory) {
        for (const std::string& name : FileSystem::list(jmods)) {
            key.identities.push_back(name + " " + RuntimeCache::identityOf(
                    combinePath(jmods, name)));
        }
    }
    key.modules = p.d.modules;
    key.options = jlinkOptions(p);
    return key;
}

void copyRuntimeHome(const Plan& p, const std::string& from,
                     const std::string& root) {
    TreePlan plan;
    planTree(systemTree(), from, p.layout.runtimeHome,
             OutsideLinks::CopyExistingTarget, outputPlace(p), plan);
    FileSystem::makeDirs(combinePath(root, p.layout.runtimeHome));
    copyTree(plan, root);
}

// A linked runtime comes out of the per-user cache when it holds one for
// the same JDK, modules and options; else jlink makes it into the cache.
void writeLinkedRuntime(const Plan& p, const std::string& root,
                        const AssembleOptions& options) {
    const std::string home = combinePath(root, p.layout.runtimeHome);
    FileSystem::makeDirs(dirname(home));
    const std::string cacheBase = AssembleHost::userCacheDir();
    if (!options.runtimeCache || cacheBase.empty()) {
        if (options.runtimeCache) {
            Progress::note("no home folder to keep the linked runtime in "
                           "(HOME is not set): jlink runs every time");
        }
        linkRuntime(p, home);
        return;
    }
    const std::string cacheDir = combinePath(cacheBase, "applauncher/runtimes");
    std::unique_ptr<RuntimeCache> opened;
    try {
        opened.reset(new RuntimeCache(cacheDir));
    } catch (const VtErrorBase& e) {
        Interrupts::check();
        Progress::note(std::string("the runtime cache cannot be used (")
                       + e.rawMessage() + "): jlink runs without it");
        linkRuntime(p, home);
        return;
    }
    RuntimeCache& cache = *opened;
    const std::string cached = cache.runtime(
            runtimeKeyText(runtimeKeyOf(p)),
            [&](const std::string& to) { linkRuntime(p, to); }, home);
    if (cached != home) {
        Progress::step("copying the runtime");
        copyRuntimeHome(p, cached, root);
    }
}

// The launcher built for Linux that runs the macOS code path looks for
// libjli.dylib: it gets a link to the runtime's libjli.so.
void linkDylib(const Plan& p, const std::string& home) {
    if (p.layout.target != Target::Bundle
            || p.launcherInfo.format != BinaryFormat::Elf) {
        return;
    }
    const std::string so = jliOf(home, BinaryFormat::Elf);
    const std::string dylib = dirname(so) + "/libjli.dylib";
    if (FileSystem::kindOf(combinePath(home, dylib)) == Kind::Missing) {
        FileSystem::makeLink("libjli.so", combinePath(home, dylib));
    }
}

void writeRuntime(const Plan& p, const std::string& root,
                  const AssembleOptions& options) {
    const std::string home = combinePath(root, p.layout.runtimeHome);
    if (p.jdk.empty()) {
        Progress::step("copying the runtime");
        FileSystem::makeDirs(home);
        copyTree(p.runtimeTree, root);
    } else {
        writeLinkedRuntime(p, root, options);
    }
    linkDylib(p, home);
}

void writeBundleFiles(const Plan& p, const std::string& root,
                      const std::string& workspace) {
    using FileSystem::writeFile;
    writeFile(combinePath(root, p.layout.infoPlist),
              infoPlist(p.d, p.architectures, p.launcherInfo.architectures,
                        !p.icns.empty()));
    writeFile(combinePath(root, p.layout.pkgInfo), "APPL????");
    FileSystem::makeDirs(combinePath(root, "Contents/Resources"));
    if (!p.icns.empty()) {
        writeFile(combinePath(root, p.layout.icon), p.icns);
    }
    writeFile(combinePath(workspace, p.entitlementsName), p.entitlementsText);
}

// The image's icons: each in the icon theme's folder of its size, ready
// for a package or xdg-icon-resource, and the largest beside the entry,
// whose Icon= names it by its installed path.
void writeImageFiles(const Plan& p, const std::string& root) {
    FileSystem::writeFile(combinePath(root, p.layout.desktopEntry),
                          desktopEntry(p.d, p.wmClass, !p.icons.empty()));
    if (p.icons.empty()) {
        return;
    }
    FileSystem::writeFile(combinePath(root, p.layout.icon), p.icons.back().png);
    const std::string iconName = FileUtils::basename(p.layout.desktopEntry);
    for (const IconImage& icon : p.icons) {
        const std::string side = std::to_string(icon.side);
        const std::string dir = combinePath(
                root, "share/icons/hicolor/" + side + "x" + side + "/apps");
        FileSystem::makeDirs(dir);
        FileSystem::writeFile(combinePath(dir, iconName.substr(
                0, iconName.size() - std::strlen(".desktop")) + ".png"),
                icon.png);
    }
}

void collectMachO(const std::string& dir, StringArray& files) {
    for (const std::string& name : FileSystem::list(dir)) {
        const std::string path = combinePath(dir, name);
        if (FileSystem::isLink(path)) {
            continue;
        }
        const Kind kind = FileSystem::kindOf(path);
        if (kind == Kind::Directory) {
            collectMachO(path, files);
        } else if (kind == Kind::File
                   && readExecutableHeader(FileSystem::readHead(
                              path, executableHeaderSize)).format
                           == BinaryFormat::MachO) {
            files.push_back(path);
        }
    }
}

void sign(const Plan& p, const std::string& identity, const std::string& root,
          const std::string& workspace) {
    SigningPlan plan;
    plan.identity = identity;
    collectMachO(combinePath(root, p.layout.runtimeDir), plan.machOFiles);
    collectMachO(combinePath(root, p.layout.appDir), plan.machOFiles);
    const std::string runtimePlist =
            combinePath(root, p.layout.runtimeDir + "/Contents/Info.plist");
    if (FileSystem::kindOf(runtimePlist) == Kind::File) {
        plan.runtimeBundle = combinePath(root, p.layout.runtimeDir);
    }
    plan.launcher = combinePath(root, p.layout.executable);
    plan.bundle = root;
    plan.entitlements = combinePath(workspace, p.entitlementsName);
    const std::string codesign = Process::findOnPath("codesign");
    for (const StringArray& args : signingCommands(plan)) {
        const Process::Outcome outcome = Process::run(codesign, args);
        if (outcome.status != 0) {
            fail(tstrings::any() << "codesign " << args.front() << " "
                 << args.back() << " failed (exit status " << outcome.status
                 << "): " << Process::lastLine(outcome.output));
        }
    }
}

// The start check on the output in the workspace, at `root`, where its
// configuration expands as it will in place.
void checkStart(const Plan& p, const std::string& root) {
    const std::string java =
            combinePath(combinePath(root, p.layout.runtimeHome), "bin/java");
    if (!StartCheck::canRun(StartCheck::host(), p.launcherInfo, p.release)) {
        return;
    }
    if (FileSystem::kindOf(java) != Kind::File) {
        Progress::note("the start was not checked: the runtime has no "
                       "bin/java to ask (linked with --strip-native-commands?)");
        return;
    }
    Progress::step("starting the runtime for the start check");
    const CfgFile cfgFile = CfgFile::load(combinePath(root, p.layout.cfgFile))
            .expandMacros(layoutMacros(p.layout, root));
    const AppLayout::Paths& paths = p.layout.target == Target::Bundle
            ? AppLayout::bundle : AppLayout::image;
    StartCheck::run(java, StartCheck::arguments(
                            cfgFile, combinePath(root, p.layout.executable)),
                    paths.libEnvVariable, combinePath(root, p.layout.appDir),
                    root, p.root);
}

// The output folders the command creates; removed again, innermost first,
// unless the assembly succeeds.
class CreatedFolders {
public:
    explicit CreatedFolders(const StringArray& folders) {
        for (const std::string& folder : folders) {
            FileSystem::makeDirs(folder);
            made.push_back(folder);
        }
    }
    ~CreatedFolders() {
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            FileSystem::removeEmptyFolder(*it);
        }
    }
    CreatedFolders(const CreatedFolders&) = delete;
    CreatedFolders& operator=(const CreatedFolders&) = delete;

    void keep() { made.clear(); }

private:
    StringArray made;
};

// Rewrites the stamp at `stamp` (`text` so far) with the records of the
// packages made and kept, before the commit's sync. A signed bundle's stamp
// is sealed by its signature: it stays as signed, and records none.
void rewriteStamp(const Plan& p, const AssembleOptions& options,
                  const StringArray& made, const std::string& stamp,
                  const std::string& text, const std::string& workspace) {
    if (!options.sign.empty()
            || (made.empty() && p.packages.keptPackages.empty())) {
        return;
    }
    const PackageRecords records = recordPackages(p.packages, made, workspace);
    if (std::remove(stamp.c_str()) != 0) {
        fail(tstrings::any() << "Cannot rewrite \"" << stamp << "\": "
             << lastCRTError());
    }
    FileSystem::writeFile(stamp, text + packageRecordLines(records));
}

void build(const Plan& p, const AssembleOptions& options,
           Workspace& workspace) {
    const std::string root = combinePath(workspace.path(), p.layout.rootName);
    FileSystem::makeDirs(combinePath(root, p.layout.appDir));
    FileSystem::makeDirs(combinePath(root, dirname(p.layout.executable)));
    FileSystem::makeDirs(combinePath(root, dirname(p.layout.stamp)));
    FileSystem::copyFile(p.launcher, combinePath(root, p.layout.executable),
                         0755);
    FileSystem::writeFile(combinePath(root, p.layout.cfgFile),
                          p.d.launcherConfig);
    if (!p.d.package.empty()) {
        FileSystem::writeFile(combinePath(root, p.layout.packageFile),
                              p.d.package + "\n");
    }
    copyTree(p.contentTree, root);
    writeRuntime(p, root, options);
    if (p.layout.target == Target::Bundle) {
        writeBundleFiles(p, root, workspace.path());
    } else {
        writeImageFiles(p, root);
    }
    if (options.startCheck) {
        checkStart(p, root);
    }
    BesideFiles beside;
    if (!p.entitlementsName.empty()) {
        beside.push_back({p.entitlementsName, p.entitlementsText});
    }
    // The packages hold the stamp without their own records.
    const std::string stamp = combinePath(root, p.layout.stamp);
    FileSystem::writeFile(stamp, stampText(beside));
    if (options.checkOnly) {
        return;
    }
    if (!options.sign.empty()) {
        Progress::step("signing the bundle");
        sign(p, options.sign, root, workspace.path());
    }
    const StringArray packages = writePackages(p.packages, root,
                                               workspace.path());
    Interrupts::check();
    rewriteStamp(p, options, packages, stamp, stampText(beside),
                 workspace.path());
    StringArray besideNames;
    if (!p.entitlementsName.empty()) {
        besideNames.push_back(p.entitlementsName);
    }
    besideNames.insert(besideNames.end(), packages.begin(), packages.end());
    workspace.commit(p.layout.rootName, p.layout.stamp, besideNames,
                     options.replace);
}

void write(const Plan& p, const AssembleOptions& options) {
    CreatedFolders created(p.missingFolders);
    std::unique_ptr<Workspace> workspace;
    try {
        workspace.reset(new Workspace(p.outputDir, p.layout.rootName));
        build(p, options, *workspace);
    } catch (const VtErrorBase& e) {
        const std::string message = e.rawMessage();
        if (!workspace || workspace->kept()) {
            throw;
        }
        fail(withoutBuildFolder(message, workspace->path(),
                                p.layout.rootName));
    }
    // A check leaves no folder it made behind either.
    if (!options.checkOnly) {
        created.keep();
    }
}

} // namespace

void assemble(const AssembleOptions& options, const Description& d) {
    const Plan plan = check(options, d);
    Interrupts::check();
    write(plan, options);
    for (const std::string& line : plan.notes) {
        Progress::note(line);
    }
    if (!options.sign.empty() && !options.checkOnly
            && (!plan.packages.files.empty()
                || !plan.packages.keptPackages.empty())) {
        Progress::note("the signed bundle's stamp cannot record the packages "
                       "made after it was signed: --replace leaves them alone");
    }
}
