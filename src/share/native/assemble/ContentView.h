// The application's content as the output will hold it, seen through the
// plan: paths in the output resolve as the system will resolve them once
// the content is copied, following the links that the plan makes inside
// the content, and the folders above the content (the application
// directory, the root) count as the folders they will be.
#ifndef CONTENTVIEW_H
#define CONTENTVIEW_H

#include <map>
#include <string>

#include "FileTree.h"
#include "tstrings.h"

/// The entries of the plan by their path relative to the output's root.
typedef std::map<std::string, const TreeEntry*> ContentIndex;

class ContentView {
public:
    /// `index` (which must outlive the view) placed at the absolute `root`.
    ContentView(const ContentIndex& index, const std::string& root)
        : index(index), root(root) {}

    /// The absolute output path that `path` (absolute, in the output) names
    /// once every link of the plan on the way is followed; false when it
    /// leaves the output or the links form a loop.
    bool resolve(const std::string& path, std::string& resolved) const;

    /// The file (or link to a file outside the content that the plan
    /// copies) that `path` resolves to; null for a folder and for what the
    /// content does not hold.
    const TreeEntry* file(const std::string& path) const;

    /// True when `path` resolves to a folder of the output: one of the
    /// plan, or one that holds content.
    bool isFolder(const std::string& path) const;

    /// The output paths of the jars (by name, any case) directly in the
    /// folder that `dir` resolves to, as "dir/*" names them, in name order.
    StringArray jarsIn(const std::string& dir) const;

private:
    const TreeEntry* entryOf(const std::string& resolved) const;

    const ContentIndex& index;
    const std::string root;
};

#endif // CONTENTVIEW_H
