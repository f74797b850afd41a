#include "render/surface.h"

#include "resources/resources.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nuvalo {

namespace {

// Coordinates are widened so that no sum of a position and a size can overflow.
using Coord = std::int64_t;

bool isLeadByte(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

Pixel* rowOf(Surface dst, Coord y) {
    return dst.pixels + static_cast<std::ptrdiff_t>(y) * dst.width;
}

// Paints one glyph with its box's top-left at (x, y).
void drawGlyph(Surface dst, Coord x, Coord y, res::Glyph g) {
    constexpr int kGlyphHeight = 16;
    const Coord x0 = std::max<Coord>(x, 0);
    const Coord x1 = std::min<Coord>(x + g.width, dst.width);
    const Coord y0 = std::max<Coord>(y, 0);
    const Coord y1 = std::min<Coord>(y + kGlyphHeight, dst.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    const int stride = (g.width + 7) / 8;
    for (Coord py = y0; py < y1; ++py) {
        const std::uint8_t* bits = g.rows + (py - y) * stride;
        Pixel* out = rowOf(dst, py);
        for (Coord px = x0; px < x1; ++px) {
            const Coord c = px - x;
            const bool ink = (bits[c / 8] & (0x80u >> (c % 8))) != 0;
            out[px] = ink ? kBlack : kWhite;
        }
    }
}

// Fills are the bulk of every frame's work. Pixels are stored a vector's
// width at a time (compilers turn the fixed-size copy into one store) rather
// than one by one, and a colour whose bytes are all equal becomes memset.
void fillPixels(Pixel* p, std::size_t n, Pixel colour) {
    if (colour == 0 || colour == 0xFFFFFFFFu) {
        std::memset(p, static_cast<int>(colour & 0xFF), n * sizeof(Pixel));
        return;
    }
    const Pixel pattern[4] = {colour, colour, colour, colour};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::memcpy(p + i, pattern, sizeof pattern);
    }
    for (; i < n; ++i) {
        p[i] = colour;
    }
}

} // namespace

void fillRect(Surface dst, int left, int top, int right, int bottom, Pixel colour) {
    const int x0 = std::max(left, 0);
    const int x1 = std::min(right, dst.width);
    const int y0 = std::max(top, 0);
    const int y1 = std::min(bottom, dst.height);
    if (x0 >= x1 || y0 >= y1 || dst.pixels == nullptr) {
        return;
    }
    if (x0 == 0 && x1 == dst.width) {
        // Whole rows lie next to each other: one run.
        fillPixels(rowOf(dst, y0),
                   static_cast<std::size_t>(y1 - y0) * static_cast<std::size_t>(dst.width), colour);
        return;
    }
    for (int y = y0; y < y1; ++y) {
        fillPixels(rowOf(dst, y) + x0, static_cast<std::size_t>(x1 - x0), colour);
    }
}

void blit(Surface dst, const Bitmap& sheet, Cell cell, int x, int y, RasterOp op) {
    if (dst.pixels == nullptr || sheet.pixels == nullptr || cell.w <= 0 || cell.h <= 0) {
        return;
    }
    // Source window inside the sheet, then the matching destination window
    // inside the surface; each clip moves both sides by the same amount.
    Coord sx0 = std::max<Coord>(cell.x, 0);
    Coord sy0 = std::max<Coord>(cell.y, 0);
    Coord sx1 = std::min<Coord>(Coord{cell.x} + cell.w, sheet.width);
    Coord sy1 = std::min<Coord>(Coord{cell.y} + cell.h, sheet.height);
    const Coord dx = Coord{x} - cell.x; // destination = source + d
    const Coord dy = Coord{y} - cell.y;
    sx0 = std::max<Coord>(sx0, -dx);
    sy0 = std::max<Coord>(sy0, -dy);
    sx1 = std::min<Coord>(sx1, dst.width - dx);
    sy1 = std::min<Coord>(sy1, dst.height - dy);
    if (sx0 >= sx1 || sy0 >= sy1) {
        return;
    }
    const auto width = static_cast<std::size_t>(sx1 - sx0);
    for (Coord sy = sy0; sy < sy1; ++sy) {
        const Pixel* src = sheet.pixels.get() + static_cast<std::ptrdiff_t>(sy) * sheet.width + sx0;
        Pixel* out = rowOf(dst, sy + dy) + (sx0 + dx);
        switch (op) {
        case RasterOp::srcCopy:
            std::copy_n(src, width, out);
            break;
        case RasterOp::srcPaint:
            for (std::size_t i = 0; i < width; ++i) {
                out[i] |= src[i];
            }
            break;
        case RasterOp::srcAnd:
            for (std::size_t i = 0; i < width; ++i) {
                out[i] &= src[i];
            }
            break;
        }
    }
}

namespace {

// The glyph of the character starting at bytes[i]; i moves past its trail
// byte. A lead byte needs its trail byte within the count; a lead byte left
// on its own at the end is a single-byte code (the font's fallback box)
// instead of a read past the string.
res::Glyph nextGlyph(const char* bytes, int& i, int count) {
    const auto b = static_cast<std::uint8_t>(bytes[i]);
    std::uint16_t code = b;
    if (isLeadByte(b) && i + 1 < count) {
        code = static_cast<std::uint16_t>(b << 8 | static_cast<std::uint8_t>(bytes[i + 1]));
        ++i;
    }
    return res::glyph(code);
}

} // namespace

void drawText(Surface dst, int x, int y, const char* bytes, int count) {
    if (dst.pixels == nullptr || bytes == nullptr) {
        return;
    }
    Coord penX = x;
    for (int i = 0; i < count; ++i) {
        const res::Glyph g = nextGlyph(bytes, i, count);
        if (g.rows != nullptr && g.width > 0) {
            drawGlyph(dst, penX, y, g);
        }
        penX += g.width;
    }
}

int textWidth(const char* bytes, int count) {
    if (bytes == nullptr) {
        return 0;
    }
    int width = 0;
    for (int i = 0; i < count; ++i) {
        width += nextGlyph(bytes, i, count).width;
    }
    return width;
}

} // namespace nuvalo
