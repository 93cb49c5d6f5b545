#include "StartCheck.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "ErrorHandling.h"
#include "FileTree.h"
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

// A new empty folder inside `parent`, removed with whatever was written
// into it.
class EmptyFolder {
public:
    explicit EmptyFolder(const std::string& parent) {
        std::string pattern =
                FileUtils::combinePath(parent, "start-check-XXXXXX");
        if (::mkdtemp(&pattern[0]) == nullptr) {
            VT_THROW(tstrings::any() << "Cannot create a folder for the start "
                     "check: " << lastCRTError());
        }
        folder = pattern;
    }
    ~EmptyFolder() {
        try {
            removeTree(folder);
        } catch (const std::exception&) {
            // The workspace that holds it is removed in any case.
        }
    }
    EmptyFolder(const EmptyFolder&) = delete;
    EmptyFolder& operator=(const EmptyFolder&) = delete;

    const std::string& path() const { return folder; }

private:
    std::string folder;
};

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
    const EmptyFolder folder(FileUtils::dirname(workspaceRoot));
    const Process::Outcome outcome = Process::run(java, args, &env,
                                                  folder.path());
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
