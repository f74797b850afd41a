#include "render/dib.h"

#include <cstddef>
#include <new>

namespace nuvalo {

namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::int64_t kMaxSide = 4096; // far beyond any sheet; keeps sizes sane

std::uint32_t u32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
           static_cast<std::uint32_t>(d[at + 2]) << 16 |
           static_cast<std::uint32_t>(d[at + 3]) << 24;
}

std::uint16_t u16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

std::int32_t i32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::int32_t>(u32(d, at));
}

} // namespace

bool decodeDib(std::span<const std::uint8_t> dib, Bitmap& out) {
    out = Bitmap{};
    if (dib.size() < kInfoHeaderSize) {
        return false;
    }
    const std::uint32_t headerSize = u32(dib, 0);
    const std::int64_t width = i32(dib, 4);
    const std::int64_t storedHeight = i32(dib, 8);
    const std::uint16_t bitCount = u16(dib, 14);
    const std::uint32_t compression = u32(dib, 16);
    const std::uint32_t colorsUsed = u32(dib, 32);
    const bool topDown = storedHeight < 0;
    const std::int64_t height = topDown ? -storedHeight : storedHeight;
    if (headerSize < kInfoHeaderSize || headerSize > dib.size() || bitCount != 8 ||
        compression != 0 || width <= 0 || width > kMaxSide || height <= 0 || height > kMaxSide ||
        colorsUsed > 256) {
        return false;
    }
    const std::size_t paletteCount = colorsUsed == 0 ? 256 : colorsUsed;
    const std::size_t paletteAt = headerSize;
    const std::size_t bitsAt = paletteAt + paletteCount * 4;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const std::size_t rowBytes = (w + 3) / 4 * 4;
    // The last row needs only its pixels, not its padding.
    if (bitsAt > dib.size() || (h - 1) * rowBytes + w > dib.size() - bitsAt) {
        return false;
    }

    Pixel palette[256] = {};
    for (std::size_t i = 0; i < paletteCount; ++i) {
        const std::size_t e = paletteAt + i * 4; // blue, green, red, 0
        palette[i] = static_cast<Pixel>(dib[e + 2]) << 16 | static_cast<Pixel>(dib[e + 1]) << 8 |
                     static_cast<Pixel>(dib[e]);
    }

    out.pixels.reset(new (std::nothrow) Pixel[w * h]);
    if (!out.pixels) {
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    for (std::size_t row = 0; row < h; ++row) {
        const std::size_t stored = topDown ? row : h - 1 - row;
        const std::uint8_t* src = dib.data() + bitsAt + stored * rowBytes;
        Pixel* dst = out.pixels.get() + row * w;
        for (std::size_t x = 0; x < w; ++x) {
            // Indices past a short palette read its zeroed tail: black.
            dst[x] = palette[src[x]];
        }
    }
    return true;
}

} // namespace nuvalo
