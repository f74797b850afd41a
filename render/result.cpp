#include "game/game.h"
#include "game/numbers.h"
#include "render/cells.h"
#include "render/draw.h"

#include <cstdint>

namespace nuvalo {

namespace {

constexpr char kResultTitle[] = "\x8C\x8B\x89\xCA";                    // 結果
constexpr char kDistanceLabel[] = "\x97\x8E\x89\xBA\x8B\x97\x97\xA3";  // 落下距離
constexpr char kScoreLabel[] = "\x93\xBE\x93\x5F";                     // 得点
constexpr char kPoints[] = "\x93\x5F";                                 // 点
constexpr char kTargetsLabel[] = "\x8C\x82\x92\xC4\x90\x94";           // 撃墜数
constexpr char kTimes2000[] = "\x81\x7E\x32\x30\x30\x30\x93\x5F";      // ×2000点
constexpr char kTimes10000[] = "\x81\x7E\x31\x30\x30\x30\x30\x93\x5F"; // ×10000点

constexpr std::int64_t kBonus0 = 2000;
constexpr std::int64_t kBonus1 = 10000;

} // namespace

void drawResult(const GdiResources& gdi, Surface dst, const GameState& s) {
    // Once complete everything shows; until then each line waits for its step.
    const auto shownAt = [&s](int step) { return s.resultTicks > step || s.resultPhase == 2; };

    fillRect(dst, 0, 0, 400, 450, gdi.whiteBrush);
    drawLabel(dst, 180, 50, kResultTitle);
    if (shownAt(30)) {
        drawLabel(dst, 120, 100, kDistanceLabel);
    }
    if (shownAt(60)) {
        blit(dst, gdi.botanSheet, cells::kUnitKm, 250, 120, RasterOp::srcCopy);
        drawNumber(gdi, dst, 230, 120, truncToInt32(s.distance), s.distance, 2);
    }
    if (shownAt(30)) {
        drawLabel(dst, 120, 300, kScoreLabel);
    }
    if (shownAt(60)) {
        drawLabel(dst, 250, 320, kPoints);
        // The score grows by each bonus as its row appears; complete, it is
        // the run's score (saturating like it rather than wrapping).
        const std::int64_t b0 = shownAt(120) ? kBonus0 * s.targetsDown[0] : 0;
        const std::int64_t b1 = shownAt(150) ? kBonus1 * s.targetsDown[1] : 0;
        const std::int32_t v = addSaturated(truncToInt32(s.distance), b0 + b1);
        const double t = (static_cast<double>(b0) + double{s.distance}) + static_cast<double>(b1);
        drawNumber(gdi, dst, 230, 320, v, t, 2);
    }
    // The badge compares with the best score read when the run started.
    if (s.resultPhase == 2 && static_cast<double>(runScore(s)) > double{s.bestScore}) {
        blit(dst, gdi.botanSheet, cells::kBadgeLeft, 270, 350, RasterOp::srcCopy);
        blit(dst, gdi.botanSheet, cells::kBadgeRight, 304, 350, RasterOp::srcCopy);
    }
    if (shownAt(90)) {
        drawLabel(dst, 120, 170, kTargetsLabel);
    }
    if (shownAt(120)) {
        drawCount(gdi, dst, 230, 200, s.targetsDown[0]);
        drawLabel(dst, 250, 200, kTimes2000);
    }
    if (shownAt(150)) {
        drawCount(gdi, dst, 230, 240, s.targetsDown[1]);
        drawLabel(dst, 250, 240, kTimes10000);
    }
    if (shownAt(120)) {
        blit(dst, gdi.steinSheet, cells::targetIcon(0), 165, 202, RasterOp::srcCopy);
    }
    if (shownAt(150)) {
        blit(dst, gdi.steinSheet, cells::targetIcon(1), 165, 242, RasterOp::srcCopy);
    }
}

} // namespace nuvalo
