// PNG images as icons: the whole file is checked (signature, chunk lengths,
// chunk CRCs, IHDR first and valid, IEND last with nothing after it, the
// IDAT chunks one zlib stream of just the image data the IHDR chunk
// describes), so that no reader refuses an icon the command accepted, and
// the sizes each output takes.
#ifndef PNGIMAGE_H
#define PNGIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

/// One icon image: the file it came from, its bytes and its side length.
struct IconImage {
    std::string path;
    std::string png;
    std::uint32_t side = 0;
};

/// Checks `png` (the bytes of the file at `path`, named in errors) as a
/// whole and returns it as a square icon. Throws a one-line error when it is
/// not a well-formed PNG file or not square.
IconImage readPngIcon(const std::string& png, const std::string& path);

/// True for a side length that the icon theme's hicolor folders have: 16,
/// 22, 24, 32, 48, 64, 96, 128, 192, 256 or 512.
bool isHicolorSize(std::uint32_t side);

/// The icons of an image: those of a hicolor size, sorted by size (the
/// others are left out). Throws when none has a hicolor size or when two
/// have the same size.
std::vector<IconImage> imageIcons(std::vector<IconImage> icons);

#endif // PNGIMAGE_H
