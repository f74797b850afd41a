#pragma once
// The software drawing objects the game draws with: a 600 x 450 back buffer,
// the decoded sprite sheets, pens and brushes.

#include <cstdint>
#include <memory>

namespace nuvalo {

inline constexpr int kFrameWidth = 600;
inline constexpr int kFrameHeight = 450;

// 0x00RRGGBB. Black is all colour bits 0 and white all bits 1, which is what
// lets the OR/AND raster operations draw masked sprites.
using Pixel = std::uint32_t;

// A decoded sheet or the back buffer: row-major, top row first, `width` pixels a row.
struct Bitmap {
    std::unique_ptr<Pixel[]> pixels;
    int width = 0;
    int height = 0;
};

struct GdiResources {
    Bitmap backBufferBitmap; // the frame, kFrameWidth x kFrameHeight
    Pixel whitePen = 0;      // created and released only; never drawn with
    Pixel grayPen = 0;
    Pixel blackBrush = 0;
    Pixel whiteBrush = 0;
    Bitmap starSheet;  // "Kemri"
    Bitmap steinSheet; // "Stein"
    Bitmap botanSheet; // "Botan"
};

} // namespace nuvalo
