// The star: a teardrop glow whose single white pixel is the collision point.
#include "bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace nuvalo::test {
namespace {

constexpr int kGrays[] = {24, 57, 90, 123, 156, 189, 222, 255};

int grayLevel(Rgb c) {
    if (c.r != c.g || c.g != c.b) {
        return -1;
    }
    if (c.r == 0) {
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        if (kGrays[i] == c.r) {
            return i + 1;
        }
    }
    return -1;
}

// First and last lit column of a row, or {-1, -1} when the row is black.
std::pair<int, int> litSpan(const Sheet& s, int y) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < s.width; ++x) {
        if (s.at(x, y) != kBlack) {
            if (first < 0) {
                first = x;
            }
            last = x;
        }
    }
    return {first, last};
}

TEST(Kemri, OnlyTheEightGraysOnBlackAndEachOfThemUsed) {
    const Sheet s = loadSheet("Kemri");
    std::set<int> seen;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const int level = grayLevel(s.at(x, y));
            ASSERT_GE(level, 0) << "(" << x << ", " << y << ") is " << toString(s.at(x, y));
            seen.insert(level);
        }
    }
    EXPECT_EQ(seen.size(), 9U); // black and all eight grays
}

TEST(Kemri, SingleWhiteAnchorAt12_21) {
    const Sheet s = loadSheet("Kemri");
    EXPECT_EQ(s.at(12, 21), kWhite);
    int whites = 0;
    for (const Rgb& c : s.pixels) {
        whites += c == kWhite ? 1 : 0;
    }
    EXPECT_EQ(whites, 1);
}

TEST(Kemri, TeardropOutline) {
    const Sheet s = loadSheet("Kemri");
    // a narrow tip on the top row
    EXPECT_EQ(litSpan(s, 0), std::make_pair(11, 13));
    // widening, never past 17 pixels, reaching 17 at row 12
    int previous = 3;
    for (int y = 1; y < 12; ++y) {
        const auto [first, last] = litSpan(s, y);
        const int width = last - first + 1;
        EXPECT_GE(width, previous) << "row " << y;
        EXPECT_LT(width, 17) << "row " << y;
        EXPECT_EQ(first + last, 24) << "row " << y << " is centred on x 12";
        previous = width;
    }
    for (int y = 12; y <= 21; ++y) {
        EXPECT_EQ(litSpan(s, y), std::make_pair(4, 20)) << "row " << y;
    }
    // rounding off below the anchor, the last lit row being 29
    previous = 17;
    for (int y = 22; y < 30; ++y) {
        const auto [first, last] = litSpan(s, y);
        ASSERT_GE(first, 0) << "row " << y;
        EXPECT_LE(last - first + 1, previous) << "row " << y;
        EXPECT_EQ(first + last, 24) << "row " << y;
        previous = last - first + 1;
    }
    EXPECT_LT(previous, 17);
    // every lit row is one unbroken run: no holes in the glow
    for (int y = 0; y < s.height; ++y) {
        const auto [first, last] = litSpan(s, y);
        for (int x = first; x <= last; ++x) {
            EXPECT_NE(s.at(x, y), kBlack) << "(" << x << ", " << y << ")";
        }
    }
}

// Concentric rings: walking away from the anchor in any straight direction
// never gets brighter.
TEST(Kemri, GlowBrightensTowardsTheAnchor) {
    const Sheet s = loadSheet("Kemri");
    const int directions[8][2] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                  {1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    for (const auto& d : directions) {
        int level = 8;
        for (int x = 12, y = 21; x >= 0 && x < s.width && y >= 0 && y < s.height;
             x += d[0], y += d[1]) {
            const int here = grayLevel(s.at(x, y));
            EXPECT_LE(here, level) << "(" << x << ", " << y << ")";
            level = here;
        }
        if (d[0] != 0) { // sideways the glow ends in black before the sheet's edge
            EXPECT_EQ(level, 0) << "direction " << d[0] << "," << d[1];
        }
    }
    // the neighbours of the anchor are the next level down
    EXPECT_EQ(grayLevel(s.at(11, 21)), 7);
    EXPECT_EQ(grayLevel(s.at(12, 20)), 7);
}

} // namespace
} // namespace nuvalo::test
