// The label sheet: seven-segment digits, the start button in both states, the
// speed and distance units and the two halves of the record badge.
#include "bitmap.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace nuvalo::test {
namespace {

constexpr Rgb kInk{40, 40, 40};
constexpr Rgb kFace{192, 192, 192};
constexpr Rgb kGray{128, 128, 128};
constexpr Rgb kRed{255, 0, 0};

const Sheet& botan() {
    static const Sheet s = loadSheet("Botan");
    return s;
}

using Pixels = std::set<std::pair<int, int>>;

// The segments, written out from the digit table.
Pixels segment(char which) {
    Pixels p;
    auto run = [&p](int x0, int x1, int y) {
        for (int x = x0; x <= x1; ++x) {
            p.insert({x, y});
        }
    };
    auto column = [&p](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) {
            p.insert({x, y});
        }
    };
    switch (which) {
    case 'a': // top
        run(6, 13, 2);
        run(7, 12, 3);
        break;
    case 'f': // upper left
        column(4, 4, 8);
        column(5, 5, 7);
        break;
    case 'b': // upper right
        column(14, 5, 7);
        column(15, 4, 8);
        break;
    case 'g': // middle
        run(7, 12, 9);
        run(7, 12, 10);
        break;
    case 'e': // lower left
        column(4, 11, 15);
        column(5, 12, 14);
        break;
    case 'c': // lower right
        column(14, 12, 14);
        column(15, 11, 15);
        break;
    case 'd': // bottom
        run(7, 12, 16);
        run(6, 13, 17);
        break;
    default:
        break;
    }
    return p;
}

TEST(Botan, DigitsLightExactlyTheirSegments) {
    const char* lit[10] = {"abcdef", "bc",     "abged", "abgcd",   "fbgc",
                           "afgcd",  "afgedc", "abc",   "abcdefg", "afbgc"};
    for (int d = 0; d < 10; ++d) {
        Pixels ink;
        for (const char* s = lit[d]; *s; ++s) {
            const Pixels seg = segment(*s);
            ink.insert(seg.begin(), seg.end());
        }
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                EXPECT_EQ(botan().at(20 * d + x, y), ink.count({x, y}) ? kInk : kWhite)
                    << "digit " << d << " at " << x << "," << y;
            }
        }
    }
}

TEST(Botan, NineHasNoBottomAndSevenLightsThreeSegments) {
    EXPECT_EQ(botan().at(9 * 20 + 9, 17), kWhite);
    EXPECT_EQ(botan().at(9 * 20 + 9, 16), kWhite);
    int ink7 = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            ink7 += botan().at(140 + x, y) == kInk ? 1 : 0;
        }
    }
    EXPECT_EQ(ink7, 14 + 8 + 8); // top, upper right, lower right
}

struct ButtonLook {
    Rgb topLeft, bottomRight, label;
};

void expectButton(int x0, ButtonLook look) {
    const Sheet& s = botan();
    for (int x = 0; x < 79; ++x) {
        EXPECT_EQ(s.at(x0 + x, 20), look.topLeft) << "top row x " << x;
    }
    for (int y = 0; y < 19; ++y) {
        EXPECT_EQ(s.at(x0, 20 + y), look.topLeft) << "left column y " << y;
    }
    for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(s.at(x0 + x, 39), look.bottomRight) << "bottom row x " << x;
    }
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(s.at(x0 + 79, 20 + y), look.bottomRight) << "right column y " << y;
    }
    // inside: the face and the label, the label roughly centred
    int minX = 80;
    int maxX = -1;
    int label = 0;
    for (int y = 1; y < 19; ++y) {
        for (int x = 1; x < 79; ++x) {
            const Rgb p = s.at(x0 + x, 20 + y);
            EXPECT_TRUE(p == kFace || p == look.label || p == kWhite)
                << x << "," << y << " is " << toString(p);
            if (p == look.label) {
                ++label;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    EXPECT_GT(label, 60) << "two kanji of ink";
    EXPECT_GE(maxX - minX, 28);
    EXPECT_LE(std::abs((minX + maxX) - 79), 4) << "label centred";
}

TEST(Botan, RaisedStartButton) {
    expectButton(0, {kWhite, kGray, kBlack});
}

TEST(Botan, GreyedStartButtonIsSunken) {
    expectButton(80, {kGray, kWhite, kGray});
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 80; ++x) {
            EXPECT_NE(botan().at(80 + x, 20 + y), kBlack) << "no black in the greyed button";
        }
    }
}

TEST(Botan, BothButtonsCarryTheSameLabel) {
    // the greyed label is the raised one moved in by the sunken offset
    Pixels raised;
    Pixels greyed;
    for (int y = 0; y < 20; ++y) {
        for (int x = 1; x < 79; ++x) {
            if (botan().at(x, 20 + y) == kBlack) {
                raised.insert({x, y});
            }
            if (y > 0 && y < 19 && botan().at(80 + x, 20 + y) == kGray) {
                greyed.insert({x, y});
            }
        }
    }
    Pixels moved;
    for (auto [x, y] : raised) {
        moved.insert({x + 1, y + 1});
    }
    EXPECT_EQ(moved, greyed);
}

// Ink of the embedded font's glyph for a code, shifted to (dx, dy).
Pixels glyphInk(std::uint16_t code, int dx, int dy) {
    const res::Glyph g = res::glyph(code);
    const int bytes = (g.width + 7) / 8;
    Pixels out;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < g.width; ++x) {
            if (g.rows[y * bytes + x / 8] & (0x80 >> (x % 8))) {
                out.insert({x + dx, y + dy});
            }
        }
    }
    return out;
}

Pixels inkIn(int x0, int y0, int w, int h, Rgb colour) {
    Pixels out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb p = botan().at(x0 + x, y0 + y);
            EXPECT_TRUE(p == colour || p == kWhite) << toString(p);
            if (p == colour) {
                out.insert({x, y});
            }
        }
    }
    return out;
}

// km fits the 20-pixel cut whole, km/s the 40-pixel one, lettered in the font
// the game's text uses.
TEST(Botan, UnitLabelReadsKmAndKmPerSecond) {
    const Pixels km = inkIn(160, 20, 20, 20, kInk);
    const Pixels perSecond = inkIn(180, 20, 20, 20, kInk);
    bool found = false;
    for (int dx = 0; dx <= 4 && !found; ++dx) {
        for (int dy = 0; dy <= 4 && !found; ++dy) {
            Pixels want = glyphInk('k', dx, dy);
            const Pixels m = glyphInk('m', dx + 8, dy);
            want.insert(m.begin(), m.end());
            found = want == km;
        }
    }
    EXPECT_TRUE(found) << "the first 20 pixels hold exactly k and m";
    found = false;
    for (int dx = -2; dx <= 4 && !found; ++dx) {
        for (int dy = 0; dy <= 4 && !found; ++dy) {
            Pixels want = glyphInk('/', dx, dy);
            const Pixels s = glyphInk('s', dx + 8, dy);
            want.insert(s.begin(), s.end());
            found = want == perSecond;
        }
    }
    EXPECT_TRUE(found) << "the next 20 pixels hold exactly / and s";
}

// Drawn 34 pixels apart the halves make one badge: the same lettering height
// and no wider a gap at the join than between the glyphs within a half.
TEST(Botan, RecordBadgeHalvesJoinWithoutAGap) {
    const Pixels left = inkIn(200, 0, 34, 20, kRed);
    const Pixels right = inkIn(200, 20, 34, 20, kRed);
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    std::vector<bool> column(68, false);
    std::set<int> rowsLeft;
    std::set<int> rowsRight;
    for (auto [x, y] : left) {
        column[static_cast<std::size_t>(x)] = true;
        rowsLeft.insert(y);
    }
    for (auto [x, y] : right) {
        column[static_cast<std::size_t>(x + 34)] = true;
        rowsRight.insert(y);
    }
    EXPECT_LE(std::abs(*rowsLeft.begin() - *rowsRight.begin()), 1);
    EXPECT_LE(std::abs(*rowsLeft.rbegin() - *rowsRight.rbegin()), 1);
    // blank column runs between the first and the last ink
    const auto first =
        static_cast<std::size_t>(std::find(column.begin(), column.end(), true) - column.begin());
    const std::size_t last =
        67 -
        static_cast<std::size_t>(std::find(column.rbegin(), column.rend(), true) - column.rbegin());
    std::vector<std::pair<std::size_t, std::size_t>> gaps; // start, length
    for (std::size_t x = first; x <= last; ++x) {
        if (!column[x]) {
            if (gaps.empty() || gaps.back().first + gaps.back().second != x) {
                gaps.push_back({x, 0});
            }
            ++gaps.back().second;
        }
    }
    std::size_t widestInside = 0;
    std::size_t atJoin = 0;
    for (auto [start, length] : gaps) {
        if (start <= 34 && start + length > 33) {
            atJoin = length;
        } else if (start < 34) {
            widestInside = std::max(widestInside, length);
        }
    }
    EXPECT_GE(atJoin, 1U) << "the glyphs do not touch";
    EXPECT_LE(atJoin, std::max<std::size_t>(widestInside, 2)) << "no gap at the join";
    EXPECT_LE(first, 3U);
    EXPECT_GE(last, 52U); // the exclamation mark stands in the last quarter
}

TEST(Botan, NothingBeyondTheCellsIsPainted) {
    // Every pixel belongs to one of the named cells, so the sheet has no
    // colours other than the named ones.
    const std::set<std::tuple<int, int, int>> allowed = {
        {255, 255, 255}, {40, 40, 40}, {192, 192, 192}, {128, 128, 128}, {0, 0, 0}, {255, 0, 0}};
    for (const Rgb& p : botan().pixels) {
        EXPECT_TRUE(allowed.count({p.r, p.g, p.b})) << toString(p);
    }
}

} // namespace
} // namespace nuvalo::test
