#pragma once
// The three drawing primitives everything on screen is made of: filled
// rectangles, raster blits of sheet cells and Shift-JIS text.

#include "render/gdi.h"

#include <cstddef>

namespace nuvalo {

// A rectangle of a sheet: top-left pixel (x, y), size w x h.
struct Cell {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

enum class RasterOp : std::uint8_t {
    srcCopy,  // destination = source
    srcPaint, // destination = destination OR source
    srcAnd,   // destination = destination AND source
};

inline Surface surfaceOf(Bitmap& bitmap) {
    return Surface{bitmap.pixels.get(), bitmap.width, bitmap.height};
}

// Fills exactly left <= x < right, top <= y < bottom, clipped to the surface.
// Corners given the wrong way round fill nothing.
void fillRect(Surface dst, int left, int top, int right, int bottom, Pixel colour);

// Copies `cell` of `sheet` to (x, y) with `op`. Only the part of the cell that
// lies inside the sheet is copied, and only where it lands on the surface;
// the rest of the destination is left as it was.
void blit(Surface dst, const Bitmap& sheet, Cell cell, int x, int y, RasterOp op);

// Draws `count` bytes of Shift-JIS text with its top-left corner at (x, y):
// black glyphs of the built-in 16-pixel font on an opaque white box.
void drawText(Surface dst, int x, int y, const char* bytes, int count);

// How wide drawText draws the same text, in pixels.
int textWidth(const char* bytes, int count);

// A fixed label: the byte count is the literal's length.
template <std::size_t N> void drawLabel(Surface dst, int x, int y, const char (&text)[N]) {
    drawText(dst, x, y, text, static_cast<int>(N - 1));
}

} // namespace nuvalo
