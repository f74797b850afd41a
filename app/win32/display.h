#pragma once
// How the 600 x 450 frame maps onto the window's client area on displays of
// any pixel density.

#include <cstdint>

namespace nuvalo::win32 {

// The platform's reference density: 96 dots per inch is a scale of 100%.
inline constexpr unsigned kBaseDpi = 96;

// The whole factor by which the frame is enlarged at `dpi`: 1 below a scale of
// 200%, otherwise the whole part of the scale. The frame is never stretched by
// a fraction, which would blur its pixel art.
int frameScale(unsigned dpi);

// A mouse message's packed client position (x in the low, y in the high 16
// bits) turned into frame pixels for a frame enlarged `scale` times.
std::uint32_t framePosition(std::uint32_t lParam, int scale);

} // namespace nuvalo::win32
