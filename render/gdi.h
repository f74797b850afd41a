#pragma once
// The software drawing objects the game draws with: a 600 x 450 back buffer,
// the decoded sprite sheets and brushes.

#include <cstdint>
#include <memory>

namespace nuvalo {

inline constexpr int kFrameWidth = 600;
inline constexpr int kFrameHeight = 450;

// 0x00RRGGBB. Black is all colour bits 0 and white all bits 1, which is what
// lets the OR/AND raster operations draw masked sprites.
using Pixel = std::uint32_t;

inline constexpr Pixel kBlack = 0x000000;
inline constexpr Pixel kWhite = 0xFFFFFF;

// A decoded sheet or the back buffer: row-major, top row first, `width` pixels a row.
struct Bitmap {
    std::unique_ptr<Pixel[]> pixels;
    int width = 0;
    int height = 0;
};

// Where drawing goes: a view of a bitmap's pixels, as a device context is to
// GDI. A default (empty) surface swallows every drawing call.
struct Surface {
    Pixel* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// The drawing objects in the order they are created; they are released in a
// different order (see releaseDrawingResources).
enum class GdiObject : std::uint8_t {
    blackBrush,
    whiteBrush,
    starSheet,
    steinSheet,
    botanSheet,
    backBufferBitmap,
    backBufferDC,
};
inline constexpr int kGdiObjectCount = 7;

struct GdiResources {
    Bitmap backBufferBitmap; // the frame, kFrameWidth x kFrameHeight
    Surface backBufferDC;    // every drawing routine draws here
    Pixel blackBrush = 0;
    Pixel whiteBrush = 0;
    Bitmap starSheet;  // "Kemri"
    Bitmap steinSheet; // "Stein"
    Bitmap botanSheet; // "Botan"

    std::uint32_t liveObjects = 0; // one bit per GdiObject
};

} // namespace nuvalo
