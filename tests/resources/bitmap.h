#pragma once
// Reading the stored sheets and files back for the tests.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nuvalo::test {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};

std::string toString(Rgb c);

// A decoded 8-bit bottom-up DIB (no file header), addressed top-down.
struct Sheet {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Throws std::runtime_error on anything that is not an uncompressed 8-bit DIB.
Sheet decodeDib(std::span<const std::uint8_t> dib);
Sheet loadSheet(const char* name);

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at);
std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at);

std::vector<std::uint8_t> readFile(const std::string& relativeToResources);

} // namespace nuvalo::test
