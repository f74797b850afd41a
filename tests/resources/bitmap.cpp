#include "bitmap.h"

#include "resources/resources.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace nuvalo::test {

std::string toString(Rgb c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) +
           ")";
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8U |
           static_cast<std::uint32_t>(b[at + 2]) << 16U |
           static_cast<std::uint32_t>(b[at + 3]) << 24U;
}

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8U);
}

Sheet decodeDib(std::span<const std::uint8_t> dib) {
    if (dib.size() < 40 + 1024 || le32(dib, 0) != 40 || le16(dib, 14) != 8 || le32(dib, 16) != 0) {
        throw std::runtime_error("not an uncompressed 8-bit DIB");
    }
    Sheet s;
    s.width = static_cast<int>(le32(dib, 4));
    s.height = static_cast<int>(le32(dib, 8));
    const auto w = static_cast<std::size_t>(s.width);
    const auto h = static_cast<std::size_t>(s.height);
    const std::size_t stride = (w + 3) / 4 * 4;
    if (dib.size() != 40 + 1024 + stride * h) {
        throw std::runtime_error("DIB size does not match its header");
    }
    s.pixels.resize(w * h);
    for (std::size_t y = 0; y < h; ++y) {
        const std::size_t row = 40 + 1024 + (h - 1 - y) * stride;
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t entry = 40 + 4 * static_cast<std::size_t>(dib[row + x]);
            s.pixels[y * w + x] = Rgb{dib[entry + 2], dib[entry + 1], dib[entry]};
        }
    }
    return s;
}

Sheet loadSheet(const char* name) {
    return decodeDib(res::sheet(name));
}

std::vector<std::uint8_t> readFile(const std::string& relativeToResources) {
    std::ifstream in(std::string(NUVALO_RESOURCES_DIR) + "/" + relativeToResources,
                     std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open resources/" + relativeToResources);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace nuvalo::test
