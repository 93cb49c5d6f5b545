#include "FileTree.h"

#include <map>
#include <set>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "tstrings.h"

namespace {

using FileUtils::combinePath;
typedef TreeSource::Kind Kind;

StringArray components(const std::string& path) {
    StringArray parts;
    tstrings::split(parts, path, "/", tstrings::SPLIT_EXCLUDE_EMPTY);
    return parts;
}

TreeEntry entryOf(TreeEntry::Kind kind, const std::string& source,
                  const std::string& dest, const TreeSource::Info& info) {
    TreeEntry entry;
    entry.kind = kind;
    entry.source = source;
    entry.dest = dest;
    entry.mode = info.mode & 0777;
    entry.mtimeSeconds = info.mtimeSeconds;
    entry.mtimeNanoseconds = info.mtimeNanoseconds;
    return entry;
}

[[noreturn]] void notCopyable(const std::string& path) {
    VT_THROW(tstrings::any() << "Cannot copy \"" << path
             << "\": it is neither a file, a folder nor a link");
}

// What the links out of the trees lead to. A first walk over every tree
// only finds them (`surveying`); of the targets, the outermost are copied,
// each once, and every other link leads into one of those copies.
struct LinkTargets {
    bool surveying = true;
    /// Real paths reached through links out of the trees, with the
    /// destination of the first such link, in the order found.
    std::vector<std::pair<std::string, std::string>> found;
    /// Real paths copied through links, and where their copies go.
    std::map<std::string, std::string> copies;

    // The copies: the targets that lie in no other target.
    void choose() {
        for (const auto& target : found) {
            bool inner = false;
            for (const auto& other : found) {
                std::string below;
                inner = inner || (other.first != target.first
                                  && pathBelow(other.first, target.first,
                                               below));
            }
            if (!inner) {
                copies.insert(target);
            }
        }
        surveying = false;
    }
};

// One walk of a folder tree into the plan.
class Planner {
public:
    Planner(TreeSource& fs, const std::string& realRoot, OutsideLinks outside,
            const OutputPlace& output, LinkTargets& targets, TreePlan& plan)
        : fs(fs), realRoot(realRoot), outside(outside), output(output),
          targets(targets), plan(plan) {}

    // The folder `rel` (relative to the root; "" is the root) into `dest`.
    void walk(const std::string& rel, const std::string& dest) {
        const std::string dir = combinePath(realRoot, rel);
        for (const std::string& name : fs.list(dir)) {
            const std::string path = combinePath(dir, name);
            add(path, combinePath(rel, name), combinePath(dest, name),
                fs.examine(path));
        }
    }

private:
    void add(const std::string& path, const std::string& rel,
             const std::string& dest, const TreeSource::Info& info) {
        if (info.kind == Kind::Folder) {
            plan.push_back(entryOf(TreeEntry::Directory, path, dest, info));
            walk(rel, dest);
        } else if (info.kind == Kind::File) {
            plan.push_back(entryOf(TreeEntry::File, path, dest, info));
        } else if (info.kind == Kind::Link) {
            addLink(path, rel, dest, info);
        } else {
            notCopyable(path);
        }
    }

    void addLink(const std::string& path, const std::string& rel,
                 const std::string& dest, const TreeSource::Info& info) {
        const std::string text = fs.readLink(path);
        const std::string parent = FileUtils::dirname(rel);
        const std::string real = fs.realPath(path);
        std::string below;
        if (real.empty()) {
            noTarget(path, text);
        } else if (pathBelow(realRoot, real, below)) {
            TreeEntry entry = entryOf(TreeEntry::Link, path, dest, info);
            const bool kept = text[0] != '/'
                    && normalizePath(combinePath(parent, text)) == below;
            entry.linkText = kept ? text : relativeLink(parent, below);
            plan.push_back(entry);
        } else if (targets.surveying) {
            targets.found.push_back({real, dest});
        } else if (!linkToCopy(path, real, dest, info)) {
            checkTarget(path, real);
            targets.copies[real] = dest;
            followed(path, real, dest, 0);
        }
    }

    // A link that names nothing, or that cannot be followed (a loop): an
    // error in content; a runtime's copy leaves it out.
    void noTarget(const std::string& link, const std::string& text) {
        if (outside == OutsideLinks::CopyExistingTarget) {
            return;
        }
        const TreeSource::Info info = fs.follow(link);
        if (info.kind == Kind::Unreadable) {
            VT_THROW(tstrings::any() << "The link \"" << link << "\" cannot "
                     "be followed: " << info.error);
        }
        VT_THROW(tstrings::any() << "The link \"" << link << "\" points "
                 "to \"" << text << "\", which does not exist");
    }

    // A link whose target lies in a copy made through another link becomes
    // a link into that copy.
    bool linkToCopy(const std::string& path, const std::string& real,
                    const std::string& dest, const TreeSource::Info& info) {
        for (const auto& copy : targets.copies) {
            std::string below;
            if (copy.second != dest && pathBelow(copy.first, real, below)) {
                TreeEntry entry = entryOf(TreeEntry::Link, path, dest, info);
                entry.linkText = relativeLink(FileUtils::dirname(dest),
                                              combinePath(copy.second, below));
                plan.push_back(entry);
                return true;
            }
        }
        return false;
    }

    // A link may not lead to a folder that holds what is copied or the
    // output (the copy would never end), nor into the output (earlier
    // outputs would be copied into each new one).
    void checkTarget(const std::string& link, const std::string& real) {
        std::string below;
        if (real == "/") {
            VT_THROW(tstrings::any() << "The link \"" << link
                     << "\" points to /: it is not copied");
        }
        if (pathBelow(real, realRoot, below)) {
            VT_THROW(tstrings::any() << "The link \"" << link << "\" points "
                     "to \"" << real << "\", which holds it: the links form "
                     "a loop");
        }
        if (!output.folder.empty() && pathBelow(real, output.folder, below)) {
            VT_THROW(tstrings::any() << "The link \"" << link << "\" points "
                     "to \"" << real << "\", which holds the output folder");
        }
        if (insideOutput(output, real)) {
            VT_THROW(tstrings::any() << "The link \"" << link << "\" points "
                     "to \"" << real << "\", inside the output: an earlier "
                     "output is not copied into the new one");
        }
    }

    // A copy of what lies outside the tree, reached through `link`: links
    // in it are followed.
    void followed(const std::string& link, const std::string& path,
                  const std::string& dest, int depth) {
        const TreeSource::Info info = fs.follow(path);
        if (info.kind == Kind::File) {
            plan.push_back(entryOf(TreeEntry::File, path, dest, info));
        } else if (info.kind == Kind::Folder) {
            const std::string real = fs.realPath(path);
            if (depth > 32 || !visiting.insert(info.id).second) {
                VT_THROW(tstrings::any() << "The links below \"" << link
                         << "\" form a loop at \"" << path << "\"");
            }
            checkTarget(link, real);
            plan.push_back(entryOf(TreeEntry::Directory, path, dest, info));
            for (const std::string& name : fs.list(path)) {
                followed(link, combinePath(path, name),
                         combinePath(dest, name), depth + 1);
            }
            visiting.erase(info.id);
        } else if (info.kind == Kind::Missing) {
            if (outside == OutsideLinks::CopyTarget) {
                VT_THROW(tstrings::any() << "\"" << path << "\", reached "
                         "through the link \"" << link << "\", names "
                         "nothing");
            }
        } else if (info.kind == Kind::Unreadable) {
            if (outside == OutsideLinks::CopyTarget) {
                VT_THROW(tstrings::any() << "Cannot copy \"" << path
                         << "\", reached through the link \"" << link
                         << "\": " << info.error);
            }
        } else {
            notCopyable(path);
        }
    }

    TreeSource& fs;
    const std::string realRoot;
    const OutsideLinks outside;
    const OutputPlace& output;
    LinkTargets& targets;
    TreePlan& plan;
    std::set<std::string> visiting;
};

void planItem(TreeSource& fs, const TreeItem& item, OutsideLinks outside,
              const OutputPlace& output, LinkTargets& targets,
              TreePlan& plan) {
    const std::string& source = item.source;
    const TreeSource::Info info = fs.follow(source);
    if (info.kind == Kind::File) {
        plan.push_back(entryOf(TreeEntry::File, source,
                               combinePath(item.destDir, FileUtils::basename(
                                       normalizePath(source))), info));
    } else if (info.kind == Kind::Folder) {
        Planner(fs, fs.realPath(source), outside, output, targets, plan)
                .walk("", item.destDir);
    } else if (info.kind == Kind::Missing || info.kind == Kind::Unreadable) {
        VT_THROW(tstrings::any() << "Cannot copy \"" << source << "\": "
                 << (info.error.empty() ? "it does not exist" : info.error));
    } else {
        VT_THROW(tstrings::any() << "Cannot copy \"" << source
                 << "\": it is neither a file nor a folder");
    }
}

} // namespace

bool insideOutput(const OutputPlace& output, const std::string& path) {
    std::string below;
    if (output.folder.empty() || output.root.empty()
            || !pathBelow(output.folder, path, below) || below.empty()) {
        return false;
    }
    const std::string first = below.substr(0, below.find('/'));
    return first == output.root
            || tstrings::startsWith(first, "." + output.root + ".assemble-");
}

void planTrees(TreeSource& fs, const std::vector<TreeItem>& items,
               OutsideLinks outside, const OutputPlace& output,
               TreePlan& plan) {
    LinkTargets targets;
    for (const TreeItem& item : items) {
        TreePlan survey;
        planItem(fs, item, outside, output, targets, survey);
    }
    targets.choose();
    for (const TreeItem& item : items) {
        planItem(fs, item, outside, output, targets, plan);
    }
}

void planTree(TreeSource& fs, const std::string& source,
              const std::string& destDir, OutsideLinks outside,
              const OutputPlace& output, TreePlan& plan) {
    planTrees(fs, {TreeItem{source, destDir}}, outside, output, plan);
}

namespace {

// True when `path` is a folder of the copy or holds one of its entries.
bool isPlannedFolder(const std::map<std::string, const TreeEntry*>& index,
                     const std::string& path) {
    const auto it = index.find(path);
    if (it != index.end()) {
        return it->second->kind == TreeEntry::Directory;
    }
    const auto next = index.lower_bound(path + "/");
    return next != index.end()
            && next->first.compare(0, path.size() + 1, path + "/") == 0;
}

} // namespace

std::string resolveInPlan(const std::map<std::string, const TreeEntry*>& index,
                          const std::string& path, std::string* notFolder) {
    StringArray todo = components(path);
    std::string current;
    for (int hops = 0; !todo.empty();) {
        const std::string part = todo.front();
        todo.erase(todo.begin());
        if (part == "." ) {
            continue;
        }
        if (part == "..") {
            if (current.empty()) {
                return std::string();
            }
            if (notFolder != nullptr && notFolder->empty()
                    && !isPlannedFolder(index, current)) {
                *notFolder = current;
            }
            current = FileUtils::dirname(current);
            continue;
        }
        const std::string next = combinePath(current, part);
        const auto it = index.find(next);
        if (it == index.end() || it->second->kind != TreeEntry::Link) {
            current = next;
            continue;
        }
        const std::string& text = it->second->linkText;
        if (++hops > 40 || text.empty() || text[0] == '/') {
            return std::string();
        }
        const StringArray target = components(text);
        todo.insert(todo.begin(), target.begin(), target.end());
    }
    return current;
}

std::string normalizePath(const std::string& path) {
    StringArray kept;
    for (const std::string& part : components(path)) {
        if (part == ".") {
            continue;
        }
        if (part == ".." && !kept.empty() && kept.back() != "..") {
            kept.pop_back();
        } else if (part != ".." || path.empty() || path[0] != '/') {
            kept.push_back(part);
        }
    }
    const std::string joined = tstrings::join(kept.begin(), kept.end(), "/");
    return !path.empty() && path[0] == '/' ? "/" + joined : joined;
}

bool pathBelow(const std::string& root, const std::string& path,
               std::string& below) {
    const std::string r = normalizePath(root);
    const std::string p = normalizePath(path);
    if (p == r) {
        below.clear();
        return true;
    }
    const std::string prefix = r == "/" ? r : r + "/";
    if (p.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    below = p.substr(prefix.size());
    return true;
}

std::string relativeLink(const std::string& fromDir, const std::string& to) {
    const StringArray from = components(normalizePath(fromDir));
    const StringArray target = components(normalizePath(to));
    std::size_t common = 0;
    while (common < from.size() && common < target.size()
           && from[common] == target[common]) {
        ++common;
    }
    StringArray parts(from.size() - common, "..");
    parts.insert(parts.end(), target.begin() + common, target.end());
    return parts.empty() ? "." : tstrings::join(parts.begin(), parts.end(),
                                                "/");
}
