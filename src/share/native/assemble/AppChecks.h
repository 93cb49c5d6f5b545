// The checks of what the launcher will start, made on the plan of the
// content before anything is written: the main jar, the main class and the
// main module must be among what the application directory will hold (or,
// for a module, in the runtime), and the jar must say which class to start.
#ifndef APPCHECKS_H
#define APPCHECKS_H

#include <map>
#include <string>

#include "CfgFile.h"
#include "FileTree.h"
#include "tstrings.h"

/// The entries of the plan by their path relative to the output's root.
typedef std::map<std::string, const TreeEntry*> ContentIndex;

/// What the checks found out.
struct AppFacts {
    /// The class that starts the application, as the JVM names it
    /// ("demo.Main"); empty when only its module knows it.
    std::string mainClass;
};

/// Checks the [Application] section of `expanded` (the description with
/// the launcher's macros expanded for the output at `root`): it names a
/// main jar, a main module or a main class; the main jar is among the
/// content and names a Main-Class unless app.mainclass is set; the main
/// class lies in the main jar or a class path entry of the content; the
/// main module lies on the module path of the content or in the runtime
/// (`runtimeModules`). Throws a one-line error at the first fault.
AppFacts checkApplication(const CfgFile& expanded, const std::string& root,
                          const ContentIndex& content,
                          const StringArray& runtimeModules);

#endif // APPCHECKS_H
