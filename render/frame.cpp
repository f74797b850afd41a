#include "game/game.h"
#include "render/cells.h"
#include "render/draw.h"
#include "render/render.h"

#include <cstdint>

namespace nuvalo {

namespace {

// The curtain of the crash sequence starts at this row minus crashTimer.
constexpr int kCurtainBase = 500;
// The panel covers everything from this column on.
constexpr int kPlayfieldWidth = 400;
// While crashTimer is below this the whole frame flashes white.
constexpr int kFlashTicks = 5;

// During a crash an object is drawn only while a free row remains between
// its last row and the curtain, so it never shows cut off by the curtain.
bool hidden(const GameState& s, std::int32_t y, int height) {
    return s.crashTimer != 0 &&
           std::int64_t{y} + height >= std::int64_t{kCurtainBase} - s.crashTimer;
}

void drawMasked(const GdiResources& gdi, Surface dst, Cell mask, Cell sprite, int x, int y) {
    blit(dst, gdi.steinSheet, mask, x, y, RasterOp::srcPaint);
    blit(dst, gdi.steinSheet, sprite, x, y, RasterOp::srcAnd);
}

// The curtain's first row, kept within int for extreme counters.
int curtainTop(std::int32_t crashTimer) {
    const std::int64_t top = std::int64_t{kCurtainBase} - crashTimer;
    return top < 0 ? 0 : top > kFrameHeight ? kFrameHeight : static_cast<int>(top);
}

} // namespace

void drawStar(const GdiResources& gdi, Surface dst, const GameState& s) {
    blit(dst, gdi.starSheet, cells::kStar, s.starX - cells::kStarAnchorX,
         s.starY - cells::kStarAnchorY, RasterOp::srcCopy);
}

void drawObjects(const GdiResources& gdi, Surface dst, const GameState& s) {
    // Later objects cover earlier ones: stones in chain order, then the
    // target, then the boulder.
    for (const Stone& stone : s.stones) {
        if (!hidden(s, stone.y, cells::kStoneSize)) {
            drawMasked(gdi, dst, cells::kStoneMask, cells::kStoneSprite, stone.x, stone.y);
        }
    }
    if (!hidden(s, s.targetY, cells::kTargetSize)) {
        drawMasked(gdi, dst, cells::kTargetMask, cells::targetSprite(s.targetKind), s.targetX,
                   s.targetY);
    }
    if (!hidden(s, s.boulderY, cells::kBoulderSize)) {
        drawMasked(gdi, dst, cells::kBoulderMask, cells::kBoulderSprite, s.boulderX, s.boulderY);
    }
}

namespace {

void drawPlayfield(const GdiResources& gdi, Surface dst, const GameState& s) {
    // The picture is that of a black ground over the whole frame, then the
    // flash and the curtain in white, then the panel's own white ground over
    // x >= 400. Fills dominate the cost of a frame, so each background pixel
    // is written once, with the colour it ends up with.
    if (s.crashTimer == 0) {
        fillRect(dst, 0, 0, kPlayfieldWidth, kFrameHeight, gdi.blackBrush);
        drawStar(gdi, dst, s);
    } else if (s.crashTimer < kFlashTicks) {
        fillRect(dst, 0, 0, kPlayfieldWidth, kFrameHeight, gdi.whiteBrush);
    } else {
        const int curtain = curtainTop(s.crashTimer);
        fillRect(dst, 0, 0, kPlayfieldWidth, curtain, gdi.blackBrush);
        fillRect(dst, 0, curtain, kPlayfieldWidth, kFrameHeight, gdi.whiteBrush);
    }
    drawObjects(gdi, dst, s);
}

} // namespace

void composeFrame(GdiResources& gdi, const GameState& s) {
    const Surface dst = gdi.backBufferDC;
    if (s.resultPhase != 0) {
        // The result screen and the panel lay their own white grounds.
        drawResult(gdi, dst, s);
    } else {
        drawPlayfield(gdi, dst, s);
    }
    drawPanel(gdi, dst, s);
}

} // namespace nuvalo
