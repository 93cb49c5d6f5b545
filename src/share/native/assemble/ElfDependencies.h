// The shared libraries an ELF file needs and the name it is known by as a
// library, read from its dynamic section: what a Debian package's
// dependencies are computed from.
#ifndef ELFDEPENDENCIES_H
#define ELFDEPENDENCIES_H

#include <string>

#include "tstrings.h"

struct ElfDependencies {
    /// False when the bytes are not a 64-bit ELF file.
    bool isElf = false;
    /// DT_NEEDED, in the file's order.
    StringArray needed;
    /// DT_SONAME; empty when there is none.
    std::string soname;
};

/// Reads the whole file `bytes`. A file that is not ELF, or whose dynamic
/// section cannot be read (a static executable, a truncated file), yields
/// no names.
ElfDependencies readElfDependencies(const std::string& bytes);

#endif // ELFDEPENDENCIES_H
