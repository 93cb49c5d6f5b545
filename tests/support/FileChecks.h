// What the tests read back from the file system after a command ran: what
// a path is, its mode, a link's text, a folder's names, and where a tool
// of the machine lies.
#ifndef FILECHECKS_H
#define FILECHECKS_H

#include <string>
#include <vector>

namespace testing_support {

/// True when something (also a dangling link) is at `path`.
bool exists(const std::string& path);

/// The permission bits (07777) of `path` itself, a link not followed; 0
/// when there is nothing.
unsigned modeOf(const std::string& path);

/// True when `path` itself is a regular file, not a link to one.
bool isRegular(const std::string& path);

/// The text of the link at `path`; empty when it is none.
std::string linkText(const std::string& path);

/// The names in the folder `path` but "." and "..", sorted; empty when it
/// cannot be read.
std::vector<std::string> listDir(const std::string& path);

/// The path of the command `name` as the shell finds it on PATH; empty
/// when there is none.
std::string findTool(const std::string& name);

/// The path of the first of `names` that the shell finds; empty when it
/// finds none.
std::string findFirstTool(const std::vector<std::string>& names);

} // namespace testing_support

#endif // FILECHECKS_H
