#include "game/numbers.h"
#include "render/cells.h"
#include "render/draw.h"

namespace nuvalo {

namespace {

constexpr int kPlace = 20; // width of one digit place
constexpr int kPlaces = 6; // a number never shows more
// What the untruncated value must exceed for place k to show (place 0 always shows).
constexpr double kThreshold[kPlaces] = {0.0, 9.0, 99.0, 999.0, 9999.0, 99999.0};

// Shift-JIS labels.
constexpr char kDistanceLabel[] = "\x97\x8E\x89\xBA\x8B\x97\x97\xA3";             // 落下距離
constexpr char kBestLabel[] = "\x89\xDF\x8B\x8E\x8D\xC5\x8D\x82\x8B\x4C\x98\x5E"; // 過去最高記録
constexpr char kPoints[] = "\x93\x5F";                                            // 点
constexpr char kSpeedLabel[] = "\x97\x8E\x89\xBA\x91\xAC\x93\x78";                // 落下速度
constexpr char kTargetsLabel[] = "\x8C\x82\x92\xC4\x90\x94";                      // 撃墜数

} // namespace

void drawDigit(const GdiResources& gdi, Surface dst, int x, int y, int d) {
    // A negative remainder names a cell left of the sheet; the blit copies
    // only what lies inside the sheet, which here is nothing.
    blit(dst, gdi.botanSheet, cells::digit(d), x, y, RasterOp::srcCopy);
}

void drawNumber(const GdiResources& gdi, Surface dst, int onesX, int y, std::int32_t v, double t,
                int always) {
    std::int32_t w = v;
    for (int k = 0; k < kPlaces; ++k) {
        if (k > 0) {
            w = (w - w % 10) / 10;
        }
        if (k < always || (k > 0 && t > kThreshold[k])) {
            drawDigit(gdi, dst, onesX - kPlace * k, y, w % 10);
        }
    }
}

void drawCount(const GdiResources& gdi, Surface dst, int onesX, int y, std::int32_t n) {
    drawDigit(gdi, dst, onesX, y, n % 10);
    drawDigit(gdi, dst, onesX - kPlace, y, (n / 10) % 10);
}

void drawPanel(const GdiResources& gdi, Surface dst, const GameState& s) {
    fillRect(dst, 400, 0, 600, 450, gdi.whiteBrush);
    blit(dst, gdi.botanSheet, cells::startButton(s.running), 460, 50, RasterOp::srcCopy);

    drawLabel(dst, 420, 100, kDistanceLabel);
    blit(dst, gdi.botanSheet, cells::kUnitKm, 550, 120, RasterOp::srcCopy);
    drawNumber(gdi, dst, 530, 120, truncToInt32(s.distance), s.distance, 1);

    drawLabel(dst, 420, 350, kBestLabel);
    drawLabel(dst, 550, 380, kPoints);
    drawNumber(gdi, dst, 530, 380, truncToInt32(s.bestScore), s.bestScore, 1);

    drawLabel(dst, 420, 150, kSpeedLabel);
    blit(dst, gdi.botanSheet, cells::kUnitKmPerS, 550, 170, RasterOp::srcCopy);
    // Both products are exact in double (a float times a small constant), so
    // the truncation sees the true value: 19.99 shows 999, never 1000.
    const std::int32_t p50 = truncToInt32(double{s.speed} * 50.0);
    const std::int32_t p5 = truncToInt32(double{s.speed} * 5.0);
    drawDigit(gdi, dst, 530, 170, p50 % 10);
    drawDigit(gdi, dst, 510, 170, p5 % 10);
    drawDigit(gdi, dst, 490, 170, ((p5 - p5 % 10) / 10) % 10);
    if (s.speed >= 20.0f) {
        drawDigit(gdi, dst, 470, 170, 1);
    }

    drawLabel(dst, 420, 200, kTargetsLabel);
    drawCount(gdi, dst, 530, 230, s.targetsDown[0]);
    drawCount(gdi, dst, 530, 270, s.targetsDown[1]);
    blit(dst, gdi.steinSheet, cells::targetIcon(0), 465, 232, RasterOp::srcCopy);
    blit(dst, gdi.steinSheet, cells::targetIcon(1), 465, 272, RasterOp::srcCopy);
}

} // namespace nuvalo
