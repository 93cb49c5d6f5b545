// What an executable's header says: Mach-O (thin or universal) or ELF, and
// the architectures it holds. The assembly command reads it from the
// launcher to know which system and which runtimes the launcher can run,
// and to find the Mach-O files that signing has to cover.
#ifndef EXECUTABLEFORMAT_H
#define EXECUTABLEFORMAT_H

#include <string>

#include "tstrings.h"

enum class BinaryFormat { Unknown, MachO, Elf };

struct ExecutableInfo {
    BinaryFormat format = BinaryFormat::Unknown;
    /// "x86_64" or "arm64" (other architectures by their Mach-O or ELF
    /// number, as "cpu 18"), in the order of the header.
    StringArray architectures;
};

/// The first bytes read from an executable this long: enough for the
/// header of a universal file of many architectures.
const std::size_t executableHeaderSize = 4096;

/// Reads the header at the start of `bytes` (the file's first bytes, or
/// all of a shorter file). Unknown for anything else, among them Java class
/// files, whose magic number a universal Mach-O file shares.
ExecutableInfo readExecutableHeader(const std::string& bytes);

/// The operating system of the runtime's `release` file that runs the
/// format: "Darwin" for Mach-O, "Linux" for ELF.
const char* systemOf(BinaryFormat format);

/// "Mach-O", "ELF" or "unknown", in messages.
const char* formatName(BinaryFormat format);

#endif // EXECUTABLEFORMAT_H
