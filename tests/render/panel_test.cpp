// The side panel and the number-drawing rules.

#include "render/cells.h"
#include "render/draw.h"
#include "support.h"

#include <gtest/gtest.h>

namespace nuvalo {
namespace {

using test::compose;
using test::emptyField;
using test::frame;
using test::placesAt;
using test::resources;
using test::showsCell;
using test::showsText;

// Composes a frame with the panel showing these values.
void panel(float distance, float speed, float best, int kind0 = 0, int kind1 = 0, int running = 1) {
    GameState s = emptyField();
    s.distance = distance;
    s.speed = speed;
    s.bestScore = best;
    s.targetsDown[0] = kind0;
    s.targetsDown[1] = kind1;
    s.running = running;
    compose(s);
}

std::string distanceShown() {
    return placesAt(frame(), 530, 120, 6);
}
std::string speedShown() {
    return placesAt(frame(), 530, 170, 4);
}
std::string bestShown() {
    return placesAt(frame(), 530, 380, 6);
}

TEST(Panel, DistanceShowsPlacesByTheUntruncatedValue) {
    const struct {
        float distance;
        const char* shown;
    } cases[] = {
        {0.0f, "     0"},     {9.5f, "    09"},       {10.0f, "    10"},
        {99.2f, "   099"},    {999.5f, "  0999"},     {12345.0f, " 12345"},
        {99999.5f, "099999"}, {1000000.0f, "000000"}, {1234567.0f, "234567"},
    };
    for (const auto& c : cases) {
        panel(c.distance, 5.0f, 0.0f);
        EXPECT_EQ(distanceShown(), c.shown) << c.distance;
    }
}

TEST(Panel, SpeedFromExactProducts) {
    const struct {
        float speed;
        const char* shown;
    } cases[] = {
        {0.0f, " 000"},
        {5.0f, " 250"},
        {19.99f, " 999"},
        {20.0f, "1000"},
        {12.345f, " 617"},
        // Products rounded to float would reach 1.0 and 255.0 here; the
        // exact ones stay just below.
        {0.02f, " 000"},
        {5.1f, " 254"},
    };
    for (const auto& c : cases) {
        panel(0.0f, c.speed, 0.0f);
        EXPECT_EQ(speedShown(), c.shown) << c.speed;
    }
}

TEST(Panel, NegativeValuesLeaveBlankPlaces) {
    // -2.5 km/s: p50 = -125, p5 = -12, so every place has a negative remainder.
    panel(0.0f, -2.5f, 0.0f);
    EXPECT_EQ(speedShown(), "    ");
    // -3.0: p50 = -150 gives a 0 in the ones place, the others are negative.
    panel(0.0f, -3.0f, 0.0f);
    EXPECT_EQ(speedShown(), "   0");
    // A negative best score: only the ones place is drawn and it is blank;
    // the higher places stay hidden, t being below every threshold.
    panel(0.0f, 5.0f, -57.0f);
    EXPECT_EQ(bestShown(), "      ");
    panel(0.0f, 5.0f, -50.0f);
    EXPECT_EQ(bestShown(), "     0");
    panel(-9.5f, 5.0f, 0.0f);
    EXPECT_EQ(distanceShown(), "      ");
}

TEST(Panel, BestScoreAndCounts) {
    panel(0.0f, 5.0f, 0.0f, 0, 0);
    EXPECT_EQ(bestShown(), "     0");
    EXPECT_EQ(placesAt(frame(), 530, 230, 2), "00");
    EXPECT_EQ(placesAt(frame(), 530, 270, 2), "00");
    panel(0.0f, 5.0f, 16234.0f, 42, 100);
    EXPECT_EQ(bestShown(), " 16234");
    EXPECT_EQ(placesAt(frame(), 530, 230, 2), "42");
    EXPECT_EQ(placesAt(frame(), 530, 270, 2), "00");
    panel(0.0f, 5.0f, 2147483648.0f * 4, 7, 9); // beyond int: saturates, never undefined
    EXPECT_EQ(bestShown(), "483647");
    EXPECT_EQ(placesAt(frame(), 530, 230, 2), "07");
    EXPECT_EQ(placesAt(frame(), 530, 270, 2), "09");
}

TEST(Panel, ButtonUnitsIconsAndLabels) {
    const GdiResources& gdi = resources();
    panel(0.0f, 0.0f, 0.0f, 0, 0, 0);
    EXPECT_TRUE(showsCell(frame(), 460, 50, gdi.botanSheet, Cell{0, 20, 80, 20}));
    panel(0.0f, 0.0f, 0.0f, 0, 0, 1);
    EXPECT_TRUE(showsCell(frame(), 460, 50, gdi.botanSheet, Cell{80, 20, 80, 20}));
    panel(0.0f, 0.0f, 0.0f, 0, 0, 2147483647); // a corrupt flag still names a button
    EXPECT_TRUE(showsCell(frame(), 460, 50, gdi.botanSheet, Cell{80, 20, 80, 20}));
    EXPECT_TRUE(showsCell(frame(), 550, 120, gdi.botanSheet, Cell{160, 20, 20, 20}));
    EXPECT_TRUE(showsCell(frame(), 550, 170, gdi.botanSheet, Cell{160, 20, 40, 20}));
    EXPECT_TRUE(showsCell(frame(), 465, 232, gdi.steinSheet, Cell{50, 28, 25, 20}));
    EXPECT_TRUE(showsCell(frame(), 465, 272, gdi.steinSheet, Cell{75, 28, 25, 20}));
    EXPECT_TRUE(showsText(frame(), 420, 100, "\x97\x8E\x89\xBA\x8B\x97\x97\xA3"));
    EXPECT_TRUE(showsText(frame(), 420, 150, "\x97\x8E\x89\xBA\x91\xAC\x93\x78"));
    EXPECT_TRUE(showsText(frame(), 420, 200, "\x8C\x82\x92\xC4\x90\x94"));
    EXPECT_TRUE(showsText(frame(), 420, 350, "\x89\xDF\x8B\x8E\x8D\xC5\x8D\x82\x8B\x4C\x98\x5E"));
    EXPECT_TRUE(showsText(frame(), 550, 380, "\x93\x5F"));
    // The labels are full-width text, not blank boxes.
    EXPECT_EQ(test::textWidth("\x89\xDF\x8B\x8E\x8D\xC5\x8D\x82\x8B\x4C\x98\x5E"), 96);
}

TEST(Panel, CoversEverythingDrawnRightOfThePlayfield) {
    GameState s = emptyField();
    s.stones[0] = Stone{395, 300}; // reaches x 419
    s.crashTimer = 2;              // the flash too
    compose(s);
    for (int y = 300; y < 325; ++y) {
        for (int x = 400; x < 420; ++x) {
            ASSERT_EQ(test::pixelAt(frame(), x, y), kWhite) << x << "," << y;
        }
    }
}

TEST(Numbers, DrawNumberAndDrawCountOnTheirOwn) {
    const GdiResources& gdi = resources();
    Bitmap page;
    page.pixels = std::make_unique<Pixel[]>(200 * 20);
    page.width = 200;
    page.height = 20;
    const Surface dst = surfaceOf(page);
    const auto reset = [&] { fillRect(dst, 0, 0, 200, 20, kWhite); };
    const auto read = [&](int places) { return placesAt(dst, 180, 0, places); };

    reset();
    drawNumber(gdi, dst, 180, 0, 5, 5.7, 2);
    EXPECT_EQ(read(6), "    05");
    reset();
    drawNumber(gdi, dst, 180, 0, 99, 99.5, 2);
    EXPECT_EQ(read(6), "   099");
    reset();
    drawNumber(gdi, dst, 180, 0, 99, 99.0, 2); // not above 99
    EXPECT_EQ(read(6), "    99");
    reset();
    drawNumber(gdi, dst, 180, 0, 1234567, 1234567.0, 1);
    EXPECT_EQ(read(7), " 234567"); // no seventh place
    reset();
    drawNumber(gdi, dst, 180, 0, -2147483647 - 1, -2147483648.0, 1);
    EXPECT_EQ(read(6), "      ");
    reset();
    drawCount(gdi, dst, 180, 0, 7);
    EXPECT_EQ(read(3), " 07");
    reset();
    drawCount(gdi, dst, 180, 0, 1234);
    EXPECT_EQ(read(3), " 34");
    reset();
    drawDigit(gdi, dst, 180, 0, -9); // the leftmost negative cell: nothing read, nothing drawn
    EXPECT_EQ(read(1), " ");
}

TEST(Numbers, DigitGlyphsAreDistinct) {
    // The reader above can only tell digits apart if the sheet does.
    const Bitmap& botan = resources().botanSheet;
    for (int a = 0; a < 10; ++a) {
        for (int b = a + 1; b < 10; ++b) {
            bool differ = false;
            for (int y = 0; y < 20 && !differ; ++y) {
                for (int x = 0; x < 20 && !differ; ++x) {
                    differ = test::sheetPixel(botan, 20 * a + x, y) !=
                             test::sheetPixel(botan, 20 * b + x, y);
                }
            }
            EXPECT_TRUE(differ) << a << " and " << b;
        }
    }
}

} // namespace
} // namespace nuvalo
