// The checks of what the launcher will start, made on the plan of the
// content before anything is written: the main jar, the main class and the
// main module must be among what the application directory will hold (or,
// for a module, in the runtime), the jar must say which class to start,
// and the [Application] keys must make an argument vector that the runtime
// reads as meant, in the launcher's fixed order.
#ifndef APPCHECKS_H
#define APPCHECKS_H

#include <map>
#include <string>

#include "CfgFile.h"
#include "ContentView.h"
#include "tstrings.h"

/// What the checks found out.
struct AppFacts {
    /// The class that starts the application, as the JVM names it
    /// ("demo.Main"); empty when only its module knows it.
    std::string mainClass;
    /// What the packager should know although the output starts, one line
    /// each.
    StringArray notes;
};

/// Throws a one-line error for [Application] keys of `expanded` that the
/// launcher refuses or whose argument vector the runtime cannot read as
/// meant: app.mainjar or app.mainclass beside each other or beside
/// app.mainmodule (the launcher passes the class, then "-jar" and the
/// jar), an app.locked value other than "true" or "false".
void checkStartShape(const CfgFile& expanded);

/// The app.classpath entries of `expanded`, each value split at ':'.
StringArray classPathEntries(const CfgFile& expanded);

/// The places that the Class-Path attribute of the jar `jar` (absolute, in
/// the output) names, followed from jar to jar as the runtime does, each
/// resolved through `view`; relative URLs count from the folder of the jar
/// that names them.
StringArray manifestClassPath(const ContentView& view, const std::string& jar);

/// Checks the [Application] section of `expanded` (the description with
/// the launcher's macros expanded for the output at `root`): it names a
/// main jar, a main module or a main class; the main jar is among the
/// content and names a Main-Class unless app.mainclass is set; the main
/// class lies in the main jar or a class path entry of the content; the
/// main module lies on the module path of the content or in the runtime
/// (`runtimeModules`); `checkStartShape`; beside app.mainjar, every
/// app.classpath entry is the jar or named by its manifest (and a note says
/// that the class path is redundant). Paths resolve through the links the
/// plan makes (`ContentView`). Throws a one-line error at the first fault.
AppFacts checkApplication(const CfgFile& expanded, const std::string& root,
                          const ContentIndex& content,
                          const StringArray& runtimeModules);

#endif // APPCHECKS_H
