#include "ContentInto.h"

#include "FileTree.h"
#include "FileUtils.h"

ContentInto parseContentInto(const std::string& value, std::string& why) {
    const std::size_t bar = value.find('|');
    if (bar == std::string::npos) {
        why = "DEST|SOURCE is needed: the folder under the application "
              "folder, a bar, and the file or folder to copy there";
        return ContentInto();
    }
    ContentInto into;
    into.dest = normalizePath(value.substr(0, bar));
    into.source = value.substr(bar + 1);
    std::string below;
    if (bar == 0) {
        why = "DEST is empty: name a folder under the application folder, "
              "or \".\" for the folder itself";
    } else if (value[0] == '/') {
        why = "DEST must be relative to the application folder";
    } else if (into.dest == ".." || into.dest.compare(0, 3, "../") == 0) {
        why = "DEST leads out of the application folder";
    } else if (into.source.empty()) {
        why = "SOURCE is empty: name the file or folder to copy";
    } else {
        why.clear();
        return into;
    }
    return ContentInto();
}

std::string contentLineFor(const std::string& dest, const std::string& source) {
    const std::string folder = normalizePath(FileUtils::dirname(dest));
    return folder.empty() ? "bundle.content=" + source
                          : "bundle.content-into=" + folder + "|" + source;
}
