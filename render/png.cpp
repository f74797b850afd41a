#include "render/png.h"

#include <cstddef>
#include <cstdio>
#include <limits>

// The library is compiled here once, for PNG only. Its headers sit in a
// system include folder, so their own warnings stay out of the build's.
// Files are opened by this code, never by the library: the same fopen rules
// then hold for every build, and its stdio paths are left out.
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// Failure reasons would need a thread-local string; a failure is all we need.
#define STBI_NO_FAILURE_STRINGS
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STB_IMAGE_WRITE_STATIC
#include "stb_image.h"
#include "stb_image_write.h"

namespace nuvalo {

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// Snapshots and references are written rarely and read often: the library's
// strongest setting costs little here and keeps the committed files small.
constexpr int kCompressionLevel = 9;

} // namespace

std::vector<std::uint8_t> encodePng(const Pixel* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    // The library counts the filtered rows, and its output, in an int.
    const std::uint64_t filtered = (std::uint64_t{3} * static_cast<std::uint64_t>(width) + 1) *
                                   static_cast<std::uint64_t>(height);
    if (filtered > static_cast<std::uint64_t>(std::numeric_limits<int>::max() / 2)) {
        return {};
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    Bytes rgb(w * h * 3);
    for (std::size_t i = 0; i < w * h; ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(pixels[i]);
    }
    Bytes png;
    stbi_write_png_compression_level = kCompressionLevel;
    if (stbi_write_png_to_func(append, &png, width, height, 3, rgb.data(), width * 3) == 0) {
        return {};
    }
    return png;
}

bool writePng(const char* path, const Bitmap& image) {
    const Bytes png = encodePng(image.pixels.get(), image.width, image.height);
    if (png.empty() || path == nullptr) {
        return false;
    }
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

Bitmap decodePng(std::span<const std::uint8_t> png) {
    Bitmap out;
    if (png.empty() || png.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return out;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height,
                                         &channels, 3);
    if (rgb == nullptr) {
        return out;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    out.pixels = std::make_unique<Pixel[]>(count);
    for (std::size_t i = 0; i < count; ++i) {
        out.pixels[i] = static_cast<Pixel>(rgb[3 * i]) << 16 |
                        static_cast<Pixel>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    out.width = width;
    out.height = height;
    stbi_image_free(rgb);
    return out;
}

Bitmap readPng(const char* path) {
    std::FILE* f = path == nullptr ? nullptr : std::fopen(path, "rb");
    if (f == nullptr) {
        return {};
    }
    Bytes bytes;
    std::uint8_t chunk[16384];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? Bitmap{} : decodePng(bytes);
}

} // namespace nuvalo
