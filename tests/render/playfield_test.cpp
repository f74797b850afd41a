// Frames of the playfield: background, star, masked objects, crash effects.
// Expectations are built from the sheet cells, so they hold for any artwork
// that keeps the layout and the mask invariant.

#include "render/cells.h"
#include "render/render.h"
#include "support.h"

#include <gtest/gtest.h>

namespace nuvalo {
namespace {

using test::compose;
using test::emptyField;
using test::frame;
using test::isFilled;
using test::pixelAt;
using test::resources;

Pixel cellPixel(const Bitmap& sheet, Cell c, int x, int y) {
    return test::sheetPixel(sheet, c.x + x, c.y + y);
}

// Checks the masked object at (x, y): its sprite inside the mask's
// silhouette, `under(px, py)` outside it.
template <typename Under> void expectMasked(Cell mask, Cell sprite, int x, int y, Under under) {
    const Bitmap& stein = resources().steinSheet;
    int inside = 0;
    for (int r = 0; r < mask.h; ++r) {
        for (int c = 0; c < mask.w; ++c) {
            const bool silhouette = cellPixel(stein, mask, c, r) == kWhite;
            inside += silhouette ? 1 : 0;
            const Pixel want = silhouette ? cellPixel(stein, sprite, c, r) : under(x + c, y + r);
            ASSERT_EQ(pixelAt(frame(), x + c, y + r), want) << "cell pixel " << c << "," << r;
        }
    }
    // A mask that is all black or all white would make the check vacuous.
    ASSERT_GT(inside, 0);
    ASSERT_LT(inside, mask.w * mask.h);
}

const auto kOverBlack = [](int, int) { return kBlack; };
const auto kOverWhite = [](int, int) { return kWhite; };

TEST(Playfield, BackgroundIsBlackAndThePanelWhiteEdgeToEdge) {
    GameState s = emptyField();
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 0, 0, 400, 450, kBlack));
    EXPECT_EQ(pixelAt(frame(), 400, 0), kWhite);
    EXPECT_EQ(pixelAt(frame(), 599, 449), kWhite);
    EXPECT_EQ(pixelAt(frame(), 599, 0), kWhite);
}

TEST(Playfield, StarAnchorLandsOnItsPosition) {
    GameState s = emptyField();
    s.starX = 200;
    s.starY = 80;
    compose(s);
    EXPECT_TRUE(test::showsCell(frame(), 188, 59, resources().starSheet, cells::kStar));
    EXPECT_EQ(pixelAt(frame(), 200, 80), kWhite); // the anchor pixel
    // Only the cell was drawn.
    EXPECT_TRUE(isFilled(frame(), 0, 0, 400, 59, kBlack));
    EXPECT_TRUE(isFilled(frame(), 0, 89, 400, 450, kBlack));
}

TEST(Playfield, StarAtTheEdgesAndAboveTheFrame) {
    GameState s = emptyField();
    s.starY = -20; // run start: rows -41..-12
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 0, 0, 400, 450, kBlack));

    s.starX = 12;
    s.starY = 21;
    compose(s);
    EXPECT_TRUE(test::showsCell(frame(), 0, 0, resources().starSheet, cells::kStar));

    // At the right limit the cell's last column (x 400) is under the panel.
    s.starX = 388;
    compose(s);
    EXPECT_TRUE(test::showsCell(frame(), 376, 0, resources().starSheet, Cell{0, 0, 24, 30}));
    EXPECT_TRUE(isFilled(frame(), 400, 0, 401, 30, kWhite));
}

TEST(Playfield, MaskedObjectsOverBlack) {
    GameState s = emptyField();
    s.stones[4] = Stone{40, 300};
    s.targetX = 150;
    s.targetY = 100;
    s.targetKind = 0;
    s.boulderX = 250;
    s.boulderY = 200;
    compose(s);
    expectMasked(cells::kStoneMask, cells::kStoneSprite, 40, 300, kOverBlack);
    expectMasked(cells::kTargetMask, cells::targetSprite(0), 150, 100, kOverBlack);
    expectMasked(cells::kBoulderMask, cells::kBoulderSprite, 250, 200, kOverBlack);
}

TEST(Playfield, BothTargetKindsShareOneMask) {
    GameState s = emptyField();
    s.targetX = 150;
    s.targetY = 100;
    s.targetKind = 1;
    compose(s);
    expectMasked(cells::kTargetMask, Cell{75, 25, 25, 25}, 150, 100, kOverBlack);
    s.targetKind = 0;
    compose(s);
    expectMasked(cells::kTargetMask, Cell{50, 25, 25, 25}, 150, 100, kOverBlack);
}

TEST(Playfield, StoneOverTheStarKeepsTheStarAroundIt) {
    GameState s = emptyField();
    s.starX = 112;
    s.starY = 121; // star cell at (100, 100)
    s.stones[0] = Stone{100, 105};
    compose(s);
    const Bitmap& star = resources().starSheet;
    expectMasked(cells::kStoneMask, cells::kStoneSprite, 100, 105,
                 [&](int x, int y) { return cellPixel(star, cells::kStar, x - 100, y - 100); });
}

TEST(Playfield, LaterObjectsCoverEarlierOnes) {
    GameState s = emptyField();
    s.targetX = 200;
    s.targetY = 100;
    s.targetKind = 1;
    s.stones[5] = Stone{200, 100}; // target over stone
    s.boulderX = 300;
    s.boulderY = 100;
    s.stones[6] = Stone{300, 100}; // boulder over stone
    compose(s);
    const Bitmap& stein = resources().steinSheet;
    const auto stoneUnder = [&](int ox, int oy) {
        return [&, ox, oy](int x, int y) {
            const bool silhouette = cellPixel(stein, cells::kStoneMask, x - ox, y - oy) == kWhite;
            return silhouette ? cellPixel(stein, cells::kStoneSprite, x - ox, y - oy) : kBlack;
        };
    };
    expectMasked(cells::kTargetMask, cells::targetSprite(1), 200, 100, stoneUnder(200, 100));
    expectMasked(cells::kBoulderMask, cells::kBoulderSprite, 300, 100, [&](int x, int y) {
        return x < 325 && y < 125 ? stoneUnder(300, 100)(x, y) : kBlack;
    });

    // The boulder covers the target too.
    GameState t = emptyField();
    t.targetX = 110;
    t.targetY = 110;
    t.boulderX = 100;
    t.boulderY = 100;
    compose(t);
    expectMasked(cells::kBoulderMask, cells::kBoulderSprite, 100, 100, [&](int x, int y) {
        const bool inTarget = x >= 110 && x < 135 && y >= 110 && y < 135;
        if (!inTarget || cellPixel(stein, cells::kTargetMask, x - 110, y - 110) != kWhite) {
            return kBlack;
        }
        return cellPixel(stein, cells::targetSprite(0), x - 110, y - 110);
    });
}

TEST(Playfield, ObjectsPartlyOutsideTheFrameAreClipped) {
    GameState s = emptyField();
    s.stones[0] = Stone{-10, -10};
    s.boulderX = 380; // from x 400 on under the panel
    s.boulderY = 430;
    compose(s);
    const Bitmap& stein = resources().steinSheet;
    const auto expectPart = [&](Cell mask, Cell sprite, int ox, int oy, int x0, int y0, int x1,
                                int y1) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const bool silhouette = cellPixel(stein, mask, x - ox, y - oy) == kWhite;
                ASSERT_EQ(pixelAt(frame(), x, y),
                          silhouette ? cellPixel(stein, sprite, x - ox, y - oy) : kBlack)
                    << x << "," << y;
            }
        }
    };
    expectPart(cells::kStoneMask, cells::kStoneSprite, -10, -10, 0, 0, 15, 15);
    expectPart(cells::kBoulderMask, cells::kBoulderSprite, 380, 430, 380, 430, 400, 450);
    EXPECT_TRUE(isFilled(frame(), 400, 430, 430, 450, kWhite));
}

TEST(CrashEffects, FirstTicksFlashWhiteWithObjectsInColourAndNoStar) {
    for (const int timer : {1, 4}) {
        GameState s = emptyField();
        s.crashTimer = timer;
        s.starX = 200;
        s.starY = 100;
        s.stones[0] = Stone{50, 300};
        s.targetX = 300;
        s.targetY = 50;
        compose(s);
        expectMasked(cells::kStoneMask, cells::kStoneSprite, 50, 300, kOverWhite);
        expectMasked(cells::kTargetMask, cells::targetSprite(0), 300, 50, kOverWhite);
        EXPECT_TRUE(isFilled(frame(), 150, 0, 290, 300, kWhite)) << timer; // star gone
        EXPECT_TRUE(isFilled(frame(), 0, 400, 400, 450, kWhite)) << timer;
    }
}

TEST(CrashEffects, FromTheFifthTickBlackAgainWithNoVisibleCurtain) {
    GameState s = emptyField();
    s.crashTimer = 5;
    s.starX = 200;
    s.starY = 100;
    s.stones[0] = Stone{50, 300};
    compose(s);
    expectMasked(cells::kStoneMask, cells::kStoneSprite, 50, 300, kOverBlack);
    EXPECT_TRUE(isFilled(frame(), 150, 0, 400, 450, kBlack)); // no star, no curtain
    s.crashTimer = 50; // curtain's first row at 450: still nothing
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 150, 0, 400, 450, kBlack));
    s.crashTimer = 51;
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 0, 449, 400, 450, kWhite));
    EXPECT_TRUE(isFilled(frame(), 150, 0, 400, 449, kBlack));
}

TEST(CrashEffects, CurtainHidesObjectsWithoutALeftFreeRow) {
    GameState s = emptyField();
    s.crashTimer = 300;           // curtain from row 200
    s.stones[0] = Stone{20, 174}; // rows 174..198: drawn
    s.stones[1] = Stone{80, 175}; // rows 175..199: hidden
    s.boulderX = 150;
    s.boulderY = 149; // rows 149..198: drawn
    s.targetX = 300;
    s.targetY = 175; // rows 175..199: hidden
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 0, 200, 400, 450, kWhite));
    expectMasked(cells::kStoneMask, cells::kStoneSprite, 20, 174, kOverBlack);
    expectMasked(cells::kBoulderMask, cells::kBoulderSprite, 150, 149, kOverBlack);
    EXPECT_TRUE(isFilled(frame(), 80, 0, 105, 200, kBlack));  // stone 1 not drawn at all
    EXPECT_TRUE(isFilled(frame(), 300, 0, 325, 200, kBlack)); // nor the target

    s.boulderY = 150; // rows 150..199: hidden
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 150, 0, 200, 200, kBlack));
    EXPECT_TRUE(isFilled(frame(), 150, 200, 200, 450, kWhite));
}

TEST(CrashEffects, ObjectRisingBackAboveTheCurtainIsDrawnAgain) {
    GameState s = emptyField();
    s.crashTimer = 300;
    s.targetKind = 1;
    s.targetX = 300;
    s.targetY = 180;
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 300, 0, 325, 200, kBlack));
    s.targetY = 170; // rose faster than the curtain
    compose(s);
    expectMasked(cells::kTargetMask, cells::targetSprite(1), 300, 170, kOverBlack);
}

TEST(CrashEffects, AtFiveHundredThePlayfieldIsAllWhite) {
    GameState s = emptyField();
    s.crashTimer = 500;
    s.stones[0] = Stone{20, 0}; // y + h >= 0: hidden
    s.targetX = 100;
    s.targetY = -25; // hidden even though wholly above the frame
    s.boulderX = 200;
    s.boulderY = -60; // rows -60..-11: drawn, but nothing of it shows
    compose(s);
    EXPECT_TRUE(isFilled(frame(), 0, 0, 400, 450, kWhite));
}

TEST(ResultScreen, ReplacesThePlayfieldWhateverTheCrashTimer) {
    for (const int phase : {1, 2}) {
        for (const int timer : {0, 1, 300, 600}) {
            GameState s = emptyField();
            s.resultPhase = phase;
            s.resultTicks = 5;
            s.crashTimer = timer;
            s.starX = 30;
            s.starY = 400;
            s.stones[0] = Stone{20, 420};
            s.boulderX = 340;
            s.boulderY = 390;
            compose(s);
            // The result screen draws nothing in the playfield's bottom rows.
            EXPECT_TRUE(isFilled(frame(), 0, 380, 400, 450, kWhite)) << phase << "/" << timer;
        }
    }
}

} // namespace
} // namespace nuvalo
