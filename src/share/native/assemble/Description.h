// The description of an application to assemble: a launcher configuration
// file (read by CfgFile under the launcher's rules) with a [Bundle] section
// that says how to assemble it. The other sections are what the launcher
// reads at run time; they are copied into the application's configuration
// file byte for byte, without the [Bundle] section.
#ifndef DESCRIPTION_H
#define DESCRIPTION_H

#include <string>
#include <vector>

#include "CfgFile.h"
#include "tstrings.h"

/// A kind of document the application opens (bundle.file-type).
struct FileType {
    std::string name;
    StringArray extensions;
    std::string mimeType;
    /// Viewer, Editor, Shell or None.
    std::string role;
};

/// A text the system shows when it asks the user for a permission
/// (bundle.usage), under its Info.plist key.
struct UsageText {
    std::string key;
    std::string text;
};

struct Description {
    /// The description file, absolute.
    std::string file;
    std::string name;
    std::string identifier;
    std::string version;
    std::string displayName;
    std::string package;
    /// Files and directories, absolute, in the order given.
    StringArray content;
    /// For each of `content`, the folder it goes to under the application
    /// folder ("" for the folder itself).
    StringArray contentDest;
    /// How many of `content`, the first ones, come from bundle.content
    /// lines; the others come from bundle.content-into lines.
    std::size_t contentLines = 0;
    /// A Java home or macOS .jdk folder, absolute; empty when a runtime is
    /// linked from `modules` instead.
    std::string runtime;
    StringArray modules;
    /// The JDK whose jlink makes the runtime; empty for the default one.
    std::string jdk;
    /// PNG files, absolute, one for each size; none for no icon.
    StringArray icons;
    std::vector<FileType> fileTypes;
    StringArray urlSchemes;
    std::vector<UsageText> usages;
    /// Desktop entry: its Categories value (";"-terminated), the folder the
    /// image is installed into and the window class of the application.
    std::string categories;
    std::string installDir;
    std::string wmClass;
    /// Desktop entry: its Comment (empty for none) and Keywords.
    std::string comment;
    StringArray keywords;
    /// The parsed file: the launcher's sections and [Bundle].
    CfgFile config;
    /// The launcher's configuration: the file without its [Bundle] section.
    std::string launcherConfig;
};

/// Reads the description at `path`: parses it, checks every [Bundle] key
/// and makes its paths absolute (relative ones are relative to the
/// description's folder). Refuses a byte-order mark and carriage returns,
/// which the launcher would misread. Throws a one-line error naming the
/// file and the key at the first fault.
Description readDescription(const std::string& path);

/// The lines of `text` from its first header on that lie outside [Bundle]
/// sections, byte for byte (lines before the first header are the
/// packager's notes and are left out too); headers
/// are told as the parser tells them (CfgFile::lineKind). Calls
/// `bundleLine` with each line inside a [Bundle] section that is neither
/// empty nor a comment, and its number.
std::string withoutBundleSection(
        const std::string& text, const std::string& path,
        void (*bundleLine)(const std::string& line, const std::string& path,
                           unsigned long long number));

#endif // DESCRIPTION_H
