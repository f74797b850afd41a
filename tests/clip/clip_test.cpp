// Clips read back with giflib's own decoder (in the browser build, which has
// no giflib, with the reader of the encoder it writes them with): each frame,
// drawn over the ones before it as the file says, must be the frame the game
// draws at that step.
#include "app/sim/sim_script.h"
#include "clip/clip.h"
#include "clip/clip_file.h"
#include "host/watch.h"
#include "persist/run_file.h"
#include "render/render.h"
#include "tests/support/fixtures.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#else
#include <gif_lib.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>

namespace nuvalo::test {
namespace {

using clip::ClipOptions;

// A run of 939 ticks ending in a crash, its tally 181 paints more: the watch
// is 1120 steps, 22.40 s, long.
RunRecord recordedRun() {
    std::filesystem::create_directory("runs");
    const char* script =
        "keyup 32\ntimer 900\nkeyup 32\nkeydown 37\ntimer 900\nkeyup 32\ntimer 50\n";
    EXPECT_EQ(
        sim::runScript(script, {.seed = 5, .quiet = true, .runsDir = "runs"}, nullptr, nullptr), 0);
    const RunSource file = readRunArgument("runs/2.nuvrun");
    const ReadRun read = decodeRun(file.bytes.data(), file.bytes.size(), kRulesVersion);
    EXPECT_TRUE(read.ok) << read.reason;
    return read.run;
}

struct Decoded {
    int images = 0;
    bool loopsForever = false;
    std::vector<int> delays;
};

// Every image drawn over the screen in turn; `each` sees the screen after it.
#ifdef __EMSCRIPTEN__
// `info`: the screen's width and height, and the loop count (-1: none).
EM_JS(int, openGif, (const char* path, int* info), {
    try {
        var gif = new nuvaloOmggif.GifReader(FS.readFile(UTF8ToString(path)));
        var loops = gif.loopCount();
        HEAP32.set([ gif.width, gif.height, loops == null ? -1 : loops ], info >> 2);
        Module.clipTestGif = gif;
        return gif.numFrames();
    } catch (error) {
        err(error);
        return -1;
    }
});
// Draws image `i` over `screen` (in BGRA bytes: the game's pixels, with an
// alpha on top); `info`: its rectangle and whether it has a transparent
// colour. Its delay.
EM_JS(int, drawGifImage, (int i, Pixel* screen, int* info), {
    var gif = Module.clipTestGif;
    var image = gif.frameInfo(i);
    HEAP32.set([ image.x, image.y, image.width, image.height, image.transparent_index != null ],
               info >> 2);
    if (image.x + image.width <= gif.width && image.y + image.height <= gif.height) {
        gif.decodeAndBlitFrameBGRA(i, HEAPU8.subarray(screen, screen + 4 * gif.width * gif.height));
    }
    return image.delay;
});

Decoded decodeGif(const std::string& path, int width, int height,
                  const std::function<void(int image, const std::vector<Pixel>& screen)>& each) {
    Decoded decoded;
    std::array<int, 5> info{};
    decoded.images = openGif(path.c_str(), info.data());
    if (decoded.images < 0) {
        ADD_FAILURE() << "omggif cannot read " << path;
        return decoded;
    }
    EXPECT_EQ(info[0], width);
    EXPECT_EQ(info[1], height);
    decoded.loopsForever = info[2] == 0;
    std::vector<Pixel> screen(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int i = 0; i < decoded.images; ++i) {
        decoded.delays.push_back(drawGifImage(i, screen.data(), info.data()));
        EXPECT_TRUE(info[0] + info[2] <= width && info[1] + info[3] <= height && info[4] == 0);
        for (Pixel& pixel : screen) {
            pixel &= 0xFFFFFF; // an opaque alpha
        }
        each(i, screen);
    }
    return decoded;
}
#else
Decoded decodeGif(const std::string& path, int width, int height,
                  const std::function<void(int image, const std::vector<Pixel>& screen)>& each) {
    Decoded decoded;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        ADD_FAILURE() << GifErrorString(error);
        return decoded;
    }
    EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
    EXPECT_EQ(gif->SWidth, width);
    EXPECT_EQ(gif->SHeight, height);
    std::vector<Pixel> screen(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; i == 0 && e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock* block = image.ExtensionBlocks + e;
            decoded.loopsForever =
                decoded.loopsForever ||
                (block[0].Function == APPLICATION_EXT_FUNC_CODE && block[0].ByteCount == 11 &&
                 std::memcmp(block[0].Bytes, "NETSCAPE2.0", 11) == 0 && block[1].ByteCount == 3 &&
                 std::memcmp(block[1].Bytes, "\x01\x00\x00", 3) == 0);
        }
        GraphicsControlBlock control{};
        EXPECT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
        EXPECT_EQ(control.TransparentColor, NO_TRANSPARENT_COLOR);
        decoded.delays.push_back(control.DelayTime);
        const GifImageDesc& at = image.ImageDesc;
        const ColorMapObject* map = at.ColorMap != nullptr ? at.ColorMap : gif->SColorMap;
        EXPECT_TRUE(at.Left + at.Width <= width && at.Top + at.Height <= height && map != nullptr);
        for (int y = 0; y < at.Height && map != nullptr; ++y) {
            for (int x = 0; x < at.Width; ++x) {
                const GifColorType c = map->Colors[image.RasterBits[y * at.Width + x]];
                screen[static_cast<std::size_t>((at.Top + y) * width + at.Left + x)] =
                    Pixel{c.Red} << 16 | Pixel{c.Green} << 8 | c.Blue;
            }
        }
        each(i, screen);
    }
    decoded.images = gif->ImageCount;
    DGifCloseFile(gif, &error);
    return decoded;
}
#endif

class Clip : public InTempDir {};

TEST_F(Clip, EveryFrameIsTheGamesFrameAtItsStep) {
    const RunRecord run = recordedRun();
    Watch watch(run);
    ASSERT_EQ(watch.status().length, 1120u);
    GdiResources gdi;
    createDrawingResources(gdi);
    std::vector<Pixel> expected;
    // The watch positions of the first and the last frame, and the frames.
    struct Case {
        ClipOptions options;
        std::uint32_t first, last, count;
    };
    const Case cases[] = {
        {{}, 621, 1120, 500}, // the last 10 s, up to the completed tally
        {{.fromSeconds = 17, .toSeconds = 19, .fps = 25, .scale = 2}, 852, 950, 50}, // the crash
        {{.fromSeconds = 0, .toSeconds = 0.5, .fps = 25}, 3, 25, 12}, // ends on a frame
        {{.fromSeconds = 18.5, .toSeconds = 18.9, .scale = 2}, 926, 945, 20},
    };
    for (const Case& c : cases) {
        const std::string label = std::to_string(c.options.fps) + " fps, x" +
                                  std::to_string(c.options.scale) + ", to " +
                                  std::to_string(c.last);
        const auto writer = clip::makeGifWriter();
        const clip::ClipResult made = clip::writeClip(run, c.options, "clip.gif", *writer);
        ASSERT_TRUE(made.ok) << label << ": " << made.reason;
        EXPECT_FALSE(std::filesystem::exists("clip.gif.tmp")) << label;
        const int scale = c.options.scale;
        const std::uint32_t every = c.options.fps == 25 ? 2 : 1;
        const Decoded decoded = decodeGif(
            "clip.gif", kFrameWidth * scale, kFrameHeight * scale,
            [&](int image, const std::vector<Pixel>& screen) {
                watch.seek(c.first + static_cast<std::uint32_t>(image) * every);
                composeFrame(gdi, watch.state());
                const Pixel* frame = gdi.backBufferBitmap.pixels.get();
                expected.clear();
                for (int y = 0; y < kFrameHeight * scale; ++y) {
                    for (int x = 0; x < kFrameWidth * scale; ++x) {
                        expected.push_back(frame[y / scale * kFrameWidth + x / scale]);
                    }
                }
                if (screen != expected) {
                    const auto at = std::mismatch(screen.begin(), screen.end(), expected.begin());
                    const auto i = at.first - screen.begin();
                    FAIL() << label << ": image " << image << " differs at ("
                           << i % (kFrameWidth * scale) << ", " << i / (kFrameWidth * scale) << ")";
                }
            });
        EXPECT_EQ(watch.status().position, c.last) << label;
        EXPECT_EQ(decoded.images, static_cast<int>(c.count)) << label;
        EXPECT_EQ(made.frames, c.count) << label;
        EXPECT_EQ(decoded.delays, std::vector<int>(c.count, static_cast<int>(2 * every))) << label;
        EXPECT_TRUE(decoded.loopsForever) << label;
    }
    releaseDrawingResources(gdi);
}

TEST_F(Clip, StretchesInSecondsOfPlay) {
    struct Case {
        std::uint32_t length;
        ClipOptions options;
        std::uint32_t first, count; // 0 frames: refused, with `reason`
        const char* reason;
    };
    const Case cases[] = {
        {300, {}, 1, 300, ""}, // a run shorter than 10 s: all of it
        {1000, {.toSeconds = 5}, 1, 250, ""},
        {1000, {.fromSeconds = 2}, 101, 500, ""},
        {1000, {.fromSeconds = 18}, 901, 100, ""}, // 10 s from it, but no further than the end
        {1000, {.fromSeconds = 0, .toSeconds = 0.1, .fps = 25}, 3, 2, ""},
        {1000, {.toSeconds = 20.009}, 501, 500, ""}, // to the nearest step
        {1000, {.toSeconds = 20.02}, 0, 0, "--to 20.02 is past the run's end at 20.00 s"},
        {1000, {.fromSeconds = -1}, 0, 0, "--from -1 is before the run's start"},
        {1000, {.fromSeconds = 3, .toSeconds = 3}, 0, 0, "from 3.00 s to 3.00 s is empty"},
        {1000, {.fromSeconds = 20}, 0, 0, "from 20.00 s to 20.00 s is empty"},
        {1000, {.fromSeconds = 1, .toSeconds = 1.02, .fps = 25}, 0, 0, "shorter than one frame"},
        {1000, {.fps = 30}, 0, 0, "50 or 25 frames a second, not 30"},
        {0, {}, 0, 0, "no steps"},
    };
    for (const Case& c : cases) {
        const clip::Stretch s = clip::stretchOf(c.length, c.options);
        const std::string label = std::to_string(c.length) + " steps, " +
                                  std::to_string(c.options.fromSeconds.value_or(-9)) + " to " +
                                  std::to_string(c.options.toSeconds.value_or(-9));
        EXPECT_EQ(s.ok, c.count != 0) << label << ": " << s.reason;
        EXPECT_EQ(s.count, c.count) << label;
        EXPECT_EQ(s.ok ? s.first : 0, c.first) << label;
        EXPECT_NE(s.reason.find(c.reason), std::string::npos) << label << ": " << s.reason;
    }

    // The palette: each colour once, in order, and never more than a GIF holds.
    clip::Palette palette;
    const Pixel some[] = {0x30, 0x10, 0x30, 0x20, 0x10};
    ASSERT_TRUE(palette.add(some, 5));
    EXPECT_EQ(palette.colours(), (std::vector<Pixel>{0x10, 0x20, 0x30}));
    EXPECT_EQ(palette.indexOf(0x30), 2);
    std::vector<Pixel> many(256);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<Pixel>(i * 0x010101);
    }
    EXPECT_FALSE(palette.add(many.data(), many.size()));
}

TEST_F(Clip, NothingIsWrittenForADamagedRecordAStretchItLacksOrAFileThatCannotBe) {
    const RunRecord run = recordedRun();
    const std::vector<std::uint8_t> record = encodeRun(run);
    std::vector<std::uint8_t> damaged = record;
    damaged[9] ^= 4;
    writeFile("kept.gif", "an older clip");
    struct Case {
        const std::vector<std::uint8_t>& bytes;
        ClipOptions options;
        std::string path;
        int status;
        const char* says; // on the error output, or in the verdict line
    };
    const Case cases[] = {
        {damaged, {}, "kept.gif", sim::kExitBadRecord, "checksum"},
        {record, {.toSeconds = 30}, "kept.gif", sim::kExitBadScript, "past the run's end"},
        {record, {.fromSeconds = 9, .toSeconds = 4}, "kept.gif", sim::kExitBadScript, "empty"},
        {record, {.toSeconds = 1}, "no-such-folder/new.gif", sim::kExitNotWritten, "cannot write"},
    };
    for (const Case& c : cases) {
        std::FILE* out = scratchFile();
        std::FILE* err = scratchFile();
        EXPECT_EQ(sim::clipRecord(c.bytes, c.options, c.path, out, err), c.status) << c.says;
        const std::string said = [&] {
            std::string text;
            for (std::FILE* f : {out, err}) {
                std::rewind(f);
                for (int ch = std::getc(f); ch != EOF; ch = std::getc(f)) {
                    text.push_back(static_cast<char>(ch));
                }
                std::fclose(f);
            }
            return text;
        }();
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(readFile("kept.gif"), "an older clip") << c.says;
        EXPECT_FALSE(std::filesystem::exists(c.path + ".tmp")) << c.says;
        EXPECT_FALSE(std::filesystem::exists("no-such-folder")) << c.says;
    }
    // And a clip that can be made replaces the file whole.
    std::FILE* out = scratchFile();
    std::FILE* err = scratchFile();
    EXPECT_EQ(sim::clipRecord(record, {.toSeconds = 1}, "kept.gif", out, err), sim::kExitOk);
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(readFile("kept.gif").substr(0, 6), "GIF89a");
}

TEST_F(Clip, AWatchSavesItsClipUnderTheFirstFreeNameAndNeverOverAFile) {
    const RunRecord run = recordedRun();
    const auto writer = clip::makeGifWriter();
    struct Case {
        std::vector<std::string> there; // a trailing '/' makes a folder
        clip::GifWriter* writer;
        std::uint32_t from, to;
        const char* title; // the last the window shows
        const char* made;  // the new file, if any
    };
    const Case cases[] = {
        {{}, writer.get(), 1070, 1120, "saved nuvalo-clip-1.gif", "nuvalo-clip-1.gif"},
        {{"nuvalo-clip-1.gif", "nuvalo-clip-3.gif"},
         writer.get(),
         0,
         1,
         "saved nuvalo-clip-2.gif",
         "nuvalo-clip-2.gif"},
        {{"nuvalo-clip-1.gif/", "nuvalo-clip-2.gif"},
         writer.get(),
         1119,
         1120,
         "saved nuvalo-clip-3.gif",
         "nuvalo-clip-3.gif"},
        {{"nuvalo-clip-1.gif"}, nullptr, 0, 50, "no clip: this build makes no GIF clips", ""},
        {{}, writer.get(), 0, 0, "no clip: the stretch from 0.00 s to 0.00 s is empty", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::filesystem::path folder = "case-" + std::to_string(++n);
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(folder);
        for (const std::string& name : c.there) {
            if (name.ends_with('/')) {
                std::filesystem::create_directory(name);
            } else {
                writeFile(name, "older");
            }
        }
        std::vector<std::string> titles;
        clip::saveClip(run, c.from, c.to, c.writer,
                       [&titles](const std::string& title) { titles.push_back(title); });
        ASSERT_FALSE(titles.empty()) << c.title;
        EXPECT_EQ(titles.back(), std::string(clip::kWatchTitle) + " - " + c.title);
        const auto files = static_cast<std::ptrdiff_t>(c.there.size()) + (*c.made != '\0' ? 1 : 0);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), files) << c.title;
        for (const std::string& name : c.there) {
            EXPECT_TRUE(name.ends_with('/') || readFile(name) == "older") << name;
        }
        if (*c.made != '\0') {
            EXPECT_EQ(readFile(c.made).substr(0, 6), "GIF89a") << c.title;
        }
        std::filesystem::current_path("..");
    }
    // The name is taken the moment it is chosen: a second watch gets the next.
    std::string reason;
    EXPECT_EQ(clip::takeClipName(reason), "nuvalo-clip-1.gif");
    EXPECT_EQ(clip::takeClipName(reason), "nuvalo-clip-2.gif");
    EXPECT_EQ(readFile("nuvalo-clip-1.gif"), "");
}

} // namespace
} // namespace nuvalo::test
