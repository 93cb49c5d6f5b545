#include "AssembleCommand.h"

#include <iostream>

#include "AssembleHost.h"
#include "Description.h"
#include "ErrorHandling.h"
#include "Interrupts.h"
#include "MacPackages.h"
#include "PackageInfo.h"
#include "Process.h"
#include "TextRules.h"

namespace {

const char usage[] =
        "applauncher-assemble DESCRIPTION [--target bundle|image] "
        "[--launcher PATH] [--output DIR] [--replace] [--sign IDENTITY] "
        "[--check] [--no-runtime-cache] [--no-start-check] "
        "[--package FORMAT[,FORMAT...]] [--installer-sign IDENTITY] "
        "[--notarize PROFILE]";

[[noreturn]] void usageError(const std::string& what) {
    VT_THROW(tstrings::any() << what << "; usage: " << usage);
}

// The value of the option `name` at `args[i]`, given as "--name=value" or
// as the next argument.
std::string optionValue(const StringArray& args, std::size_t& i,
                        const std::string& name) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    if (i + 1 >= args.size()) {
        usageError(name + " needs a value");
    }
    return args[++i];
}

bool isOption(const std::string& arg, const std::string& name) {
    return arg == name || tstrings::startsWith(arg, name + "=");
}

// What a format of `formats` needs of macOS's tools and misses, said in
// one line (the formats named by `source`, when not empty); "" when
// nothing is missing.
std::string missingMacTool(const std::vector<PackageFormat>& formats,
                           const std::string& source) {
    for (PackageFormat format : formats) {
        for (const std::string& tool : macPackageTools(format)) {
            if (Process::findOnPath(tool).empty()) {
                return std::string("a ") + packageFormatName(format)
                        + " package" + (source.empty() ? "" : " (" + source
                                        + ")") + " needs macOS's " + tool
                        + ", which is not on PATH (it is made on a Mac)";
            }
        }
    }
    return std::string();
}

// A format of bundle.formats that needs a tool of macOS, missing here, is
// refused as --package refuses it. A list with a mistake is left to the
// assembly's checks, which report it with the rest of the description.
void checkDescribedTools(const Description& d, Target target) {
    std::vector<PackageFormat> formats;
    try {
        formats = describedFormats(d, target);
    } catch (const VtErrorBase&) {
        return;
    }
    const std::string missing = missingMacTool(formats, "bundle.formats");
    if (!missing.empty()) {
        VT_THROW(missing);
    }
}

// The package options that the command line alone decides; the formats
// that bundle.formats adds are checked with the description.
void checkPackageOptions(const AssembleOptions& options) {
    std::vector<PackageFormat> formats;
    if (!options.packages.empty()) {
        try {
            addPackageFormats(options.packages, options.target, "--package",
                              formats);
        } catch (const VtErrorBase& e) {
            usageError(e.rawMessage());
        }
    }
    const std::string missing = missingMacTool(formats, "");
    if (!missing.empty()) {
        usageError(missing);
    }
    if (!options.installerSign.empty() && options.target == Target::Image) {
        usageError("--installer-sign signs a pkg, which is made from a "
                   "bundle: add --target bundle");
    }
    if (options.notarize.empty()) {
        return;
    }
    if (options.sign.empty() || options.sign == "-") {
        usageError("--notarize needs --sign with a Developer ID identity "
                   "(not ad hoc, -)");
    }
    if (Process::findOnPath("xcrun").empty()) {
        usageError("--notarize needs macOS's xcrun, which is not on PATH "
                   "(notarising is done on a Mac)");
    }
}

} // namespace

AssembleOptions parseCommandLine(const StringArray& args) {
    AssembleOptions options;
    options.target = AssembleHost::defaultTarget();
    bool targetGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (isOption(arg, "--target")) {
            const std::string value = optionValue(args, i, "--target");
            if (value != "bundle" && value != "image") {
                usageError("--target takes bundle or image, not \"" + value
                           + "\"");
            }
            options.target = value == "bundle" ? Target::Bundle
                                               : Target::Image;
            targetGiven = true;
        } else if (isOption(arg, "--launcher")) {
            options.launcher = optionValue(args, i, "--launcher");
        } else if (isOption(arg, "--output")) {
            options.output = optionValue(args, i, "--output");
            if (options.output.empty()) {
                usageError("--output needs a folder, not an empty value");
            }
        } else if (isOption(arg, "--sign")) {
            options.sign = optionValue(args, i, "--sign");
        } else if (isOption(arg, "--package")) {
            const std::string value = optionValue(args, i, "--package");
            if (value.empty()) {
                usageError("--package needs a format, not an empty value");
            }
            options.packages += (options.packages.empty() ? "" : ",") + value;
        } else if (isOption(arg, "--installer-sign")) {
            options.installerSign = optionValue(args, i, "--installer-sign");
        } else if (isOption(arg, "--notarize")) {
            options.notarize = optionValue(args, i, "--notarize");
        } else if (arg == "--replace") {
            options.replace = true;
        } else if (arg == "--no-start-check") {
            options.startCheck = false;
        } else if (arg == "--check") {
            options.checkOnly = true;
        } else if (arg == "--no-runtime-cache") {
            options.runtimeCache = false;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            usageError("unknown option \"" + arg + "\"");
        } else if (options.description.empty()) {
            options.description = arg;
        } else {
            usageError("one description file only, not also \"" + arg + "\"");
        }
    }
    if (options.description.empty()) {
        usageError("no description file given");
    }
    if (!options.sign.empty() && options.target == Target::Image) {
        usageError(targetGiven ? "--sign signs a bundle, not an image"
                               : "--sign signs a bundle: add --target bundle");
    }
    if (!options.sign.empty() && Process::findOnPath("codesign").empty()) {
        usageError("--sign needs macOS's codesign, which is not on PATH "
                   "(signing is done on a Mac)");
    }
    checkPackageOptions(options);
    return options;
}

int assembleMain(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::cout << "usage: " << usage << "\n(see doc/assembling.md)"
                      << std::endl;
            return 0;
        }
    }
    Interrupts::install();
    int failureStatus = 2;
    try {
        const AssembleOptions options =
                parseCommandLine(StringArray(argv + 1, argv + argc));
        failureStatus = 1;
        const Description d = readDescription(options.description);
        // A missing tool of macOS is a mistake of the system the command
        // runs on, whichever way its format was asked for.
        failureStatus = 2;
        checkDescribedTools(d, options.target);
        failureStatus = 1;
        assemble(options, d);
        // A signal that arrived during the commit waited until it was
        // complete: the output is in place, and the command still ends as
        // the signal ends it.
        if (Interrupts::received() != 0) {
            std::cerr << "applauncher-assemble: interrupted at the end: the "
                         "assembly had completed" << std::endl;
            Interrupts::endAsReceived();
        }
        return 0;
    } catch (const VtErrorBase& e) {
        // One line whatever a path or value in the message holds.
        std::cerr << "applauncher-assemble: " << printable(e.rawMessage())
                  << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "applauncher-assemble: " << printable(e.what())
                  << std::endl;
    }
    Interrupts::endAsReceived();
    return failureStatus;
}
