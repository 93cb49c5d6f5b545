// Mach-O files for the tests of the assembly command's checks of
// executables and runtime libraries: headers only, as far as those checks
// read.
#ifndef MACHOFILES_H
#define MACHOFILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

/// The CPU types of the two architectures a Mac launcher is built for.
const std::uint32_t cpuX86_64 = 0x01000007;
const std::uint32_t cpuArm64 = 0x0100000c;

/// A thin 64-bit Mach-O header for `cpu`, padded to 4096 bytes, of
/// `fileType` (2 an executable, 6 a dynamic library).
std::string thinMachO(std::uint32_t cpu, std::uint32_t fileType = 2);

/// A universal Mach-O file with one thin header a slice, one slice per
/// entry of `cpus`, each at its own 4096-byte page.
std::string fatMachO(const std::vector<std::uint32_t>& cpus);

} // namespace testing_support

#endif // MACHOFILES_H
