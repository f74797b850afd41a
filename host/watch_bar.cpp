#include "host/watch_bar.h"

#include "render/surface.h"

#include <algorithm>
#include <cstdio>

namespace nuvalo {

namespace {

constexpr int kPlayLeft = 4, kPlayRight = 44;
constexpr int kSpeedLeft = 48, kSpeedRight = 96;
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

void drawWatchBar(Surface dst, const WatchStatus& status) {
    fillRect(dst, 0, kWatchBarTop, kFrameWidth, kFrameHeight, kBlack);
    drawCentred(dst, kPlayLeft, kPlayRight, kTextY, status.playing ? "||" : ">");
    drawCentred(dst, kSpeedLeft, kSpeedRight, kTextY, watchSpeedName(status.speed));
    // The track, and what has been played of it.
    const int trackTop = kWatchBarTop + 11, trackBottom = kWatchBarTop + 15;
    fillRect(dst, kWatchSeekLeft, trackTop, kWatchSeekRight, trackBottom, 0x606060);
    const int played = status.length == 0
                           ? 0
                           : static_cast<int>(std::uint64_t{status.position} *
                                              (kWatchSeekRight - kWatchSeekLeft) / status.length);
    fillRect(dst, kWatchSeekLeft, trackTop, kWatchSeekLeft + played, trackBottom, kWhite);
    fillRect(dst, kWatchSeekLeft + played - 2, kWatchBarTop + 7, kWatchSeekLeft + played + 2,
             kWatchBarTop + 19, kWhite);
    // Seconds at 50 steps a second, to the hundredth.
    char time[32];
    std::snprintf(time, sizeof time, "%u.%02u/%u.%02u", status.position / 50,
                  status.position % 50 * 2, status.length / 50, status.length % 50 * 2);
    drawString(dst, kWatchSeekRight + 10, kTextY, time);
    if (status.atEnd) {
        // What the record proves, in a line of its own above the bar.
        const int count = static_cast<int>(status.verdict.size());
        const int width = std::min(textWidth(status.verdict.data(), count), kFrameWidth - 8);
        fillRect(dst, (kFrameWidth - width) / 2 - 4, kWatchBarTop - 24,
                 (kFrameWidth + width) / 2 + 4, kWatchBarTop, kBlack);
        drawText(dst, (kFrameWidth - width) / 2, kWatchBarTop - 20, status.verdict.data(), count);
    }
}

} // namespace nuvalo
