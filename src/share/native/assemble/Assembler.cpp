#include "Assembler.h"

#include <map>
#include <memory>

#include "AppChecks.h"
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
#include "Process.h"
#include "RuntimeRelease.h"
#include "Signing.h"
#include "SysInfo.h"
#include "Workspace.h"

const char* const assembleStamp = "applauncher-assemble";

namespace {

using FileUtils::combinePath;
using FileUtils::dirname;
typedef FileSystem::Kind Kind;

// Everything the checks found out, which the writing then uses.
struct Plan {
    Description d;
    Layout layout;
    std::string outputDir;
    std::string root;
    std::string entitlementsName;
    std::string launcher;
    ExecutableInfo launcherInfo;
    RuntimeRelease release;
    /// A copied runtime: its Java home and the plan of its copy.
    std::string runtimeHome;
    TreePlan runtimeTree;
    /// A linked runtime: the JDK.
    std::string jdk;
    TreePlan contentTree;
    std::string iconData;
    std::string wmClass;
    StringArray architectures;
    PackagePlan packages;
};

[[noreturn]] void fail(const tstrings::any& message) {
    VT_THROW(message);
}

bool isStamped(const std::string& root, const Layout& layout) {
    const std::string stamp = combinePath(root, layout.stamp);
    return FileSystem::kindOf(stamp) == Kind::File && !FileSystem::isLink(stamp)
            && tstrings::startsWith(FileSystem::readHead(stamp, 64),
                                    assembleStamp);
}

void checkOutput(const Plan& p, bool replace) {
    if (FileSystem::kindOf(p.outputDir) != Kind::Directory) {
        fail(tstrings::any() << "The output folder \"" << p.outputDir
             << "\" does not exist: create it, or name another with --output");
    }
    const bool exists = FileSystem::isLink(p.root)
            || FileSystem::kindOf(p.root) != Kind::Missing;
    if (exists && !replace) {
        fail(tstrings::any() << "\"" << p.root << "\" exists: remove it, or "
             "give --replace to replace an earlier output of this command");
    }
    if (exists && (FileSystem::isLink(p.root) || !isStamped(p.root, p.layout))) {
        fail(tstrings::any() << "\"" << p.root << "\" exists and was not "
             "made by applauncher-assemble: it is left alone");
    }
    if (p.entitlementsName.empty()) {
        return;
    }
    const std::string path = combinePath(p.outputDir, p.entitlementsName);
    const Kind kind = FileSystem::kindOf(path);
    if ((kind != Kind::Missing || FileSystem::isLink(path)) && !replace) {
        fail(tstrings::any() << "\"" << path << "\" exists: remove it, or "
             "give --replace to replace an earlier output of this command");
    }
    if (kind != Kind::Missing && (kind != Kind::File || FileSystem::isLink(path))) {
        fail(tstrings::any() << "\"" << path << "\" exists and is not a "
             "file: it is left alone");
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
    for (const char* dir : {"lib", "lib/jli"}) {
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
        planTree(runtime, p.layout.runtimeDir, OutsideLinks::CopyTarget,
                 p.runtimeTree);
    } else {
        planTree(p.runtimeHome, p.layout.runtimeHome, OutsideLinks::CopyTarget,
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

void planContent(Plan& p) {
    for (const std::string& item : p.d.content) {
        if (FileSystem::kindOf(item) == Kind::Missing) {
            fail(tstrings::any() << "The content \"" << item
                 << "\" (bundle.content) does not exist");
        }
        planTree(item, p.layout.appDir, OutsideLinks::Refuse, p.contentTree);
    }
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

void checkApplicationOf(Plan& p) {
    const ContentIndex index = indexContent(p);
    const CfgFile expanded =
            p.d.config.expandMacros(layoutMacros(p.layout, p.root));
    checkRuntimeProperty(p, expanded);
    const AppFacts facts =
            checkApplication(expanded, p.root, index, p.release.modules);
    p.wmClass = !p.d.wmClass.empty() ? p.d.wmClass
            : !facts.mainClass.empty()
                    ? tstrings::replace(facts.mainClass, ".", "-")
                    : p.d.name;
}

void readIcon(Plan& p) {
    if (p.d.icon.empty()) {
        return;
    }
    if (FileSystem::kindOf(p.d.icon) != Kind::File) {
        fail(tstrings::any() << "The icon \"" << p.d.icon
             << "\" (bundle.icon) is not a file");
    }
    const std::string png = FileSystem::readFile(p.d.icon);
    const std::string icns = icnsFromPng(png, p.d.icon);
    p.iconData = p.layout.target == Target::Bundle ? icns : png;
}

Plan check(const AssembleOptions& options) {
    Plan p;
    p.d = readDescription(options.description);
    if (options.target == Target::Bundle && p.d.identifier.empty()) {
        fail(tstrings::any() << "The description \"" << p.d.file
             << "\" has no bundle.identifier, which a bundle needs");
    }
    p.layout = layoutOf(options.target, p.d.name);
    p.outputDir = normalizePath(FileUtils::toAbsolutePath(options.output));
    p.root = combinePath(p.outputDir, p.layout.rootName);
    if (options.target == Target::Bundle) {
        p.entitlementsName = p.d.name + ".entitlements";
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
    checkApplicationOf(p);
    readIcon(p);
    p.packages = planPackages(p.d, p.layout, p.outputDir, p.architectures,
                              options);
    return p;
}

// --- Writing, in the workspace ---

void linkRuntime(const Plan& p, const std::string& home) {
    const std::string jlink = combinePath(p.jdk, "bin/jlink");
    const Process::Outcome plugins = Process::run(jlink, {"--list-plugins"});
    StringArray args{"--add-modules",
                     tstrings::join(p.d.modules.begin(), p.d.modules.end(), ","),
                     "--output", home, "--strip-debug", "--no-header-files",
                     "--no-man-pages"};
    if (plugins.output.find("--generate-cds-archive") != std::string::npos) {
        args.push_back("--generate-cds-archive");
    }
    const std::string jmods = combinePath(p.jdk, "jmods");
    if (FileSystem::kindOf(jmods) == Kind::Directory) {
        args.insert(args.end(), {"--module-path", jmods});
    }
    const Process::Outcome outcome = Process::run(jlink, args);
    if (outcome.status != 0) {
        fail(tstrings::any() << "jlink failed (exit status " << outcome.status
             << "): " << Process::lastLine(outcome.output));
    }
    checkJli(home, home, p.launcherInfo.format);
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

void writeRuntime(const Plan& p, const std::string& root) {
    const std::string home = combinePath(root, p.layout.runtimeHome);
    if (p.jdk.empty()) {
        FileSystem::makeDirs(home);
        copyTree(p.runtimeTree, root);
    } else {
        FileSystem::makeDirs(dirname(home));
        linkRuntime(p, home);
    }
    linkDylib(p, home);
}

void writeBundleFiles(const Plan& p, const std::string& root,
                      const std::string& workspace) {
    using FileSystem::writeFile;
    writeFile(combinePath(root, p.layout.infoPlist),
              infoPlist(p.d, p.architectures, p.launcherInfo.architectures,
                        !p.iconData.empty()));
    writeFile(combinePath(root, p.layout.pkgInfo), "APPL????");
    FileSystem::makeDirs(combinePath(root, "Contents/Resources"));
    if (!p.iconData.empty()) {
        writeFile(combinePath(root, p.layout.icon), p.iconData);
    }
    writeFile(combinePath(workspace, p.entitlementsName),
              entitlements(p.d.usages));
}

void writeImageFiles(const Plan& p, const std::string& root) {
    FileSystem::writeFile(combinePath(root, p.layout.desktopEntry),
                          desktopEntry(p.d, p.wmClass, !p.iconData.empty()));
    if (!p.iconData.empty()) {
        FileSystem::writeFile(combinePath(root, p.layout.icon), p.iconData);
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

void write(const Plan& p, const AssembleOptions& options) {
    Workspace workspace(p.outputDir, p.layout.rootName);
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
    writeRuntime(p, root);
    if (p.layout.target == Target::Bundle) {
        writeBundleFiles(p, root, workspace.path());
    } else {
        writeImageFiles(p, root);
    }
    FileSystem::writeFile(combinePath(root, p.layout.stamp),
                          std::string(assembleStamp) + "\n"
                                  + packageStampLines(p.packages));
    if (!options.sign.empty()) {
        sign(p, options.sign, root, workspace.path());
    }
    const StringArray packages = writePackages(p.packages, root,
                                               workspace.path());
    Interrupts::check();
    StringArray results{p.layout.rootName};
    results.insert(results.end(), packages.begin(), packages.end());
    if (!p.entitlementsName.empty()) {
        results.push_back(p.entitlementsName);
    }
    workspace.commit(results, options.replace);
}

} // namespace

void assemble(const AssembleOptions& options) {
    const Plan plan = check(options);
    Interrupts::check();
    write(plan, options);
}
