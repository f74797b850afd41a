#pragma once
// PNG files for every build: frames written as snapshots and reference
// images, and the PNGs the game and its tests read (the window icon, the
// reference frames). One image library does both, the same in the desktop,
// Windows and browser builds.

#include "render/gdi.h"

#include <cstdint>
#include <span>
#include <vector>

namespace nuvalo {

// The picture as an 8-bit RGB PNG file, compressed. Empty when there is no
// picture or it cannot be encoded.
std::vector<std::uint8_t> encodePng(const Pixel* pixels, int width, int height);

// Writes `image` to `path`. False when the image is empty or the file cannot
// be written completely.
bool writePng(const char* path, const Bitmap& image);

// The picture a PNG file holds, as 0x00RRGGBB pixels (any alpha dropped). An
// empty bitmap when the bytes are not a PNG that can be decoded.
Bitmap decodePng(std::span<const std::uint8_t> png);

// The same, from the file at `path`.
Bitmap readPng(const char* path);

} // namespace nuvalo
