#include "app/web/web_game.h"

#include "game/game.h"
#include "persist/run_file.h"
#include "render/surface.h"

#include <cstddef>

namespace nuvalo::web {

namespace {

constexpr std::size_t kFramePixels =
    static_cast<std::size_t>(kFrameWidth) * static_cast<std::size_t>(kFrameHeight);

} // namespace

CanvasPixels::CanvasPixels() : rgba_(std::make_unique<std::uint32_t[]>(kFramePixels)) {}

const std::uint8_t* CanvasPixels::from(const Bitmap& frame) {
    // 0x00RRGGBB to the bytes R, G, B, A, in the one pass the upload needs
    // anyway; the host has already told that the frame is a new one.
    const Pixel* __restrict in = frame.pixels.get();
    std::uint32_t* __restrict out = rgba_.get();
    for (std::size_t i = 0; i < kFramePixels; ++i) {
        const Pixel p = in[i];
        out[i] = 0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
    }
    return reinterpret_cast<const std::uint8_t*>(out);
}

Bitmap secondCopyNotice() {
    constexpr int kWidth = 11 * 16; // eleven full-width characters
    Bitmap notice;
    notice.pixels = std::make_unique<Pixel[]>(kFramePixels);
    notice.width = kFrameWidth;
    notice.height = kFrameHeight;
    const Surface s = surfaceOf(notice);
    fillRect(s, 0, 0, kFrameWidth, kFrameHeight, kWhite);
    drawLabel(s, (kFrameWidth - kWidth) / 2, (kFrameHeight - 16) / 2, kSecondCopyNotice);
    return notice;
}

TouchSide touchSide(FramePoint p) {
    constexpr int kPlayfieldWidth = 400;
    if (p.x < 0 || p.x >= kPlayfieldWidth || p.y < 0 || p.y >= kFrameHeight) {
        return TouchSide::none;
    }
    return p.x < kPlayfieldWidth / 2 ? TouchSide::left : TouchSide::right;
}

LinkedRun runOfLink(std::string_view link) {
    LinkedRun linked;
    RunSource source = readRunLink(link);
    if (!source.ok) {
        linked.reason = std::move(source.reason);
        return linked;
    }
    ReadRun read = decodeRun(source.bytes.data(), source.bytes.size(), kRulesVersion);
    // Only a record of another version comes back filled in but not ok.
    linked.ok = read.ok || (read.run.rules != 0 && read.run.rules != kRulesVersion);
    linked.run = std::move(read.run);
    linked.startSeconds = source.startSeconds;
    if (!linked.ok) {
        linked.reason = std::move(read.reason);
    }
    return linked;
}

} // namespace nuvalo::web
