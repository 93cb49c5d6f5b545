// The assembly: from a description to a bundle or image in place. Every
// check comes first; then everything is made in a workspace beside the
// output and moved into place at the end.
#ifndef ASSEMBLER_H
#define ASSEMBLER_H

#include <string>

#include "Description.h"
#include "Layout.h"

struct AssembleOptions {
    std::string description;
    Target target = Target::Image;
    /// The launcher to copy; empty for the one beside the command.
    std::string launcher;
    /// The folder that receives the output; empty for the working one.
    std::string output;
    /// Replace an earlier output of this command.
    bool replace = false;
    /// The signing identity ("-" for ad hoc); empty for no signing.
    std::string sign;
    /// Ask the output's runtime whether it starts the application, when it
    /// can run on this machine (see StartCheck).
    bool startCheck = true;
    /// Keep and reuse runtimes made by jlink in the per-user cache.
    bool runtimeCache = true;
    /// Run every check and make the output in the workspace, but put
    /// nothing at the output path (nor sign).
    bool checkOnly = false;
    /// The package formats asked for (--package), comma-separated.
    std::string packages;
    /// The installer signing identity of a pkg; empty for none.
    std::string installerSign;
    /// The notary tool's keychain profile; empty for no notarisation.
    std::string notarize;
};

/// Assembles as `options` say from `d`, the description they name. Throws
/// a one-line error, leaving nothing at the output path, when anything is
/// wrong.
void assemble(const AssembleOptions& options, const Description& d);

#endif // ASSEMBLER_H
