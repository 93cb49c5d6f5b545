#include "MacPackages.h"

#include <algorithm>
#include <cstdio>

#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "PackageArchive.h"
#include "Packages.h"
#include "Process.h"

namespace {

using FileUtils::combinePath;

[[noreturn]] void fail(const tstrings::any& message) {
    VT_THROW(message);
}

bool has(const PackagePlan& plan, PackageFormat format) {
    return std::find(plan.info.formats.begin(), plan.info.formats.end(),
                     format) != plan.info.formats.end();
}

void run(const ToolCommand& command, const std::string& what) {
    const Process::Outcome outcome =
            Process::run(Process::findOnPath(command.tool), command.args);
    if (outcome.status != 0) {
        fail(tstrings::any() << command.tool << " failed " << what
             << " (exit status " << outcome.status << "): "
             << Process::lastLine(outcome.output));
    }
}

void move(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        fail(tstrings::any() << "Cannot move \"" << from << "\" to \"" << to
             << "\": " << lastCRTError());
    }
}

// Submits `file` for notarisation and waits; throws with the log's first
// error unless it is accepted. Then staples the ticket to `staple`.
void notarize(const PackagePlan& plan, const std::string& file,
              const std::string& staple) {
    const std::string xcrun = Process::findOnPath("xcrun");
    const std::string name = FileUtils::basename(file);
    const Process::Outcome submitted = Process::run(xcrun, {
            "notarytool", "submit", file, "--keychain-profile", plan.notarize,
            "--wait", "--output-format", "json"});
    const std::string status = jsonString(submitted.output, "status");
    if (submitted.status != 0 || status != "Accepted") {
        const std::string id = jsonString(submitted.output, "id");
        std::string reason = Process::lastLine(submitted.output);
        if (!id.empty()) {
            const Process::Outcome log = Process::run(xcrun, {
                    "notarytool", "log", id, "--keychain-profile",
                    plan.notarize});
            reason = firstLogError(log.output);
        }
        fail(tstrings::any() << "Notarisation of " << name << " failed ("
             << (status.empty() ? "no status" : status) << "): " << reason);
    }
    run(ToolCommand{"xcrun", {"stapler", "staple", staple}},
        "to staple the ticket to " + FileUtils::basename(staple));
}

void writeDmg(const PackagePlan& plan, const std::string& root,
              const std::string& workspace, const std::string& path) {
    const std::string staging = combinePath(workspace, ".dmg");
    const std::string inside = combinePath(staging, plan.layout.rootName);
    FileSystem::makeDirs(staging);
    FileSystem::makeLink("/Applications", combinePath(staging, "Applications"));
    move(root, inside);
    try {
        for (const ToolCommand& command : dmgCommands(
                     plan.d.displayName, staging, path, plan.sign)) {
            run(command, "on " + FileUtils::basename(path));
        }
    } catch (...) {
        std::rename(inside.c_str(), root.c_str());
        throw;
    }
    move(inside, root);
}

} // namespace

StringArray macPackageTools(PackageFormat format) {
    if (format == PackageFormat::Dmg) {
        return StringArray{"hdiutil"};
    }
    if (format == PackageFormat::Pkg) {
        return StringArray{"pkgbuild", "productbuild"};
    }
    return StringArray();
}

void checkMacOptions(const PackagePlan& plan) {
    if (!plan.installerSign.empty() && !has(plan, PackageFormat::Pkg)) {
        fail("--installer-sign signs an installer package: add --package pkg");
    }
    if (plan.notarize.empty()) {
        return;
    }
    if (!has(plan, PackageFormat::Zip) && !has(plan, PackageFormat::Dmg)
            && !has(plan, PackageFormat::Pkg)) {
        fail("--notarize submits a package: add --package zip, dmg or pkg");
    }
    if (has(plan, PackageFormat::Pkg) && plan.installerSign.empty()) {
        fail("--notarize with a pkg needs --installer-sign: only a signed "
             "installer package is notarised");
    }
}

std::vector<ToolCommand> dmgCommands(const std::string& volume,
                                     const std::string& staging,
                                     const std::string& dmg,
                                     const std::string& sign) {
    std::vector<ToolCommand> commands{{"hdiutil", {
            "create", "-volname", volume, "-srcfolder", staging, "-ov",
            "-fs", "HFS+", "-format", "UDZO", dmg}}};
    if (!sign.empty()) {
        StringArray args{"--force"};
        if (sign != "-") {
            args.push_back("--timestamp");
        }
        args.insert(args.end(), {"--sign", sign, dmg});
        commands.push_back(ToolCommand{"codesign", args});
    }
    return commands;
}

std::vector<ToolCommand> pkgCommands(const std::string& app,
                                     const std::string& identifier,
                                     const std::string& version,
                                     const std::string& component,
                                     const std::string& pkg,
                                     const std::string& installerSign) {
    StringArray product{"--package", component};
    if (!installerSign.empty()) {
        product.insert(product.end(), {"--sign", installerSign, "--timestamp"});
    }
    product.push_back(pkg);
    return std::vector<ToolCommand>{
        {"pkgbuild", {"--component", app, "--install-location",
                      "/Applications", "--identifier", identifier,
                      "--version", version, component}},
        {"productbuild", product},
    };
}

std::string jsonString(const std::string& json, const std::string& key) {
    const std::string quoted = "\"" + key + "\"";
    std::size_t at = json.find(quoted);
    if (at == std::string::npos) {
        return std::string();
    }
    at = json.find_first_not_of(" \t\r\n", at + quoted.size());
    if (at == std::string::npos || json[at] != ':') {
        return std::string();
    }
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || json[at] != '"') {
        return std::string();
    }
    std::string value;
    for (++at; at < json.size() && json[at] != '"'; ++at) {
        if (json[at] == '\\' && at + 1 < json.size()) {
            ++at;
        }
        value += json[at];
    }
    return value;
}

std::string firstLogError(const std::string& log) {
    const std::size_t issues = log.find("\"issues\"");
    if (issues != std::string::npos) {
        const std::string message = jsonString(log.substr(issues), "message");
        if (!message.empty()) {
            return message;
        }
    }
    StringArray lines;
    tstrings::split(lines, log, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        std::string lower = line;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z'
                                            ? static_cast<char>(c + 32) : c; });
        if (lower.find("error") != std::string::npos) {
            return line.substr(line.find_first_not_of(" \t"));
        }
    }
    return Process::lastLine(log);
}

void writeMacPackage(const PackagePlan& plan, PackageFormat format,
                     const std::string& root, const std::string& workspace,
                     const std::string& path) {
    const bool notarizing = !plan.notarize.empty();
    if (format == PackageFormat::Zip) {
        zipFolder(root, path, plan.time);
        if (notarizing) {
            notarize(plan, path, root);
            // A zip takes no ticket: the stapled bundle is zipped again.
            std::remove(path.c_str());
            zipFolder(root, path, plan.time);
        }
    } else if (format == PackageFormat::Dmg) {
        writeDmg(plan, root, workspace, path);
        if (notarizing) {
            notarize(plan, path, path);
        }
    } else if (format == PackageFormat::Pkg) {
        const std::string component = combinePath(workspace, ".component.pkg");
        for (const ToolCommand& command : pkgCommands(
                     root, plan.d.identifier, plan.d.version, component, path,
                     plan.installerSign)) {
            run(command, "on " + FileUtils::basename(path));
        }
        if (notarizing) {
            notarize(plan, path, path);
        }
    }
    Interrupts::check();
}
