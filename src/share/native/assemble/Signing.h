// Signing a bundle with codesign, inside out: a signature covers what it
// contains, so every Mach-O file of the runtime and of the application
// comes first, then a runtime that is a bundle of its own, then the
// launcher with the entitlements, then the bundle; then the verification.
// The sequence is built as argument lists; running them is the caller's.
#ifndef SIGNING_H
#define SIGNING_H

#include <string>
#include <vector>

#include "tstrings.h"

struct SigningPlan {
    /// "-" signs ad hoc (no secure timestamp then).
    std::string identity;
    /// The Mach-O files to sign before the launcher, absolute.
    StringArray machOFiles;
    /// The runtime folder when it is a bundle (holds Contents/Info.plist);
    /// empty otherwise.
    std::string runtimeBundle;
    std::string launcher;
    std::string bundle;
    std::string entitlements;
};

/// The codesign command lines (without the program name), in order.
std::vector<StringArray> signingCommands(const SigningPlan& plan);

#endif // SIGNING_H
