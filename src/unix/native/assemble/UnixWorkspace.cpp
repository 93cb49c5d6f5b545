#include "Workspace.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "PrivateFiles.h"

namespace {

using FileUtils::combinePath;

// The commit's file operations on this system.
class SystemCommit : public CommitSystem {
public:
    Kind kindOf(const std::string& path) override {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            return errno == ENOENT ? Kind::Missing : Kind::Other;
        }
        return S_ISREG(st.st_mode) ? Kind::File
                : S_ISDIR(st.st_mode) ? Kind::Folder
                : S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
    }

    bool read(const std::string& path, std::size_t limit,
              std::string& text) override {
        return FileUtils::readSmallFile(path, limit, text);
    }

    StringArray list(const std::string& path) override {
        try {
            return FileSystem::list(path);
        } catch (const std::exception&) {
            return StringArray();
        }
    }

    std::string mountOf(const std::string& path) override {
        return AssembleHost::mountOf(path);
    }

    int renameNoReplace(const std::string& from,
                        const std::string& to) override {
        return AssembleHost::renameNoReplace(from, to) ? 0 : errno;
    }

    int exchange(const std::string& a, const std::string& b) override {
        return AssembleHost::exchange(a, b);
    }

    bool identify(const std::string& path, FileIdentity& identity) override {
        return readFileIdentity(path, identity);
    }

    std::string nodeOf(const std::string& path) override {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            return std::string();
        }
        return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":"
                + std::to_string(static_cast<unsigned long long>(st.st_ino));
    }
};

SystemCommit theSystemCommit;

// The renames in the output folder are written to disk too.
void syncFolder(const std::string& path) {
    const PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

} // namespace

CommitSystem& Workspace::system() {
    return theSystemCommit;
}

Workspace::Workspace(const std::string& outputDir, const std::string& name)
    : outputDir(outputDir) {
    std::string pattern = combinePath(outputDir, "." + name + ".assemble-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        VT_THROW(tstrings::any() << "Cannot create a folder in \""
                 << outputDir << "\": " << lastCRTError());
    }
    folder = buffer.data();
}

Workspace::~Workspace() {
    if (keep) {
        return;
    }
    Interrupts::Deferral deferral;
    try {
        removeTree(folder);
    } catch (const std::exception&) {
        // What cannot be removed stays; the error that led here is the one
        // the user needs to see.
    }
}

void Workspace::commit(const std::string& root, const std::string& stamp,
                       const StringArray& beside, bool replace) {
    AssembleHost::syncTree(folder);
    CommitPlan plan;
    plan.buildDir = folder;
    plan.outputDir = outputDir;
    plan.root = root;
    plan.stamp = stamp;
    plan.beside = beside;
    plan.replace = replace;
    Interrupts::Deferral deferral;
    // A signal that came during the sync stops the command here, with
    // nothing at the output path changed; one that comes from now on waits
    // until the commit is complete (see AssembleCommand).
    Interrupts::check();
    commitOutput(theSystemCommit, plan, keep);
    syncFolder(outputDir);
}
