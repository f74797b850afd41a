// The drawing primitives on small hand-made surfaces and sheets.

#include "render/surface.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace nuvalo {
namespace {

struct TestSurface {
    std::vector<Pixel> pixels;
    Surface view;
    TestSurface(int w, int h, Pixel fill)
        : pixels(static_cast<std::size_t>(w * h), fill), view{pixels.data(), w, h} {}
    Pixel at(int x, int y) const { return pixels[static_cast<std::size_t>(y * view.width + x)]; }
};

// A sheet whose every pixel is distinct: 0x0100yyxx style values.
Bitmap makeSheet(int w, int h) {
    Bitmap b;
    b.pixels = std::make_unique<Pixel[]>(static_cast<std::size_t>(w * h));
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.pixels[static_cast<std::size_t>(y * w + x)] =
                static_cast<Pixel>(0x100000 | y << 8 | x);
        }
    }
    return b;
}

Pixel sheetAt(const Bitmap& b, int x, int y) {
    return b.pixels[static_cast<std::size_t>(y * b.width + x)];
}

TEST(Fill, CoversExactlyTheHalfOpenRectangle) {
    TestSurface s(10, 8, 0xABCDEF);
    fillRect(s.view, 2, 3, 5, 6, 0x123456);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 3 && y < 6;
            EXPECT_EQ(s.at(x, y), inside ? 0x123456u : 0xABCDEFu) << x << "," << y;
        }
    }
}

TEST(Fill, WholeFrameIncludesLastColumnAndRow) {
    TestSurface s(kFrameWidth, kFrameHeight, 0x777777);
    fillRect(s.view, 0, 0, kFrameWidth, kFrameHeight, kWhite);
    EXPECT_EQ(s.at(599, 449), kWhite);
    EXPECT_EQ(s.at(599, 0), kWhite);
    EXPECT_EQ(s.at(0, 449), kWhite);
    for (const Pixel p : s.pixels) {
        ASSERT_EQ(p, kWhite);
    }
}

TEST(Fill, ClipsAndIgnoresReversedOrEmptyRectangles) {
    TestSurface s(10, 8, 0);
    fillRect(s.view, -5, -5, 2, 2, 1);    // top-left overhang
    fillRect(s.view, 8, 6, 100, 100, 2);  // bottom-right overhang
    fillRect(s.view, 5, 5, 3, 7, 3);      // right < left
    fillRect(s.view, 0, 4, 10, 4, 4);     // empty height
    fillRect(s.view, 0, 460, 10, 450, 5); // a curtain below the frame
    fillRect(Surface{}, 0, 0, 10, 10, 6); // no surface at all
    EXPECT_EQ(s.at(0, 0), 1u);
    EXPECT_EQ(s.at(1, 1), 1u);
    EXPECT_EQ(s.at(2, 1), 0u);
    EXPECT_EQ(s.at(8, 6), 2u);
    EXPECT_EQ(s.at(9, 7), 2u);
    EXPECT_EQ(s.at(7, 7), 0u);
    int touched = 0;
    for (const Pixel p : s.pixels) {
        touched += p != 0 ? 1 : 0;
    }
    EXPECT_EQ(touched, 4 + 4);
}

TEST(Blit, RasterOperationsWorkBitByBit) {
    Bitmap sheet;
    sheet.pixels = std::make_unique<Pixel[]>(3);
    sheet.width = 3;
    sheet.height = 1;
    sheet.pixels[0] = 0x00F0F0;
    sheet.pixels[1] = kWhite;
    sheet.pixels[2] = kBlack;
    TestSurface s(3, 3, 0x0F0F33);
    blit(s.view, sheet, Cell{0, 0, 3, 1}, 0, 0, RasterOp::srcCopy);
    blit(s.view, sheet, Cell{0, 0, 3, 1}, 0, 1, RasterOp::srcPaint);
    blit(s.view, sheet, Cell{0, 0, 3, 1}, 0, 2, RasterOp::srcAnd);
    EXPECT_EQ(s.at(0, 0), 0x00F0F0u);
    EXPECT_EQ(s.at(1, 0), kWhite);
    EXPECT_EQ(s.at(2, 0), kBlack);
    EXPECT_EQ(s.at(0, 1), 0x0FFFF3u); // OR
    EXPECT_EQ(s.at(1, 1), kWhite);    // anything OR white is white
    EXPECT_EQ(s.at(2, 1), 0x0F0F33u); // OR black leaves it
    EXPECT_EQ(s.at(0, 2), 0x000030u); // AND
    EXPECT_EQ(s.at(1, 2), 0x0F0F33u); // AND white leaves it
    EXPECT_EQ(s.at(2, 2), kBlack);
}

TEST(Blit, ClipsAtEveryEdgeAndAtNegativePositions) {
    const Bitmap sheet = makeSheet(8, 6);
    const Cell cell{2, 1, 5, 4};
    // Every placement from wholly left/above to wholly right/below of a
    // 12 x 9 surface: each destination pixel is either the matching cell
    // pixel or untouched.
    for (int y = -6; y <= 11; ++y) {
        for (int x = -7; x <= 14; ++x) {
            TestSurface s(12, 9, 0xEEEEEE);
            blit(s.view, sheet, cell, x, y, RasterOp::srcCopy);
            for (int py = 0; py < 9; ++py) {
                for (int px = 0; px < 12; ++px) {
                    const int cx = px - x;
                    const int cy = py - y;
                    const bool covered = cx >= 0 && cx < cell.w && cy >= 0 && cy < cell.h;
                    const Pixel want =
                        covered ? sheetAt(sheet, cell.x + cx, cell.y + cy) : Pixel{0xEEEEEE};
                    ASSERT_EQ(s.at(px, py), want)
                        << "blit at " << x << "," << y << " pixel " << px << "," << py;
                }
            }
        }
    }
}

TEST(Blit, CopiesOnlyThePartOfTheCellInsideTheSheet) {
    const Bitmap sheet = makeSheet(8, 6);
    TestSurface s(20, 20, 0xEEEEEE);
    // Reaches 3 columns left of and 2 rows above the sheet.
    blit(s.view, sheet, Cell{-3, -2, 5, 4}, 10, 10, RasterOp::srcCopy);
    for (int y = 10; y < 14; ++y) {
        for (int x = 10; x < 15; ++x) {
            const bool inside = x >= 13 && y >= 12;
            EXPECT_EQ(s.at(x, y), inside ? sheetAt(sheet, x - 13, y - 12) : Pixel{0xEEEEEE})
                << x << "," << y;
        }
    }
    // Wholly left of the sheet (a negative digit's cell), wholly right, below:
    // nothing is copied.
    TestSurface untouched(20, 20, 0xEEEEEE);
    blit(untouched.view, sheet, Cell{-20, 0, 20, 6}, 0, 0, RasterOp::srcCopy);
    blit(untouched.view, sheet, Cell{8, 0, 4, 4}, 0, 0, RasterOp::srcCopy);
    blit(untouched.view, sheet, Cell{0, 6, 4, 4}, 0, 0, RasterOp::srcAnd);
    blit(untouched.view, sheet, Cell{0, 0, 0, 4}, 0, 0, RasterOp::srcCopy);
    blit(untouched.view, Bitmap{}, Cell{0, 0, 4, 4}, 0, 0, RasterOp::srcCopy);
    for (const Pixel p : untouched.pixels) {
        ASSERT_EQ(p, 0xEEEEEEu);
    }
    // Right and bottom overhangs of the sheet.
    TestSurface s2(20, 20, 0xEEEEEE);
    blit(s2.view, sheet, Cell{6, 4, 5, 5}, 0, 0, RasterOp::srcCopy);
    EXPECT_EQ(s2.at(0, 0), sheetAt(sheet, 6, 4));
    EXPECT_EQ(s2.at(1, 1), sheetAt(sheet, 7, 5));
    EXPECT_EQ(s2.at(2, 0), 0xEEEEEEu);
    EXPECT_EQ(s2.at(0, 2), 0xEEEEEEu);
}

TEST(Blit, ExtremePositionsNeitherOverflowNorDraw) {
    const Bitmap sheet = makeSheet(8, 6);
    TestSurface s(12, 9, 0xEEEEEE);
    constexpr int kBig = 2147483647;
    blit(s.view, sheet, Cell{0, 0, 8, 6}, kBig - 2, 0, RasterOp::srcCopy);
    blit(s.view, sheet, Cell{0, 0, 8, 6}, 0, -kBig - 1, RasterOp::srcCopy);
    blit(s.view, sheet, Cell{kBig - 1, 0, kBig, 6}, 0, 0, RasterOp::srcCopy);
    for (const Pixel p : s.pixels) {
        ASSERT_EQ(p, 0xEEEEEEu);
    }
}

// The glyph's pixels, black ink on white, at (x, y) of s.
void expectGlyph(const TestSurface& s, int x, int y, std::uint16_t code) {
    const res::Glyph g = res::glyph(code);
    ASSERT_NE(g.rows, nullptr);
    const int stride = (g.width + 7) / 8;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < g.width; ++c) {
            const bool ink = (g.rows[r * stride + c / 8] & (0x80 >> (c % 8))) != 0;
            ASSERT_EQ(s.at(x + c, y + r), ink ? kBlack : kWhite)
                << "code " << code << " at " << c << "," << r;
        }
    }
}

TEST(Text, SingleAndDoubleByteCharactersOnAnOpaqueBox) {
    TestSurface s(64, 24, 0x336699);
    drawText(s.view, 3, 4,
             "A\x93\x5F"
             "b",
             4); // A, 点, b
    const int wA = res::glyph('A').width;
    const int wTen = res::glyph(0x935F).width;
    EXPECT_EQ(wA, 8);
    EXPECT_EQ(wTen, 16);
    expectGlyph(s, 3, 4, 'A');
    expectGlyph(s, 3 + wA, 4, 0x935F);
    expectGlyph(s, 3 + wA + wTen, 4, 'b');
    // Nothing outside the box.
    const int right = 3 + wA + wTen + res::glyph('b').width;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (x < 3 || x >= right || y < 4 || y >= 20) {
                ASSERT_EQ(s.at(x, y), 0x336699u) << x << "," << y;
            }
        }
    }
    // The full-width glyph has ink: it is not the blank of a missing font.
    bool ink = false;
    for (int y = 4; y < 20; ++y) {
        for (int x = 3 + wA; x < 3 + wA + wTen; ++x) {
            ink = ink || s.at(x, y) == kBlack;
        }
    }
    EXPECT_TRUE(ink);
}

TEST(Text, ByteCountIsHonouredAndALoneLeadByteIsSafe) {
    // Count 1 of a two-byte character: the lead byte alone, drawn as a
    // single-byte code; the trail byte is not read as part of it.
    TestSurface s(40, 16, 0x336699);
    drawText(s.view, 0, 0, "\x93\x5F", 1);
    const int w = res::glyph(0x93).width;
    expectGlyph(s, 0, 0, 0x93);
    EXPECT_EQ(s.at(w, 0), 0x336699u);

    TestSurface none(40, 16, 0x336699);
    drawText(none.view, 0, 0, "ABC", 0);
    drawText(none.view, 0, 0, nullptr, 3);
    for (const Pixel p : none.pixels) {
        ASSERT_EQ(p, 0x336699u);
    }
}

TEST(Text, ClipsAtTheSurfaceEdges) {
    TestSurface s(20, 10, 0x336699);
    drawText(s.view, -4, -6, "\x93\x5F", 2); // box spans x -4..11, y -6..9
    const res::Glyph g = res::glyph(0x935F);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            const int c = x + 4;
            const int r = y + 6;
            if (c < 16) {
                const bool ink = (g.rows[r * 2 + c / 8] & (0x80 >> (c % 8))) != 0;
                ASSERT_EQ(s.at(x, y), ink ? kBlack : kWhite) << x << "," << y;
            } else {
                ASSERT_EQ(s.at(x, y), 0x336699u) << x << "," << y;
            }
        }
    }
    // Mostly past the corner: only the glyph's top-left pixel lands.
    drawText(s.view, 19, 9, "\x93\x5F\x93\x5F", 4);
    EXPECT_EQ(s.at(19, 9), (g.rows[0] & 0x80) != 0 ? kBlack : kWhite);
    EXPECT_EQ(s.at(18, 9), 0x336699u);
    drawText(s.view, 2147483000, 0, "AAAA", 4); // the pen must not wrap round onto the surface
    EXPECT_EQ(s.at(0, 0), (g.rows[6 * 2] & 0x08) != 0 ? kBlack : kWhite);
}

} // namespace
} // namespace nuvalo
