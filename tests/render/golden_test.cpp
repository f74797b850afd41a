// Whole frames against reference PNGs, and the PNG writer and reader
// themselves (the library's encoder and decoder are separate code).
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
#include "tests/support/states.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace nuvalo {
namespace {

std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("nuvalo-render-" + name);
}

TEST(Png, RoundTripsEveryPixel) {
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
    const Bitmap back = readPng(path.string().c_str());
    std::filesystem::remove(path);
    ASSERT_EQ(back.width, b.width);
    ASSERT_EQ(back.height, b.height);
    for (std::size_t i = 0; i < static_cast<std::size_t>(b.width * b.height); ++i) {
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
    // A cut-off file or one that is no PNG reads as no picture.
    EXPECT_EQ(decodePng({bytes.data(), bytes.size() / 2}).pixels, nullptr);
    EXPECT_EQ(decodePng({bytes.data() + 1, bytes.size() - 1}).pixels, nullptr);
    EXPECT_EQ(readPng(scratch("missing-dir/frame.png").string().c_str()).pixels, nullptr);
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
    const Bitmap want = readPng(golden.string().c_str());
    ASSERT_NE(want.pixels, nullptr)
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
    GameState s = test::midRun();
    test::compose(s);
    expectGolden("mid-run");
}

// What a new window (or page) shows before the first run, with no best score
// stored: the whole run lies outside the frame, so any seed gives this frame.
TEST(Golden, HaltedBeforeTheFirstRun) {
    GameState s;
    Effects out;
    startRun(s, 0.0f, out);
    s.speed = 0.0f;
    s.running = 0;
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
