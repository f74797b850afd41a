// The window icon: one 32 x 32 image, as a Windows .ico and as a PNG.
#include "bitmap.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Only PNG, only from memory, private to this test: the game's own reader
// drops the alpha these checks are about.
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"

#ifdef NUVALO_HAVE_ZLIB
#include <zlib.h>
#endif

namespace nuvalo::test {
namespace {

// The icon image as top-down pixels, from the .ico's only image.
std::vector<Rgb> icoPixels(const std::vector<std::uint8_t>& ico) {
    const std::span<const std::uint8_t> image(ico.data() + 22, ico.size() - 22);
    std::vector<Rgb> out(32 * 32);
    for (std::size_t y = 0; y < 32; ++y) {
        for (std::size_t x = 0; x < 32; ++x) {
            const std::size_t entry = 40 + 4 * std::size_t{image[40 + 1024 + (31 - y) * 32 + x]};
            out[y * 32 + x] = Rgb{image[entry + 2], image[entry + 1], image[entry]};
        }
    }
    return out;
}

TEST(Icon, IcoHasTheOneEntryTheIconGroupDescribes) {
    const auto ico = readFile("icon/Aicon.ico");
    ASSERT_EQ(ico.size(), 6U + 16U + 2216U);
    EXPECT_EQ(le16(ico, 0), 0U);     // reserved
    EXPECT_EQ(le16(ico, 2), 1U);     // icon
    EXPECT_EQ(le16(ico, 4), 1U);     // one entry
    EXPECT_EQ(ico[6], 32);           // width
    EXPECT_EQ(ico[7], 32);           // height
    EXPECT_EQ(ico[8], 0);            // colour count
    EXPECT_EQ(ico[9], 0);            // reserved
    EXPECT_EQ(le16(ico, 10), 1U);    // planes
    EXPECT_EQ(le16(ico, 12), 24U);   // bit count
    EXPECT_EQ(le32(ico, 14), 2216U); // bytes in the image
    EXPECT_EQ(le32(ico, 18), 22U);   // image right after the directory
}

TEST(Icon, ImageIsEightBitWithAPaletteAndAnAllClearMask) {
    const auto ico = readFile("icon/Aicon.ico");
    ASSERT_EQ(ico.size(), 2238U);
    const std::span<const std::uint8_t> image(ico.data() + 22, 2216);
    EXPECT_EQ(le32(image, 0), 40U);
    EXPECT_EQ(le32(image, 4), 32U);
    EXPECT_EQ(le32(image, 8), 64U); // colour image and mask stacked
    EXPECT_EQ(le16(image, 12), 1U);
    EXPECT_EQ(le16(image, 14), 8U);
    EXPECT_EQ(le32(image, 16), 0U);
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(image[40 + 4 * i + 3], 0) << "palette entry " << i;
    }
    for (std::size_t i = 40 + 1024 + 1024; i < 2216; ++i) {
        EXPECT_EQ(image[i], 0) << "mask byte " << i << ": the icon is fully opaque";
    }
}

// It shows the kind-0 saucer, pixel for pixel, on white.
TEST(Icon, ShowsTheKindZeroSaucerOnWhite) {
    const auto pixels = icoPixels(readFile("icon/Aicon.ico"));
    const Sheet stein = loadSheet("Stein");
    std::optional<std::pair<int, int>> offset;
    for (int dy = -8; dy <= 12 && !offset; ++dy) {
        for (int dx = 0; dx <= 7 && !offset; ++dx) {
            bool same = true;
            for (int y = 0; y < 32 && same; ++y) {
                for (int x = 0; x < 32 && same; ++x) {
                    const int sx = x - dx;
                    const int sy = y - dy;
                    const Rgb want = (sx >= 0 && sx < 25 && sy >= 0 && sy < 25)
                                         ? stein.at(50 + sx, 25 + sy)
                                         : kWhite;
                    same = pixels[static_cast<std::size_t>(y * 32 + x)] == want;
                }
            }
            if (same) {
                offset = {dx, dy};
            }
        }
    }
    EXPECT_TRUE(offset.has_value());
    EXPECT_EQ(pixels.front(), kWhite);
    EXPECT_EQ(pixels.back(), kWhite);
}

#ifdef NUVALO_HAVE_ZLIB
// The PNG for desktops and the window holds the same picture.
TEST(Icon, PngMatchesTheIco) {
    const auto png = res::iconPng();
    ASSERT_GT(png.size(), 8U + 25U + 12U);
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_EQ(std::memcmp(png.data(), signature, 8), 0);
    auto be32 = [&png](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = value << 8U | png[at + i];
        }
        return value;
    };
    std::vector<std::uint8_t> idat;
    std::size_t at = 8;
    bool ended = false;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = be32(at);
        ASSERT_LE(at + 12 + length, png.size());
        const auto* tag = reinterpret_cast<const char*>(png.data() + at + 4);
        EXPECT_EQ(crc32(0, png.data() + at + 4, length + 4), be32(at + 8 + length))
            << std::string(tag, 4);
        if (std::memcmp(tag, "IHDR", 4) == 0) {
            EXPECT_EQ(be32(at + 8), 32U);
            EXPECT_EQ(be32(at + 12), 32U);
            EXPECT_EQ(png[at + 16], 8); // bit depth
            EXPECT_EQ(png[at + 17], 2); // RGB
            EXPECT_EQ(png[at + 20], 0); // not interlaced
        } else if (std::memcmp(tag, "IDAT", 4) == 0) {
            idat.insert(idat.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        } else if (std::memcmp(tag, "IEND", 4) == 0) {
            ended = true;
        }
        at += 12 + length;
    }
    EXPECT_TRUE(ended);
    std::vector<std::uint8_t> raw(32 * (1 + 32 * 3));
    uLongf rawSize = static_cast<uLongf>(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &rawSize, idat.data(), static_cast<uLong>(idat.size())), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    // undo the row filters (the writer uses None, Sub and Up)
    std::vector<std::uint8_t> rgb(32 * 96);
    for (std::size_t y = 0; y < 32; ++y) {
        const std::uint8_t filter = raw[y * 97];
        ASSERT_LE(filter, 2) << "row " << y;
        for (std::size_t i = 0; i < 96; ++i) {
            const std::uint8_t v = raw[y * 97 + 1 + i];
            const std::uint8_t left = i >= 3 ? rgb[y * 96 + i - 3] : 0;
            const std::uint8_t up = y > 0 ? rgb[(y - 1) * 96 + i] : 0;
            rgb[y * 96 + i] = static_cast<std::uint8_t>(v + (filter == 1   ? left
                                                             : filter == 2 ? up
                                                                           : 0));
        }
    }
    const auto pixels = icoPixels(readFile("icon/Aicon.ico"));
    for (std::size_t p = 0; p < 32 * 32; ++p) {
        EXPECT_EQ((Rgb{rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2]}), pixels[p]) << "pixel " << p;
    }
}
#endif

} // namespace
// The desktop's icons: at every size only fully opaque or fully clear pixels,
// in the colours of the 32 x 32 art, so a panel shows no smeared edge.
TEST(Icon, DesktopIconsAreCrispAtEverySize) {
    auto load = [](int size, std::vector<std::uint32_t>& rgba) {
        const auto png = readFile("icon/hicolor/nuvalo-" + std::to_string(size) + ".png");
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels =
            stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &n, 4);
        ASSERT_NE(pixels, nullptr) << size;
        ASSERT_EQ(w, size);
        ASSERT_EQ(h, size);
        rgba.assign(static_cast<std::size_t>(w * h), 0);
        std::memcpy(rgba.data(), pixels, rgba.size() * 4);
        stbi_image_free(pixels);
    };
    std::vector<std::uint32_t> art;
    load(32, art);
    const std::set<std::uint32_t> colours(art.begin(), art.end());
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        std::vector<std::uint32_t> icon;
        load(size, icon);
        int opaque = 0;
        const auto side = static_cast<std::size_t>(size);
        for (std::size_t i = 0; i < icon.size(); ++i) {
            const unsigned alpha = icon[i] >> 24U;
            ASSERT_TRUE(alpha == 0 || alpha == 255)
                << size << " px: alpha " << alpha << " at " << i % side << "," << i / side;
            if (alpha == 255) {
                ++opaque;
                ASSERT_EQ(colours.count(icon[i]), 1U)
                    << size << " px: a colour the art does not have at " << i % side << ","
                    << i / side;
            }
        }
        EXPECT_GT(opaque, size * size / 8) << size << " px: the saucer is missing";
    }
}

} // namespace nuvalo::test
