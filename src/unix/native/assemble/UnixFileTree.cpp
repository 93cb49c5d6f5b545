#include "FileTree.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <utility>

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

TreeEntry entryOf(TreeEntry::Kind kind, const std::string& source,
                  const std::string& dest, const struct stat& st) {
    TreeEntry entry;
    entry.kind = kind;
    entry.source = source;
    entry.dest = dest;
    entry.mode = static_cast<unsigned>(st.st_mode & 0777);
    const timespec modified = FileTimes::modified(st);
    entry.mtimeSeconds = modified.tv_sec;
    entry.mtimeNanoseconds = modified.tv_nsec;
    return entry;
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

// One walk of a folder tree into the plan.
class Planner {
public:
    Planner(const std::string& realRoot, OutsideLinks outside, TreePlan& plan)
        : realRoot(realRoot), outside(outside), plan(plan) {}

    // The folder `rel` (relative to the root; "" is the root) into `dest`.
    void walk(const std::string& rel, const std::string& dest) {
        const std::string dir = combinePath(realRoot, rel);
        for (const std::string& name : FileSystem::list(dir)) {
            const std::string path = combinePath(dir, name);
            struct stat st;
            if (::lstat(path.c_str(), &st) != 0) {
                fail("Cannot examine", path);
            }
            add(path, combinePath(rel, name), combinePath(dest, name), st);
        }
    }

private:
    void add(const std::string& path, const std::string& rel,
             const std::string& dest, const struct stat& st) {
        if (S_ISDIR(st.st_mode)) {
            plan.push_back(entryOf(TreeEntry::Directory, path, dest, st));
            walk(rel, dest);
        } else if (S_ISREG(st.st_mode)) {
            plan.push_back(entryOf(TreeEntry::File, path, dest, st));
        } else if (S_ISLNK(st.st_mode)) {
            addLink(path, rel, dest, st);
        } else {
            VT_THROW(tstrings::any() << "Cannot copy \"" << path
                     << "\": it is neither a file, a folder nor a link");
        }
    }

    void addLink(const std::string& path, const std::string& rel,
                 const std::string& dest, const struct stat& st) {
        const std::string text = readLink(path);
        const std::string parent = FileUtils::dirname(rel);
        std::unique_ptr<char, void (*)(void*)> real(
                ::realpath(path.c_str(), nullptr), std::free);
        const std::string target = real ? std::string(real.get())
                : normalizePath(text[0] == '/' ? text
                                : combinePath(combinePath(realRoot, parent),
                                              text));
        std::string below;
        if (pathBelow(realRoot, target, below)) {
            TreeEntry entry = entryOf(TreeEntry::Link, path, dest, st);
            const bool kept = text[0] != '/'
                    && normalizePath(combinePath(parent, text)) == below;
            entry.linkText = kept ? text : relativeLink(parent, below);
            plan.push_back(entry);
        } else if (outside == OutsideLinks::Refuse) {
            VT_THROW(tstrings::any() << "The link \"" << path
                     << "\" points outside \"" << realRoot << "\": \""
                     << text << "\"");
        } else if (real) {
            followed(target, dest, 0);
        }
    }

    // A copy of what lies outside the tree: links are followed, those that
    // name nothing are left out.
    void followed(const std::string& path, const std::string& dest,
                  int depth) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            return;
        }
        if (S_ISREG(st.st_mode)) {
            plan.push_back(entryOf(TreeEntry::File, path, dest, st));
        } else if (S_ISDIR(st.st_mode)) {
            if (depth > 32 || !visiting.insert({st.st_dev, st.st_ino}).second) {
                VT_THROW(tstrings::any() << "The links below \"" << path
                         << "\" form a loop");
            }
            plan.push_back(entryOf(TreeEntry::Directory, path, dest, st));
            for (const std::string& name : FileSystem::list(path)) {
                followed(combinePath(path, name), combinePath(dest, name),
                         depth + 1);
            }
            visiting.erase({st.st_dev, st.st_ino});
        } else {
            VT_THROW(tstrings::any() << "Cannot copy \"" << path
                     << "\": it is neither a file, a folder nor a link");
        }
    }

    const std::string realRoot;
    const OutsideLinks outside;
    TreePlan& plan;
    std::set<std::pair<dev_t, ino_t>> visiting;
};


timespec modificationTime(const TreeEntry& entry) {
    timespec time;
    time.tv_sec = static_cast<time_t>(entry.mtimeSeconds);
    time.tv_nsec = entry.mtimeNanoseconds;
    return time;
}

void copyBytes(int in, int out, const TreeEntry& entry,
               const std::string& to) {
    static std::unique_ptr<char[]> buffer(new char[1 << 20]);
    for (;;) {
        Interrupts::check();
        const ssize_t n = ::read(in, buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail("Cannot read", entry.source);
        }
        if (n == 0) {
            return;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.get() + done,
                                      static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                Interrupts::check();
                continue;
            }
            if (w < 0) {
                fail("Cannot write", to);
            }
            done += w;
        }
    }
}

void copyFileEntry(const TreeEntry& entry, const std::string& to) {
    PrivateFiles::FileDescriptor in(::open(entry.source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        fail("Cannot open", entry.source);
    }
    PrivateFiles::FileDescriptor out(::open(to.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600));
    if (out.get() < 0) {
        fail("Cannot create", to);
    }
    if (!AssembleHost::copyInKernel(in.get(), out.get(), entry.source, to)) {
        copyBytes(in.get(), out.get(), entry, to);
    }
    const timespec times[2] = {{0, UTIME_OMIT}, modificationTime(entry)};
    if (::fchmod(out.get(), static_cast<mode_t>(entry.mode)) != 0
            || ::futimens(out.get(), times) != 0) {
        fail("Cannot set the mode and time of", to);
    }
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

void planTree(const std::string& source, const std::string& destDir,
              OutsideLinks outside, TreePlan& plan) {
    struct stat st;
    if (::stat(source.c_str(), &st) != 0) {
        fail("Cannot copy", source);
    }
    if (S_ISREG(st.st_mode)) {
        plan.push_back(entryOf(TreeEntry::File, source,
                               combinePath(destDir, FileUtils::basename(
                                       normalizePath(source))), st));
    } else if (S_ISDIR(st.st_mode)) {
        Planner(FileSystem::realPath(source), outside, plan).walk("", destDir);
    } else {
        VT_THROW(tstrings::any() << "Cannot copy \"" << source
                 << "\": it is neither a file nor a folder");
    }
}

void copyTree(const TreePlan& plan, const std::string& root) {
    for (const TreeEntry& entry : plan) {
        Interrupts::check();
        const std::string to = combinePath(root, entry.dest);
        if (entry.kind == TreeEntry::Directory) {
            makeFolder(to);
        } else if (entry.kind == TreeEntry::File) {
            copyFileEntry(entry, to);
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

void removeTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        ::chmod(path.c_str(), 0700);
        for (const std::string& name : FileSystem::list(path)) {
            removeTree(combinePath(path, name));
        }
        if (::rmdir(path.c_str()) != 0) {
            fail("Cannot remove", path);
        }
    } else if (::unlink(path.c_str()) != 0) {
        fail("Cannot remove", path);
    }
}
