#include "FileTree.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "AssembleHost.h"
#include "ErrorHandling.h"
#include "FileSystem.h"
#include "FileTimes.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "PrivateFiles.h"

namespace {

using FileUtils::combinePath;

[[noreturn]] void fail(const char* what, const std::string& path) {
    VT_THROW(tstrings::any() << what << " \"" << path << "\": "
                             << lastCRTError());
}

std::string readLink(const std::string& path) {
    std::string text(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), &text[0], text.size());
        if (n < 0) {
            fail("Cannot read the link", path);
        }
        if (static_cast<std::size_t>(n) < text.size()) {
            text.resize(static_cast<std::size_t>(n));
            return text;
        }
        text.resize(text.size() * 4);
    }
}

TreeSource::Info infoOf(const struct stat& st) {
    TreeSource::Info info;
    info.kind = S_ISREG(st.st_mode) ? TreeSource::Kind::File
            : S_ISDIR(st.st_mode) ? TreeSource::Kind::Folder
            : S_ISLNK(st.st_mode) ? TreeSource::Kind::Link
            : TreeSource::Kind::Other;
    info.mode = static_cast<unsigned>(st.st_mode & 0777);
    const timespec modified = FileTimes::modified(st);
    info.mtimeSeconds = modified.tv_sec;
    info.mtimeNanoseconds = modified.tv_nsec;
    info.id = std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":"
            + std::to_string(static_cast<unsigned long long>(st.st_ino));
    return info;
}

TreeSource::Info failedInfo() {
    TreeSource::Info info;
    if (errno != ENOENT && errno != ENOTDIR) {
        info.kind = TreeSource::Kind::Unreadable;
        info.error = lastCRTError();
    }
    return info;
}

class SystemTree : public TreeSource {
public:
    Info examine(const std::string& path) override {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 ? infoOf(st) : failedInfo();
    }

    Info follow(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? infoOf(st) : failedInfo();
    }

    std::string readLink(const std::string& path) override {
        return ::readLink(path);
    }

    std::string realPath(const std::string& path) override {
        return FileUtils::canonicalPath(path);
    }

    StringArray list(const std::string& path) override {
        return FileSystem::list(path);
    }
};

timespec modificationTime(const TreeEntry& entry) {
    timespec time;
    time.tv_sec = static_cast<time_t>(entry.mtimeSeconds);
    time.tv_nsec = entry.mtimeNanoseconds;
    return time;
}

// A folder of the plan; its mode and time are set after its contents.
void makeFolder(const std::string& to) {
    if (::mkdir(to.c_str(), 0700) != 0
            && !(errno == EEXIST
                 && FileSystem::kindOf(to) == FileSystem::Kind::Directory
                 && !FileSystem::isLink(to))) {
        fail("Cannot create the folder", to);
    }
}

void finishFolder(const TreeEntry& entry, const std::string& to) {
    const timespec times[2] = {{0, UTIME_OMIT}, modificationTime(entry)};
    if (::chmod(to.c_str(), static_cast<mode_t>(entry.mode)) != 0
            || ::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) {
        fail("Cannot set the mode and time of", to);
    }
}

} // namespace

TreeSource& systemTree() {
    static SystemTree tree;
    return tree;
}

void copyTree(const TreePlan& plan, const std::string& root) {
    for (const TreeEntry& entry : plan) {
        Interrupts::check();
        const std::string to = combinePath(root, entry.dest);
        if (entry.kind == TreeEntry::Directory) {
            makeFolder(to);
        } else if (entry.kind == TreeEntry::File) {
            FileSystem::copyFile(entry.source, to, entry.mode,
                                 entry.mtimeSeconds, entry.mtimeNanoseconds);
        } else {
            FileSystem::makeLink(entry.linkText, to);
        }
    }
    for (auto it = plan.rbegin(); it != plan.rend(); ++it) {
        if (it->kind == TreeEntry::Directory) {
            finishFolder(*it, combinePath(root, it->dest));
        }
    }
}

namespace {

// Removes `path` and what is below it, all on the mount `mount`: a file
// system mounted below is neither entered nor changed.
void removeOnMount(const std::string& path, const std::string& mount) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (AssembleHost::mountOf(path) != mount) {
        VT_THROW(tstrings::any() << "Cannot remove \"" << path << "\": a "
                 "file system is mounted there");
    }
    if (S_ISDIR(st.st_mode)) {
        ::chmod(path.c_str(), 0700);
        for (const std::string& name : FileSystem::list(path)) {
            removeOnMount(combinePath(path, name), mount);
        }
        if (::rmdir(path.c_str()) != 0) {
            fail("Cannot remove", path);
        }
    } else if (::unlink(path.c_str()) != 0) {
        fail("Cannot remove", path);
    }
}

} // namespace

void removeTree(const std::string& path) {
    removeOnMount(path, AssembleHost::mountOf(path));
}
