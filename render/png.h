#pragma once
// Frames as PNG files, for snapshots and reference images. Self-contained (no
// image or compression library), so every build of the game can write them.

#include "render/gdi.h"

#include <cstdint>
#include <vector>

namespace nuvalo {

// The picture as an 8-bit RGB PNG file, compressed.
std::vector<std::uint8_t> encodePng(const Pixel* pixels, int width, int height);

// Writes `image` to `path`. False when the image is empty or the file cannot
// be written completely.
bool writePng(const char* path, const Bitmap& image);

} // namespace nuvalo
