// The 16-dot font behind every Shift-JIS label.
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>

namespace nuvalo::test {
namespace {

int inkOf(res::Glyph g) {
    int n = 0;
    const int bytes = (g.width + 7) / 8 * 16;
    for (int i = 0; i < bytes; ++i) {
        for (unsigned b = g.rows[i]; b; b &= b - 1) {
            ++n;
        }
    }
    return n;
}

std::string bitsOf(res::Glyph g) {
    return {reinterpret_cast<const char*>(g.rows),
            static_cast<std::size_t>((g.width + 7) / 8 * 16)};
}

const res::Glyph kHalfBox = res::glyph(0x80);
const res::Glyph kFullBox = res::glyph(0x8540);

bool isBox(res::Glyph g) {
    return g.rows == (g.width == 8 ? kHalfBox.rows : kFullBox.rows);
}

TEST(Font, HalfWidthAsciiAndKatakana) {
    for (unsigned c = 0x21; c <= 0x7E; ++c) {
        const res::Glyph g = res::glyph(static_cast<std::uint16_t>(c));
        EXPECT_EQ(g.width, 8) << c;
        EXPECT_FALSE(isBox(g)) << c;
        EXPECT_GT(inkOf(g), 0) << c;
    }
    for (unsigned c = 0xA1; c <= 0xDF; ++c) { // ｡ .. ﾟ
        const res::Glyph g = res::glyph(static_cast<std::uint16_t>(c));
        EXPECT_EQ(g.width, 8) << c;
        EXPECT_FALSE(isBox(g)) << c;
        EXPECT_GT(inkOf(g), 0) << c;
    }
    const res::Glyph space = res::glyph(' ');
    EXPECT_EQ(space.width, 8);
    EXPECT_EQ(inkOf(space), 0);
    EXPECT_FALSE(isBox(space));
    // 'A' is symmetric and stands on the baseline, like the other capitals
    const res::Glyph a = res::glyph('A');
    EXPECT_NE(bitsOf(a), bitsOf(res::glyph('B')));
    EXPECT_EQ(a.rows[15], 0) << "nothing below the descent line";
    EXPECT_NE(a.rows[13], 0) << "feet on the baseline row";
}

TEST(Font, FullWidthGlyphsByShiftJisCode) {
    // 開 始 新 記 録 ！ 落 下 距 離 結 果 点 × ア ぁ 亜 腕 弌 熙
    const std::uint16_t codes[] = {0x8A4A, 0x8E6E, 0x9056, 0x8B4C, 0x985E, 0x8149, 0x978E,
                                   0x89BA, 0x8B97, 0x97A3, 0x8C8B, 0x89CA, 0x935F, 0x817E,
                                   0x8341, 0x829F, 0x889F, 0x9872, 0x989F, 0xEAA4};
    std::set<std::string> seen;
    for (std::uint16_t c : codes) {
        const res::Glyph g = res::glyph(c);
        EXPECT_EQ(g.width, 16) << std::hex << c;
        EXPECT_FALSE(isBox(g)) << std::hex << c;
        EXPECT_GT(inkOf(g), 8) << std::hex << c;
        EXPECT_TRUE(seen.insert(bitsOf(g)).second) << "two codes share a glyph: " << std::hex << c;
    }
    const res::Glyph ideographicSpace = res::glyph(0x8140);
    EXPECT_EQ(ideographicSpace.width, 16);
    EXPECT_FALSE(isBox(ideographicSpace));
    EXPECT_EQ(inkOf(ideographicSpace), 0);
}

// Where JIS X 0208 stops and starts: each boundary lands on the right code
// only if the row/cell arithmetic is right.
TEST(Font, JisRowBoundaries) {
    EXPECT_FALSE(isBox(res::glyph(0x8140))); // row 1 cell 1
    EXPECT_FALSE(isBox(res::glyph(0x819E))); // row 1 cell 94: ◇
    EXPECT_FALSE(isBox(res::glyph(0x819F))); // row 2 cell 1 ◆
    EXPECT_TRUE(isBox(res::glyph(0x84BF)));  // row 8 past its last box-drawing char
    EXPECT_FALSE(isBox(res::glyph(0x84BE))); // row 8 cell 32, the last one
    EXPECT_TRUE(isBox(res::glyph(0x8740)));  // row 13: vendor extension, not JIS X 0208
    EXPECT_TRUE(isBox(res::glyph(0x889E)));  // row 15: empty
    EXPECT_FALSE(isBox(res::glyph(0x889F))); // row 16 cell 1: 亜
    EXPECT_FALSE(isBox(res::glyph(0x9872))); // row 47 cell 51, last of level 1
    EXPECT_TRUE(isBox(res::glyph(0x9873)));  // row 47 cell 52: empty
    EXPECT_FALSE(isBox(res::glyph(0x9FFC))); // row 62 cell 94
    EXPECT_FALSE(isBox(res::glyph(0xE040))); // row 63 cell 1
    EXPECT_FALSE(isBox(res::glyph(0xEAA4))); // row 84 cell 6: the last character
    EXPECT_TRUE(isBox(res::glyph(0xEAA5)));
    EXPECT_TRUE(isBox(res::glyph(0xEFFC))); // row 94 cell 94: unassigned
    int mapped = 0;
    for (unsigned lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            mapped += isBox(res::glyph(static_cast<std::uint16_t>(lead << 8 | trail))) ? 0 : 1;
        }
    }
    EXPECT_EQ(mapped, 6879) << "the characters of JIS X 0208:1990";
}

TEST(Font, UnmappedCodesShowAVisibleBoxOfTheRightWidth) {
    for (std::uint16_t c : std::initializer_list<std::uint16_t>{0x00, 0x0A, 0x1F, 0x7F, 0x80, 0x81,
                                                                0xA0, 0xE0, 0xFD, 0xFF}) {
        const res::Glyph g = res::glyph(c);
        EXPECT_EQ(g.width, 8) << c;
        EXPECT_TRUE(isBox(g)) << c;
    }
    // invalid trail bytes, lead bytes outside JIS X 0208, user-defined area
    for (std::uint16_t c : std::initializer_list<std::uint16_t>{0x813F, 0x817F, 0x81FD, 0x4141,
                                                                0xA0A0, 0xF040, 0xFC4B, 0xFFFF}) {
        const res::Glyph g = res::glyph(c);
        EXPECT_EQ(g.width, 16) << std::hex << c;
        EXPECT_TRUE(isBox(g)) << std::hex << c;
    }
    EXPECT_GE(inkOf(kHalfBox), 20);
    EXPECT_GE(inkOf(kFullBox), 40);
    // its outline: the top edge and both sides inked
    EXPECT_EQ(kFullBox.rows[2] & 0xC0, 0x00);
    EXPECT_NE(kFullBox.rows[2 * 2], 0);
    for (int y = 3; y < 13; ++y) {
        EXPECT_NE(kFullBox.rows[2 * y] & 0x20, 0) << y;
        EXPECT_NE(kFullBox.rows[2 * y + 1] & 0x04, 0) << y;
        EXPECT_NE(kHalfBox.rows[y] & 0x40, 0) << y;
        EXPECT_NE(kHalfBox.rows[y] & 0x02, 0) << y;
    }
}

TEST(Font, GlyphRowsAreNeverNull) {
    for (unsigned c = 0; c < 0x10000; c += 7) {
        const res::Glyph g = res::glyph(static_cast<std::uint16_t>(c));
        ASSERT_NE(g.rows, nullptr) << c;
        ASSERT_TRUE(g.width == 8 || g.width == 16) << c;
        ASSERT_EQ(g.width, c < 0x100 ? 8 : 16) << c;
    }
}

} // namespace
} // namespace nuvalo::test
