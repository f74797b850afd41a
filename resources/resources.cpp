#include "resources/resources.h"

#include "resources/embedded.h"

#include <array>

#ifdef _WIN32
#include <windows.h>
#endif

namespace nuvalo::res {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Layout of the compiled font (written by resources/generate.py).
constexpr std::size_t kGlyphCountOffset = 4;
constexpr std::size_t kHalfPresentOffset = 8;
constexpr std::size_t kHalfGlyphsOffset = 40;
constexpr std::size_t kHalfGlyphBytes = 16;
constexpr std::size_t kFullIndexOffset = kHalfGlyphsOffset + 256 * kHalfGlyphBytes;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFC;
constexpr std::size_t kTrails = kTrailLast - kTrailFirst + 1;
constexpr std::size_t kLeads = (0x9F - 0x81 + 1) + (0xEF - 0xE0 + 1);
constexpr std::size_t kFullGlyphsOffset = kFullIndexOffset + 2 * kLeads * kTrails;
constexpr std::size_t kFullGlyphBytes = 32;
constexpr std::uint16_t kNoGlyph = 0xFFFF;

// Codes without a glyph still show up: an outlined box, like the one the
// system draws for a character its font lacks.
constexpr std::array<std::uint8_t, 16> kHalfBox = {0x00, 0x00, 0x7E, 0x42, 0x42, 0x42, 0x42, 0x42,
                                                   0x42, 0x42, 0x42, 0x42, 0x7E, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 32> kFullBox = {
    0x00, 0x00, 0x3F, 0xFC, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04,
    0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x20, 0x04, 0x3F, 0xFC, 0x00, 0x00, 0x00, 0x00};

const std::uint8_t* fontBytes() {
    return embedded::fontData;
}

unsigned u16At(std::size_t offset) {
    return static_cast<unsigned>(fontBytes()[offset]) |
           static_cast<unsigned>(fontBytes()[offset + 1]) << 8U;
}

// Position of a lead byte among the 47 that JIS X 0208 occupies, or -1.
int leadSlot(unsigned lead) {
    if (lead >= 0x81 && lead <= 0x9F) {
        return static_cast<int>(lead - 0x81);
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return static_cast<int>(lead - 0xE0 + (0x9F - 0x81 + 1));
    }
    return -1;
}

Glyph halfGlyph(unsigned code) {
    const std::uint8_t present = fontBytes()[kHalfPresentOffset + code / 8];
    if ((present >> (code % 8)) & 1U) {
        return {8, fontBytes() + kHalfGlyphsOffset + code * kHalfGlyphBytes};
    }
    return {8, kHalfBox.data()};
}

Glyph fullGlyph(unsigned lead, unsigned trail) {
    const Glyph box{16, kFullBox.data()};
    const int slot = leadSlot(lead);
    if (slot < 0 || trail < kTrailFirst || trail > kTrailLast) {
        return box;
    }
    const std::size_t entry =
        static_cast<std::size_t>(slot) * kTrails + static_cast<std::size_t>(trail - kTrailFirst);
    const unsigned index = u16At(kFullIndexOffset + 2 * entry);
    if (index == kNoGlyph || index >= u16At(kGlyphCountOffset)) {
        return box;
    }
    return {16, fontBytes() + kFullGlyphsOffset + index * kFullGlyphBytes};
}

} // namespace

#ifdef _WIN32
// The program's own bitmap resource of that name (language 1041, as the
// resource script stores them): a DIB without file header, as the embedded
// sheets are elsewhere.
std::span<const std::uint8_t> programBitmap(const char* name) {
    HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(2), name, 0x0411); // RT_BITMAP
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, found)};
}
#endif

std::span<const std::uint8_t> sheet(std::string_view name) {
#ifdef _WIN32
    for (const char* known : {"KEMRI", "STEIN", "BOTAN"}) {
        if (sameName(name, known)) {
            return programBitmap(known);
        }
    }
#else
    if (sameName(name, "Kemri")) {
        return {embedded::kemriDib, embedded::kemriDibSize};
    }
    if (sameName(name, "Stein")) {
        return {embedded::steinDib, embedded::steinDibSize};
    }
    if (sameName(name, "Botan")) {
        return {embedded::botanDib, embedded::botanDibSize};
    }
#endif
    return {};
}

Glyph glyph(std::uint16_t code) {
    if (code < 0x100) {
        return halfGlyph(code);
    }
    return fullGlyph(static_cast<unsigned>(code >> 8U), code & 0xFFU);
}

std::span<const std::uint8_t> defaultSound() {
    return {embedded::defaultWav, embedded::defaultWavSize};
}

std::span<const std::uint8_t> iconPng() {
    return {embedded::iconPngData, embedded::iconPngDataSize};
}

} // namespace nuvalo::res
