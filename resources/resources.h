#pragma once
// Artwork, font and default sound compiled into the program.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace nuvalo::res {

// The stored bytes of a sheet ("Kemri", "Stein", "Botan"; the name is matched
// without regard to case): a device-independent bitmap without file header.
// Empty for an unknown name.
std::span<const std::uint8_t> sheet(std::string_view name);

// One glyph of the 16-pixel Japanese bitmap font. `rows` holds 16 rows of
// `width` pixels, top row first, each row (width + 7) / 8 bytes, most
// significant bit leftmost, a set bit being ink.
struct Glyph {
    int width = 0; // 8 for half-width, 16 for full-width characters
    const std::uint8_t* rows = nullptr;
};

// The glyph for a Shift-JIS code: a single byte (0x00..0xFF, half-width) or a
// double-byte code (lead << 8 | trail). Codes without a glyph get a visible
// fallback box of the matching width; never null.
Glyph glyph(std::uint16_t code);

// The built-in sound played when a cue's WAV file cannot be found or read:
// the bytes of a complete RIFF/WAVE file.
std::span<const std::uint8_t> defaultSound();

// The window icon "Aicon" as a 32 x 32 PNG file.
std::span<const std::uint8_t> iconPng();

} // namespace nuvalo::res
