// Judges screenshots of the running game (binary PPM files, as ImageMagick's
// `import` writes them) against frames composed by the game's own renderer.
//
//   nuvalo-e2e-check halted  SHOT.ppm   the whole halted opening frame, exactly
//   nuvalo-e2e-check playing SHOT.ppm   greyed start button, speed no longer 000
//   nuvalo-e2e-check star    SHOT.ppm   prints the star's position "x y"
//
// A last argument SCALE (2, 3, ...) judges a window that shows the frame at
// that factor: every frame pixel must be exactly SCALE x SCALE screen pixels
// of one colour, and the frame is then judged as above.
//
// The frame lies at the screenshot's top-left corner. Exit code 0 when the
// shot passes (or the star was found), 1 when not, 2 on bad use. Run it where
// no "save.dat" lies, so the reference frame shows a best score of 0.

#include "host/host.h"
#include "render/cells.h"
#include "render/render.h"
#include "tests/support/doubles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace nuvalo;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;
    Pixel at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// Reads the next header number of a PPM file, skipping white space and comments.
bool headerNumber(std::FILE* f, int& value) {
    int c = std::fgetc(f);
    while (c == '#' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (c == '#') {
            while (c != '\n' && c != EOF) {
                c = std::fgetc(f);
            }
        }
        c = std::fgetc(f);
    }
    if (c < '0' || c > '9') {
        return false;
    }
    value = 0;
    while (c >= '0' && c <= '9' && value < 100000) {
        value = value * 10 + (c - '0');
        c = std::fgetc(f);
    }
    return true; // the single white-space byte after the number is consumed
}

bool readPpm(const char* path, Image& image) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return false;
    }
    char magic[2] = {};
    int maxval = 0;
    bool ok = std::fread(magic, 1, 2, f) == 2 && magic[0] == 'P' && magic[1] == '6' &&
              headerNumber(f, image.width) && headerNumber(f, image.height) &&
              headerNumber(f, maxval) && maxval == 255 && image.width > 0 && image.height > 0;
    if (ok) {
        const auto count =
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
        std::vector<unsigned char> rgb(count * 3);
        ok = std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size();
        image.pixels.resize(count);
        for (std::size_t i = 0; ok && i < count; ++i) {
            image.pixels[i] = static_cast<Pixel>(rgb[3 * i]) << 16 |
                              static_cast<Pixel>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
        }
    }
    std::fclose(f);
    if (!ok) {
        std::fprintf(stderr, "%s is no 8-bit binary PPM file\n", path);
    }
    return ok;
}

// The game as the host opens it, and its frame composed by the renderer.
struct Reference {
    Reference() {
        test::QuietShell shell;
        Host host(shell, 1, false);
        host.create(1);
        state = host.state();
        createDrawingResources(gdi);
    }
    const Bitmap& compose() {
        composeFrame(gdi, state);
        return gdi.backBufferBitmap;
    }
    GameState state;
    GdiResources gdi;
};

Pixel framePixel(const Bitmap& frame, int x, int y) {
    return frame.pixels[static_cast<std::size_t>(y * frame.width + x)];
}

// Counts the pixels of a region that differ and reports the first few.
int compareRegion(const Image& shot, const Bitmap& frame, int left, int top, int w, int h,
                  const char* what) {
    if (shot.width < left + w || shot.height < top + h) {
        std::fprintf(stderr, "%s: the screenshot (%d x %d) does not cover the frame\n", what,
                     shot.width, shot.height);
        return w * h;
    }
    int differences = 0;
    for (int y = top; y < top + h; ++y) {
        for (int x = left; x < left + w; ++x) {
            const Pixel got = shot.at(x, y);
            const Pixel want = framePixel(frame, x, y);
            if (got != want && ++differences <= 5) {
                std::fprintf(stderr, "%s: (%d, %d) is %06X, expected %06X\n", what, x, y, got,
                             want);
            }
        }
    }
    if (differences > 0) {
        std::fprintf(stderr, "%s: %d of %d pixels differ\n", what, differences, w * h);
    }
    return differences;
}

int checkHalted(const Image& shot) {
    Reference ref;
    return compareRegion(shot, ref.compose(), 0, 0, kFrameWidth, kFrameHeight, "halted frame") == 0
               ? 0
               : 1;
}

int checkPlaying(const Image& shot) {
    Reference ref;
    const Bitmap& halted = ref.compose();
    std::vector<Pixel> haltedSpeed;
    for (int y = 170; y < 190; ++y) {
        for (int x = 470; x < 550; ++x) {
            haltedSpeed.push_back(framePixel(halted, x, y));
        }
    }
    ref.state.running = 1;
    const Bitmap& running = ref.compose();
    int failures =
        compareRegion(shot, running, kButtonLeft, kButtonTop, 80, 20, "greyed start button");
    bool speedChanged = false;
    std::size_t i = 0;
    for (int y = 170; y < 190; ++y) {
        for (int x = 470; x < 550; ++x) {
            speedChanged = speedChanged || shot.at(x, y) != haltedSpeed[i];
            ++i;
        }
    }
    if (!speedChanged) {
        std::fputs("speed: the panel still reads 000\n", stderr);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

// The star is the one picture drawn with its black surround; find where its
// cell matches best around each white pixel of the playfield.
int findStar(const Image& shot) {
    Reference ref;
    const Bitmap& sheet = ref.gdi.starSheet;
    const Cell star = cells::kStar;
    int bestX = 0, bestY = 0, bestScore = -1, bestCovered = 1;
    for (int y = 0; y < std::min(shot.height, kFrameHeight); ++y) {
        for (int x = 0; x < std::min(shot.width, 400); ++x) {
            if (shot.at(x, y) != kWhite) {
                continue;
            }
            const int left = x - cells::kStarAnchorX;
            const int top = y - cells::kStarAnchorY;
            int score = 0, covered = 0;
            for (int cy = 0; cy < star.h; ++cy) {
                for (int cx = 0; cx < star.w; ++cx) {
                    const int sx = left + cx, sy = top + cy;
                    if (sx < 0 || sy < 0 || sx >= 400 ||
                        sy >= std::min(shot.height, kFrameHeight)) {
                        continue;
                    }
                    ++covered;
                    const Pixel want = sheet.pixels[static_cast<std::size_t>(
                        (star.y + cy) * sheet.width + star.x + cx)];
                    score += shot.at(sx, sy) == want ? 1 : 0;
                }
            }
            if (score * bestCovered > bestScore * covered) {
                bestScore = score;
                bestCovered = covered;
                bestX = x;
                bestY = y;
            }
        }
    }
    // Most of the visible part must match; a stone may overlap a few pixels.
    if (bestScore < 0 || bestScore * 10 < bestCovered * 9 || bestCovered < 100) {
        std::fputs("no star in the playfield\n", stderr);
        return 1;
    }
    std::printf("%d %d\n", bestX, bestY);
    return 0;
}

// The frame a shot at `scale` shows, each block of scale x scale screen
// pixels taken back to one frame pixel; false when a block is not one colour.
bool unscaled(const Image& shot, int scale, Image& frame) {
    if (shot.width < kFrameWidth * scale || shot.height < kFrameHeight * scale) {
        std::fprintf(stderr, "the screenshot (%d x %d) does not cover the frame at %dx\n",
                     shot.width, shot.height, scale);
        return false;
    }
    frame.width = kFrameWidth;
    frame.height = kFrameHeight;
    frame.pixels.resize(static_cast<std::size_t>(kFrameWidth * kFrameHeight));
    int blurred = 0;
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const Pixel p = shot.at(x * scale, y * scale);
            for (int dy = 0; dy < scale; ++dy) {
                for (int dx = 0; dx < scale; ++dx) {
                    if (shot.at(x * scale + dx, y * scale + dy) != p && ++blurred <= 5) {
                        std::fprintf(stderr, "frame pixel (%d, %d) is not one colour at %dx\n", x,
                                     y, scale);
                    }
                }
            }
            frame.pixels[static_cast<std::size_t>(y * kFrameWidth + x)] = p;
        }
    }
    return blurred == 0;
}

} // namespace

int main(int argc, char** argv) {
    const int scale = argc == 4 ? std::atoi(argv[3]) : 1;
    if ((argc != 3 && argc != 4) || scale < 1 || scale > 16) {
        std::fputs("usage: nuvalo-e2e-check halted|playing|star SHOT.ppm [SCALE]\n", stderr);
        return 2;
    }
    Image shot;
    if (!readPpm(argv[2], shot)) {
        return 2;
    }
    if (scale > 1) {
        Image frame;
        if (!unscaled(shot, scale, frame)) {
            return 1;
        }
        shot = std::move(frame);
    }
    const std::string mode = argv[1];
    if (mode == "halted") {
        return checkHalted(shot);
    }
    if (mode == "playing") {
        return checkPlaying(shot);
    }
    if (mode == "star") {
        return findStar(shot);
    }
    std::fputs("usage: nuvalo-e2e-check halted|playing|star SHOT.ppm [SCALE]\n", stderr);
    return 2;
}
