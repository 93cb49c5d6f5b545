#include "StartCheck.h"

#include <sys/utsname.h>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Process.h"

extern char** environ;

namespace StartCheck {

namespace {

// The environment of this process without the removed variables, with
// `name` set to `value`.
StringArray environment(const std::string& name, const std::string& value) {
    StringArray entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('='));
        if (!isRemovedVariable(key) && key != name) {
            entries.push_back(text);
        }
    }
    entries.push_back(name + "=" + value);
    return entries;
}

} // namespace

Host host() {
    struct utsname names;
    if (::uname(&names) != 0) {
        return Host();
    }
    const std::string machine = names.machine;
    return Host{names.sysname, machine == "aarch64" ? "arm64" : machine};
}

void run(const std::string& java, const StringArray& args,
         const std::string& libEnvVariable, const std::string& appDir,
         const std::string& workspaceRoot, const std::string& root) {
    const StringArray env = environment(libEnvVariable, appDir);
    const Process::Outcome outcome = Process::run(java, args, &env);
    if (outcome.status == 0) {
        return;
    }
    const std::string line = tstrings::replace(
            firstErrorLine(outcome.output), workspaceRoot, root);
    VT_THROW(tstrings::any() << "The runtime does not start the application "
             "(exit status " << outcome.status << " of a trial start with "
             "--dry-run): " << (line.empty() ? "it printed nothing" : line));
}

} // namespace StartCheck
