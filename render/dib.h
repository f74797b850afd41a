#pragma once
// Turns a stored sheet (a device-independent bitmap without file header) into
// a drawable bitmap.

#include "render/gdi.h"

#include <cstdint>
#include <span>

namespace nuvalo {

// Accepts uncompressed 8-bit palette bitmaps, bottom-up or top-down, and fills
// `out` with their colours. Anything else, or data too short for what its
// header claims, leaves `out` empty (0 x 0) and returns false, so that a bad
// sheet draws nothing instead of reading past its bytes.
bool decodeDib(std::span<const std::uint8_t> dib, Bitmap& out);

} // namespace nuvalo
