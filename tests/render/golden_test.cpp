// Whole frames against reference PNGs, and the PNG writer itself (read back
// with libpng, an independent decoder).
//
// To refresh the references after a deliberate change of the artwork or the
// layout, run
//     cmake --build BUILD --target refresh-render-golden
// (or the test program with NUVALO_UPDATE_GOLDEN=1), look at the new files
// in tests/render/golden/ and commit them.

#include "game/game.h"
#include "render/png.h"
#include "render/render.h"
#include "support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace nuvalo {
namespace {

struct Image {
    std::vector<Pixel> pixels;
    int width = 0;
    int height = 0;
};

bool readPng(const std::string& path, Image& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
        return false;
    }
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (std::size_t i = 0; i < out.pixels.size(); ++i) {
        out.pixels[i] = static_cast<Pixel>(rgb[3 * i]) << 16 |
                        static_cast<Pixel>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    }
    return true;
}

std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("nuvalo-render-" + name);
}

TEST(Png, RoundTripsThroughAnIndependentDecoder) {
    // Noise defeats the matcher, flat runs and repeated rows feed it.
    Bitmap b;
    b.width = 123;
    b.height = 77;
    b.pixels = std::make_unique<Pixel[]>(123 * 77);
    std::mt19937 rng(7);
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            Pixel p = 0;
            if (y < 20) {
                p = rng() & 0xFFFFFF;
            } else if (y < 50) {
                p = x < 60 ? 0x102030 : kWhite;
            } else {
                p = static_cast<Pixel>((x * 37) % 256) << 8 | static_cast<Pixel>(y % 3);
            }
            b.pixels[static_cast<std::size_t>(y * b.width + x)] = p;
        }
    }
    const auto path = scratch("roundtrip.png");
    ASSERT_TRUE(writePng(path.string().c_str(), b));
    Image back;
    ASSERT_TRUE(readPng(path.string(), back));
    std::filesystem::remove(path);
    ASSERT_EQ(back.width, b.width);
    ASSERT_EQ(back.height, b.height);
    for (std::size_t i = 0; i < back.pixels.size(); ++i) {
        ASSERT_EQ(back.pixels[i], b.pixels[i]) << "pixel " << i;
    }
}

TEST(Png, CompressesFlatFramesAndReportsFailures) {
    GameState s = test::emptyField();
    test::compose(s);
    const auto bytes = encodePng(test::frame().pixels, test::frame().width, test::frame().height);
    EXPECT_LT(bytes.size(), 40000u); // the raw frame is 810,000 bytes
    EXPECT_TRUE(encodePng(nullptr, 5, 5).empty());
    EXPECT_FALSE(writePng(scratch("missing-dir/frame.png").string().c_str(),
                          test::resources().backBufferBitmap));
    EXPECT_FALSE(writePng(scratch("empty.png").string().c_str(), Bitmap{}));
}

GameState midRun() {
    GameState s;
    s.running = 1;
    s.starX = 212;
    s.starY = 80;
    s.distance = 1234.56f;
    s.speed = 12.34f;
    s.bestScore = 20345.0f;
    s.targetsDown[0] = 2;
    s.targetsDown[1] = 1;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = Stone{60 + (i % 4) * 70 - (i % 2) * 25, 40 + 50 * i};
    }
    // The target over stone 2 and the boulder over stone 6 show the overlaps.
    s.targetX = 212;
    s.targetY = 150;
    s.targetKind = 1;
    s.boulderX = 215;
    s.boulderY = 325;
    return s;
}

GameState completeResult() {
    GameState s = test::emptyField();
    s.running = 0;
    s.crashTimer = 520;
    s.resultPhase = 2;
    s.distance = 234.9f;
    s.targetsDown[0] = 3;
    s.targetsDown[1] = 1;
    s.bestScore = 5000.0f;
    return s;
}

void expectGolden(const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(NUVALO_GOLDEN_DIR) / (name + ".png");
    const Bitmap& frame = test::resources().backBufferBitmap;
    const char* update = std::getenv("NUVALO_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        ASSERT_TRUE(writePng(golden.string().c_str(), frame));
        GTEST_SKIP() << "refreshed " << golden;
    }
    Image want;
    ASSERT_TRUE(readPng(golden.string(), want))
        << "cannot read " << golden << "; see the top of this file to create it";
    ASSERT_EQ(want.width, kFrameWidth);
    ASSERT_EQ(want.height, kFrameHeight);
    int differing = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * kFrameWidth + x);
            if (frame.pixels[i] != want.pixels[i]) {
                if (differing++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    }
    if (differing != 0) {
        const auto actual = scratch(name + "-actual.png");
        writePng(actual.string().c_str(), frame);
        ADD_FAILURE() << differing << " pixels differ from " << golden << ", the first at "
                      << firstX << "," << firstY << "; this frame is in " << actual;
    }
}

TEST(Golden, MidRunPlayfield) {
    GameState s = midRun();
    test::compose(s);
    expectGolden("mid-run");
}

// What a new window (or page) shows before the first run, with no best score
// stored: the whole run lies outside the frame, so any seed gives this frame.
TEST(Golden, HaltedBeforeTheFirstRun) {
    test::RecordingPlatform platform;
    GameState s;
    startRun(s, platform);
    s.speed = 0.0f;
    s.running = 0;
    s.bestScore = 0.0f;
    test::compose(s);
    expectGolden("halted");
}

TEST(Golden, CompleteResultWithBadge) {
    GameState s = completeResult();
    test::compose(s);
    expectGolden("result-complete");
}

} // namespace
} // namespace nuvalo
