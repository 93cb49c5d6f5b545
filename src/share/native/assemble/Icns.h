// The bundle's icon: a macOS icon file (icns) made from PNG images. An icns
// entry may hold PNG data as it is, so no image library is needed: each
// image's size picks its entry type.
#ifndef ICNS_H
#define ICNS_H

#include <cstdint>
#include <string>
#include <vector>

#include "PngImage.h"

/// The icns file holding every one of `icons` whose size icns has (16, 32,
/// 64, 128, 256, 512 and 1024 pixels), smallest first; the others are left
/// out. Throws when none fits or when two have the same size.
std::string icnsFromIcons(const std::vector<IconImage>& icons);

/// True for a side length that an icns entry takes.
bool isIcnsSize(std::uint32_t side);

#endif // ICNS_H
