// The obstacle sheet: rocks and saucers on white, and the masks that let the
// game draw them transparently (mask OR, then sprite AND).
#include "bitmap.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace nuvalo::test {
namespace {

struct Cell {
    int x, y, w, h;
};

constexpr Cell kBoulder{0, 0, 50, 50};
constexpr Cell kStone{50, 0, 25, 25};
constexpr Cell kWatch{75, 0, 25, 25};
constexpr Cell kTarget[2] = {{50, 25, 25, 25}, {75, 25, 25, 25}};
constexpr Cell kBoulderMask{0, 50, 50, 50};
constexpr Cell kStoneMask{50, 50, 25, 25};
constexpr Cell kBlank{75, 50, 25, 25};
constexpr Cell kTargetMask{50, 75, 25, 25};
constexpr Cell kSpareMask{75, 75, 25, 25};

const Sheet& stein() {
    static const Sheet s = loadSheet("Stein");
    return s;
}

Rgb at(Cell c, int x, int y) {
    return stein().at(c.x + x, c.y + y);
}

std::set<std::tuple<int, int, int>> coloursOf(Cell c) {
    std::set<std::tuple<int, int, int>> out;
    for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) {
            const Rgb p = at(c, x, y);
            out.insert({p.r, p.g, p.b});
        }
    }
    return out;
}

bool rowFull(Cell c, int y) {
    for (int x = 0; x < c.w; ++x) {
        if (at(c, x, y) == kWhite) {
            return false;
        }
    }
    return true;
}

bool rowTouched(Cell c, int y) {
    for (int x = 0; x < c.w; ++x) {
        if (at(c, x, y) != kWhite) {
            return true;
        }
    }
    return false;
}

bool columnTouched(Cell c, int x) {
    for (int y = 0; y < c.h; ++y) {
        if (at(c, x, y) != kWhite) {
            return true;
        }
    }
    return false;
}

void expectMaskInvariant(Cell sprite, Cell mask) {
    for (int y = 0; y < sprite.h; ++y) {
        for (int x = 0; x < sprite.w; ++x) {
            const Rgb s = at(sprite, x, y);
            const Rgb m = at(mask, x, y);
            ASSERT_TRUE(m == kWhite || m == kBlack) << "mask (" << x << ", " << y << ")";
            EXPECT_EQ(m == kWhite, s != kWhite)
                << "(" << x << ", " << y << "): sprite " << toString(s) << ", mask " << toString(m);
        }
    }
}

// What the game's two blits leave on a background pixel.
Rgb maskedDraw(Rgb background, Rgb mask, Rgb sprite) {
    const Rgb painted{static_cast<std::uint8_t>(background.r | mask.r),
                      static_cast<std::uint8_t>(background.g | mask.g),
                      static_cast<std::uint8_t>(background.b | mask.b)};
    return Rgb{static_cast<std::uint8_t>(painted.r & sprite.r),
               static_cast<std::uint8_t>(painted.g & sprite.g),
               static_cast<std::uint8_t>(painted.b & sprite.b)};
}

TEST(Stein, BoulderIsARoundRockOfThreeBrownsReachingEveryEdge) {
    EXPECT_EQ(coloursOf(kBoulder),
              (std::set<std::tuple<int, int, int>>{
                  {120, 69, 48}, {80, 40, 20}, {81, 22, 18}, {255, 255, 255}}));
    for (int y = 13; y <= 34; ++y) {
        EXPECT_TRUE(rowFull(kBoulder, y)) << "row " << y;
    }
    EXPECT_FALSE(rowFull(kBoulder, 12));
    EXPECT_FALSE(rowFull(kBoulder, 35));
    EXPECT_TRUE(rowTouched(kBoulder, 0));
    EXPECT_TRUE(rowTouched(kBoulder, 49));
    for (auto [x, y] : {std::pair{0, 0}, {49, 0}, {0, 49}, {49, 49}}) {
        EXPECT_EQ(at(kBoulder, x, y), kWhite) << "corner " << x << "," << y;
    }
}

TEST(Stein, StoneIsARoundPebbleOfThreeBrownsReachingEveryEdge) {
    EXPECT_EQ(coloursOf(kStone),
              (std::set<std::tuple<int, int, int>>{
                  {210, 175, 100}, {150, 100, 50}, {80, 40, 20}, {255, 255, 255}}));
    EXPECT_TRUE(rowTouched(kStone, 0));
    EXPECT_TRUE(rowTouched(kStone, 24));
    EXPECT_TRUE(columnTouched(kStone, 0));
    EXPECT_TRUE(columnTouched(kStone, 24));
    EXPECT_TRUE(rowFull(kStone, 12));
    for (auto [x, y] : {std::pair{0, 0}, {24, 0}, {0, 24}, {24, 24}}) {
        EXPECT_EQ(at(kStone, x, y), kWhite) << "corner " << x << "," << y;
    }
}

// Speckled and shaded: each brown is a real share of the rock, and the light
// falls on the upper left.
TEST(Stein, RocksAreSpeckledAndLitFromTheUpperLeft) {
    for (const Cell c : {kBoulder, kStone}) {
        const Rgb light = c.w == 50 ? Rgb{120, 69, 48} : Rgb{210, 175, 100};
        std::map<std::tuple<int, int, int>, int> count;
        int lightUpperLeft = 0;
        int lightLowerRight = 0;
        int rock = 0;
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                const Rgb p = at(c, x, y);
                if (p == kWhite) {
                    continue;
                }
                ++rock;
                ++count[{p.r, p.g, p.b}];
                if (p == light) {
                    (x + y < c.w ? lightUpperLeft : lightLowerRight) += 1;
                }
            }
        }
        for (const auto& [colour, n] : count) {
            EXPECT_GT(n * 12, rock) << "a brown covers under a twelfth of the rock";
        }
        EXPECT_GT(lightUpperLeft, 2 * lightLowerRight);
    }
}

TEST(Stein, StopwatchHasAGrayFaceBlackRimAndWhiteHandsAtTwelveAndThree) {
    const Rgb face{110, 110, 120};
    long sx = 0;
    long sy = 0;
    long n = 0;
    bool black = false;
    for (int y = 0; y < kWatch.h; ++y) {
        for (int x = 0; x < kWatch.w; ++x) {
            const Rgb p = at(kWatch, x, y);
            if (p == face) {
                sx += x;
                sy += y;
                ++n;
            }
            black = black || p == kBlack;
        }
    }
    ASSERT_GT(n, 100);
    EXPECT_TRUE(black);
    const int cx = static_cast<int>((sx + n / 2) / n);
    const int cy = static_cast<int>((sy + n / 2) / n);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(at(kWatch, cx, cy - k), kWhite) << "hand at twelve";
        EXPECT_EQ(at(kWatch, cx + k, cy), kWhite) << "hand at three";
        EXPECT_EQ(at(kWatch, cx, cy + k), face) << "nothing at six";
        EXPECT_EQ(at(kWatch, cx - k, cy), face) << "nothing at nine";
    }
    EXPECT_EQ(at(kWatch, cx, 0), kBlack) << "the crown on top";
}

TEST(Stein, TargetSaucersInTheirColoursOccupyingRows5To20) {
    const std::set<std::tuple<int, int, int>> colours[2] = {
        {{108, 195, 223},
         {139, 243, 255},
         {21, 52, 52},
         {35, 113, 112},
         {0, 0, 0},
         {255, 255, 255}},
        {{131, 182, 42}, {193, 239, 60}, {119, 25, 0}, {169, 11, 0}, {0, 0, 0}, {255, 255, 255}}};
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(coloursOf(kTarget[k]), colours[k]);
        for (int y = 0; y < 25; ++y) {
            EXPECT_EQ(rowTouched(kTarget[k], y), y >= 5 && y <= 20) << "row " << y;
        }
    }
}

// Kind 1 is kind 0 repainted: same pixels, one colour swapped for another.
TEST(Stein, BothSaucersShareEveryOutlinePixel) {
    std::map<std::tuple<int, int, int>, std::tuple<int, int, int>> swap;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 25; ++x) {
            const Rgb a = at(kTarget[0], x, y);
            const Rgb b = at(kTarget[1], x, y);
            EXPECT_EQ(a == kBlack, b == kBlack) << "outline at " << x << "," << y;
            EXPECT_EQ(a == kWhite, b == kWhite) << "silhouette at " << x << "," << y;
            const auto [it, fresh] = swap.insert({{a.r, a.g, a.b}, {b.r, b.g, b.b}});
            EXPECT_EQ(it->second, std::make_tuple(int{b.r}, int{b.g}, int{b.b}))
                << "colour areas differ at " << x << "," << y;
        }
    }
    // the dome with its highlight, the rim with its four lights
    const Rgb lights{35, 113, 112};
    int lightRuns = 0;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 25; ++x) {
            if (at(kTarget[0], x, y) == lights && (x == 0 || at(kTarget[0], x - 1, y) != lights) &&
                (y == 0 || at(kTarget[0], x, y - 1) != lights)) {
                ++lightRuns;
            }
        }
    }
    EXPECT_EQ(lightRuns, 4);
}

// The icons are cut from the sprites' rows 3..22 and must hold the whole saucer.
TEST(Stein, TargetIconsHoldTheWholeSaucer) {
    for (int k = 0; k < 2; ++k) {
        for (int y : {0, 1, 2, 23, 24}) {
            EXPECT_FALSE(rowTouched(kTarget[k], y)) << "kind " << k << " row " << y;
        }
        // the icon cell (50 + 25k, 28, 25, 20) starts on the sprite's row 3
        const Cell icon{50 + 25 * k, 28, 25, 20};
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 25; ++x) {
                EXPECT_EQ(at(icon, x, y), at(kTarget[k], x, y + 3));
            }
        }
        EXPECT_EQ(at(icon, 0, 0), kWhite);
    }
}

TEST(Stein, MasksMatchTheirSpritesPixelForPixel) {
    {
        SCOPED_TRACE("boulder");
        expectMaskInvariant(kBoulder, kBoulderMask);
    }
    {
        SCOPED_TRACE("stone");
        expectMaskInvariant(kStone, kStoneMask);
    }
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        expectMaskInvariant(kTarget[k], kTargetMask);
    }
}

TEST(Stein, SpareMaskCopiesTheTargetMaskAndTheBlankIsBlack) {
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 25; ++x) {
            EXPECT_EQ(at(kSpareMask, x, y), at(kTargetMask, x, y)) << x << "," << y;
            EXPECT_EQ(at(kBlank, x, y), kBlack) << x << "," << y;
        }
    }
}

// Drawn over black, over white or over the star, a masked stone shows its own
// colours inside and leaves everything outside untouched.
TEST(Stein, MaskedStoneIsTransparentOnAnyBackground) {
    const Sheet star = loadSheet("Kemri");
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < 25; ++x) {
            const Rgb s = at(kStone, x, y);
            const Rgb m = at(kStoneMask, x, y);
            for (const Rgb ground : {kBlack, kWhite, star.at(x, y + 5)}) {
                EXPECT_EQ(maskedDraw(ground, m, s), s == kWhite ? ground : s)
                    << x << "," << y << " over " << toString(ground);
            }
        }
    }
}

} // namespace
} // namespace nuvalo::test
