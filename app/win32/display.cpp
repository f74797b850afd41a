#include "app/win32/display.h"

#include "app/frame_scale.h"
#include "app/rules.h"

#include <algorithm>

namespace nuvalo::win32 {

int frameScale(unsigned dpi) {
    return std::max(desktopFactor(static_cast<double>(dpi) / kBaseDpi), 1);
}

std::uint32_t framePosition(std::uint32_t lParam, int scale) {
    if (scale <= 1) {
        return lParam;
    }
    // Positions are signed 16-bit values; dividing them as such keeps a
    // position left of or above the client area outside the frame.
    const auto s = static_cast<std::int16_t>(scale);
    const auto x = static_cast<std::int16_t>(static_cast<std::int16_t>(lParam & 0xFFFFu) / s);
    const auto y = static_cast<std::int16_t>(static_cast<std::int16_t>(lParam >> 16) / s);
    return mouseParam(x, y);
}

} // namespace nuvalo::win32
