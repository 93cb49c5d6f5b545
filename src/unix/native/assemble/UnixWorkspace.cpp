#include "Workspace.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileTree.h"
#include "FileUtils.h"
#include "Interrupts.h"

namespace {

using FileUtils::combinePath;

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void failMove(const std::string& from, const std::string& to) {
    VT_THROW(tstrings::any() << "Cannot move \"" << from << "\" to \"" << to
                             << "\": " << lastCRTError());
}

// Moves one result into place; an earlier folder goes to `attic`.
void move(const std::string& from, const std::string& to, bool replace,
          const std::string& attic) {
    if (!exists(to) || !replace) {
        if (!AssembleHost::renameNoReplace(from, to)) {
            failMove(from, to);
        }
    } else if (!isFolder(to)) {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            failMove(from, to);
        }
    } else {
        if (::rename(to.c_str(), attic.c_str()) != 0) {
            failMove(to, attic);
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            const int error = errno;
            ::rename(attic.c_str(), to.c_str());
            errno = error;
            failMove(from, to);
        }
    }
}

} // namespace

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
    Interrupts::Deferral deferral;
    try {
        removeTree(folder);
    } catch (const std::exception&) {
        // What cannot be removed stays; the error that led here is the one
        // the user needs to see.
    }
}

void Workspace::commit(const StringArray& entries, bool replace) {
    Interrupts::Deferral deferral;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        move(combinePath(folder, entries[i]),
             combinePath(outputDir, entries[i]), replace,
             combinePath(folder, ".replaced-" + std::to_string(i)));
    }
}
