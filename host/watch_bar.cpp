#include "host/watch_bar.h"

#include "render/surface.h"

#include <algorithm>
#include <cstdio>

namespace nuvalo {

namespace {

constexpr int kPlayLeft = 4, kPlayRight = 44;
constexpr int kSpeedLeft = 48, kSpeedRight = 96;
constexpr int kClipLeft = 436, kClipRight = 476;
constexpr int kTextY = kWatchBarTop + 5;

void drawString(Surface dst, int x, int y, const char* text) {
    drawText(dst, x, y, text, static_cast<int>(std::char_traits<char>::length(text)));
}

void drawCentred(Surface dst, int left, int right, int y, const char* text) {
    const int count = static_cast<int>(std::char_traits<char>::length(text));
    drawText(dst, (left + right - textWidth(text, count)) / 2, y, text, count);
}

} // namespace

WatchBarPart watchBarPartAt(int x, int y) {
    if (y < kWatchBarTop || y >= kFrameHeight) {
        return WatchBarPart::none;
    }
    if (x >= kPlayLeft && x < kPlayRight) {
        return WatchBarPart::play;
    }
    if (x >= kSpeedLeft && x < kSpeedRight) {
        return WatchBarPart::speed;
    }
    if (x >= kClipLeft && x < kClipRight) {
        return WatchBarPart::clip;
    }
    // A little either side of the track still seeks to its ends.
    if (x >= kWatchSeekLeft - 4 && x < kWatchSeekRight + 4) {
        return WatchBarPart::seek;
    }
    return WatchBarPart::none;
}

std::uint32_t watchSeekAt(int x, std::uint32_t length) {
    const int along = std::clamp(x, kWatchSeekLeft, kWatchSeekRight) - kWatchSeekLeft;
    const std::uint64_t span = kWatchSeekRight - kWatchSeekLeft;
    return static_cast<std::uint32_t>(
        (std::uint64_t{length} * static_cast<std::uint64_t>(along) + span / 2) / span);
}

namespace {

// Pause as two bars, play as a triangle pointing right, 14 pixels high.
void drawPlayButton(Surface dst, bool playing) {
    const int top = kWatchBarTop + 6, centre = (kPlayLeft + kPlayRight) / 2;
    if (playing) {
        fillRect(dst, centre - 6, top, centre - 2, top + 14, kBlack);
        fillRect(dst, centre + 2, top, centre + 6, top + 14, kBlack);
        return;
    }
    for (int row = 0; row < 14; ++row) {
        const int reach = row < 7 ? row : 13 - row;
        fillRect(dst, centre - 5, top + row, centre - 4 + reach * 10 / 7, top + row + 1, kBlack);
    }
}

} // namespace

void drawWatchBar(Surface dst, const WatchStatus& status) {
    // White, as the text's own boxes are, with a line above.
    fillRect(dst, 0, kWatchBarTop, kFrameWidth, kFrameHeight, kWhite);
    fillRect(dst, 0, kWatchBarTop, kFrameWidth, kWatchBarTop + 1, kBlack);
    drawPlayButton(dst, status.playing);
    drawCentred(dst, kSpeedLeft, kSpeedRight, kTextY, watchSpeedName(status.speed));
    const auto along = [&status](std::uint32_t at) {
        return status.length == 0
                   ? 0
                   : static_cast<int>(std::uint64_t{at} * (kWatchSeekRight - kWatchSeekLeft) /
                                      status.length);
    };
    // The track, and what has been played of it.
    const int trackTop = kWatchBarTop + 11, trackBottom = kWatchBarTop + 15;
    fillRect(dst, kWatchSeekLeft, trackTop, kWatchSeekRight, trackBottom, 0xB0B0B0);
    const int played = along(status.position);
    fillRect(dst, kWatchSeekLeft, trackTop, kWatchSeekLeft + played, trackBottom, kBlack);
    fillRect(dst, kWatchSeekLeft + played - 2, kWatchBarTop + 6, kWatchSeekLeft + played + 2,
             kWatchBarTop + 20, kBlack);
    // The clip's stretch, under the track.
    fillRect(dst, kWatchSeekLeft + along(status.clipFrom), kWatchBarTop + 18,
             kWatchSeekLeft + along(status.clipTo), kWatchBarTop + 21, 0x2060E0);
    drawCentred(dst, kClipLeft, kClipRight, kTextY, "GIF");
    // Seconds at 50 steps a second, to the hundredth.
    char time[32];
    std::snprintf(time, sizeof time, "%u.%02u/%u.%02u", status.position / 50,
                  status.position % 50 * 2, status.length / 50, status.length % 50 * 2);
    drawString(dst, kClipRight + 6, kTextY, time);
    if (status.atEnd) {
        // What the record proves, in a line of its own above the bar.
        const int count = static_cast<int>(status.verdict.size());
        const int width = std::min(textWidth(status.verdict.data(), count), kFrameWidth - 8);
        fillRect(dst, (kFrameWidth - width) / 2 - 6, kWatchBarTop - 22,
                 (kFrameWidth + width) / 2 + 6, kWatchBarTop, kWhite);
        drawText(dst, (kFrameWidth - width) / 2, kWatchBarTop - 20, status.verdict.data(), count);
    }
}

} // namespace nuvalo
