// Which files this process has mapped into its memory: the way to learn
// whether the Java runtime uses a class data archive without asking it to
// write anything (a log file would be one more file that it has to create,
// and whose name it interprets). Each host implements it: Linux reads
// /proc/self/maps, macOS walks the task's memory regions.
#ifndef MAPPEDFILES_H
#define MAPPEDFILES_H

#include <string>

namespace MappedFiles {

/// True when a file whose last path component is `fileName` is mapped
/// into this process, also when it has been deleted since. False when the
/// mappings cannot be read.
bool isMapped(const std::string& fileName);

} // namespace MappedFiles

#endif // MAPPEDFILES_H
