// Sheet decoding and the life of the drawing resources.

#include "render/dib.h"
#include "render/render.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace nuvalo {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// An 8-bit DIB of w x h (h negative: top-down) whose pixel (x, y) of the
// picture, top row first, has palette index indexOf(x, y).
template <typename IndexOf> Bytes makeDib(int w, int h, std::uint32_t colorsUsed, IndexOf indexOf) {
    const std::size_t palette = colorsUsed == 0 ? 256 : colorsUsed;
    const auto rows = static_cast<std::size_t>(h < 0 ? -h : h);
    const std::size_t stride = (static_cast<std::size_t>(w) + 3) / 4 * 4;
    Bytes b(40 + palette * 4 + rows * stride, 0xCC); // padding bytes are junk
    put32(b, 0, 40);
    put32(b, 4, static_cast<std::uint32_t>(w));
    put32(b, 8, static_cast<std::uint32_t>(h));
    b[12] = 1;
    b[13] = 0;
    b[14] = 8;
    b[15] = 0;
    put32(b, 16, 0);
    put32(b, 20, 0);
    put32(b, 24, 0);
    put32(b, 28, 0);
    put32(b, 32, colorsUsed);
    put32(b, 36, 0);
    for (std::size_t i = 0; i < palette; ++i) { // blue, green, red, 0
        b[40 + i * 4] = static_cast<std::uint8_t>(i);
        b[40 + i * 4 + 1] = static_cast<std::uint8_t>(255 - i);
        b[40 + i * 4 + 2] = static_cast<std::uint8_t>(i * 7);
        b[40 + i * 4 + 3] = 0;
    }
    const std::size_t bits = 40 + palette * 4;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t y = h < 0 ? row : rows - 1 - row;
        for (int x = 0; x < w; ++x) {
            b[bits + row * stride + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(indexOf(x, static_cast<int>(y)));
        }
    }
    return b;
}

Pixel paletteColour(unsigned i) {
    return static_cast<Pixel>((i * 7) & 0xFF) << 16 | static_cast<Pixel>(255 - i) << 8 | i;
}

TEST(Dib, DecodesBottomUpAndTopDownRowsWithPadding) {
    const auto index = [](int x, int y) { return 10 * y + x + 1; };
    for (const int h : {3, -3}) {
        Bitmap b;
        ASSERT_TRUE(decodeDib(makeDib(5, h, 0, index), b)) << h;
        ASSERT_EQ(b.width, 5);
        ASSERT_EQ(b.height, 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(b.pixels[static_cast<std::size_t>(y * 5 + x)],
                          paletteColour(static_cast<unsigned>(index(x, y))))
                    << h << ": " << x << "," << y;
            }
        }
    }
}

TEST(Dib, ShortPaletteGivesBlackForIndicesPastIt) {
    Bitmap b;
    ASSERT_TRUE(decodeDib(makeDib(2, 1, 4, [](int x, int) { return x == 0 ? 3 : 200; }), b));
    EXPECT_EQ(b.pixels[0], paletteColour(3));
    EXPECT_EQ(b.pixels[1], kBlack);
}

TEST(Dib, RejectsWhatItCannotReadSafely) {
    const auto zero = [](int, int) { return 0; };
    const Bytes good = makeDib(5, 3, 0, zero);
    std::vector<std::pair<const char*, Bytes>> bad;
    bad.emplace_back("empty", Bytes{});
    bad.emplace_back("header only", Bytes(good.begin(), good.begin() + 40));
    bad.emplace_back("one byte short",
                     Bytes(good.begin(), good.end() - 4)); // last row's pixels cut
    Bytes b = good;
    b[14] = 24;
    bad.emplace_back("24 bits", b);
    b = good;
    put32(b, 16, 1);
    bad.emplace_back("compressed", b);
    b = good;
    put32(b, 4, 0);
    bad.emplace_back("zero width", b);
    b = good;
    put32(b, 4, 0x80000000u);
    bad.emplace_back("negative width", b);
    b = good;
    put32(b, 8, 0x7FFFFFFFu);
    bad.emplace_back("huge height", b);
    b = good;
    put32(b, 0, 0xFFFFFFF0u);
    bad.emplace_back("header past the end", b);
    b = good;
    put32(b, 32, 257);
    bad.emplace_back("palette too long", b);
    for (const auto& [what, bytes] : bad) {
        Bitmap out;
        out.width = 9; // must be cleared
        EXPECT_FALSE(decodeDib(bytes, out)) << what;
        EXPECT_EQ(out.width, 0) << what;
        EXPECT_EQ(out.height, 0) << what;
        EXPECT_EQ(out.pixels, nullptr) << what;
    }
    // The last row needs no padding after its pixels.
    Bitmap out;
    EXPECT_TRUE(decodeDib(Bytes(good.begin(), good.end() - 3), out));
}

TEST(DrawingResources, SheetsDecodeAtTheirOwnSize) {
    const GdiResources& gdi = test::resources();
    EXPECT_EQ(gdi.starSheet.width, 25);
    EXPECT_EQ(gdi.starSheet.height, 30);
    EXPECT_EQ(gdi.steinSheet.width, 100);
    EXPECT_EQ(gdi.steinSheet.height, 100);
    EXPECT_EQ(gdi.botanSheet.width, 234);
    EXPECT_EQ(gdi.botanSheet.height, 40);
    EXPECT_EQ(gdi.backBufferBitmap.width, kFrameWidth);
    EXPECT_EQ(gdi.backBufferBitmap.height, kFrameHeight);
    EXPECT_EQ(gdi.backBufferDC.pixels, gdi.backBufferBitmap.pixels.get());
    EXPECT_EQ(gdi.blackBrush, kBlack);
    EXPECT_EQ(gdi.whiteBrush, kWhite);
}

TEST(DrawingResources, ReleasedOnceAndMadeAfreshWhenCreatedAgain) {
    constexpr std::uint32_t kAll = (1u << kGdiObjectCount) - 1;
    GdiResources gdi;
    createDrawingResources(gdi);
    EXPECT_EQ(gdi.liveObjects, kAll);
    releaseDrawingResources(gdi);
    EXPECT_EQ(gdi.backBufferDC.pixels, nullptr);
    EXPECT_EQ(gdi.backBufferBitmap.pixels, nullptr);
    EXPECT_EQ(gdi.starSheet.pixels, nullptr);
    EXPECT_EQ(gdi.liveObjects, 0u);
    // A second release finds nothing left, and composing after release draws
    // nowhere instead of into freed memory.
    releaseDrawingResources(gdi);
    GameState s = test::emptyField();
    composeFrame(gdi, s);
    EXPECT_EQ(gdi.liveObjects, 0u);
    // Created again over a live set: the old one goes first, a whole new one stays.
    createDrawingResources(gdi);
    createDrawingResources(gdi);
    EXPECT_EQ(gdi.liveObjects, kAll);
    EXPECT_NE(gdi.backBufferDC.pixels, nullptr);
    EXPECT_EQ(gdi.backBufferDC.pixels, gdi.backBufferBitmap.pixels.get());
    releaseDrawingResources(gdi);
}

} // namespace
} // namespace nuvalo
