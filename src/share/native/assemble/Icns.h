// The bundle's icon: a macOS icon file (icns) made from one PNG image. An
// icns entry may hold PNG data as it is, so no image library is needed: the
// PNG's header gives the size, and the size picks the entry type.
#ifndef ICNS_H
#define ICNS_H

#include <string>

/// The icns file holding the PNG image `png` (the bytes of the file at
/// `path`, named in errors). Throws when it is not a PNG image or when it
/// is not square with a side of 16, 32, 64, 128, 256, 512 or 1024 pixels.
std::string icnsFromPng(const std::string& png, const std::string& path);

#endif // ICNS_H
