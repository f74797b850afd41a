#pragma once
// The watch's controls as the desktop windows draw them, over the bottom of
// the frame while they are wanted: play or pause, the speed, the seek bar,
// the time, the clip's stretch and its button, and at the end what the
// record proves. The page draws its own.

#include "host/watch.h"
#include "render/gdi.h"

#include <cstdint>

namespace nuvalo {

inline constexpr int kWatchBarTop = 424;
inline constexpr int kWatchSeekLeft = 100, kWatchSeekRight = 424;

enum class WatchBarPart : std::uint8_t { none, play, speed, seek, clip };
WatchBarPart watchBarPartAt(int x, int y);
// The step a click at `x` on the seek bar goes to.
std::uint32_t watchSeekAt(int x, std::uint32_t length);

void drawWatchBar(Surface dst, const WatchStatus& status);

} // namespace nuvalo
