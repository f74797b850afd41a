#include "clip/clip.h"

#include "host/watch.h"
#include "render/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace nuvalo::clip {

namespace {

constexpr std::size_t kFramePixels = std::size_t{kFrameWidth} * kFrameHeight;

// "12.34": a position as the watch shows its time.
std::string secondsText(std::uint32_t position) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u", position / kStepsPerSecond,
                  position % kStepsPerSecond * (100 / kStepsPerSecond));
    return text;
}

std::string givenText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// The game's drawing objects for as long as a clip is being made.
struct Drawing {
    GdiResources gdi;
    Drawing() { createDrawingResources(gdi); }
    ~Drawing() { releaseDrawingResources(gdi); }
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;
};

} // namespace

Stretch stretchOf(std::uint32_t length, const ClipOptions& options) {
    Stretch stretch;
    const auto refuse = [&stretch](std::string reason) {
        stretch.reason = std::move(reason);
        return stretch;
    };
    if (options.fps != 50 && options.fps != 25) {
        return refuse("a clip has 50 or 25 frames a second, not " + std::to_string(options.fps));
    }
    stretch.every = static_cast<std::uint32_t>(kStepsPerSecond / options.fps);
    if (length == 0) {
        return refuse("the run has no steps to show");
    }
    // Seconds to the nearest step; false past the run's end.
    const auto positionOf = [length](double seconds, std::uint32_t& position) {
        const double steps = seconds * kStepsPerSecond;
        if (!(steps >= 0.0) || steps >= length + 0.5) {
            return false;
        }
        position = static_cast<std::uint32_t>(std::lround(steps));
        return true;
    };
    const auto outside = [length](const char* name, double seconds) {
        return std::string(name) + " " + givenText(seconds) +
               (seconds < 0.0 ? " is before the run's start"
                              : " is past the run's end at " + secondsText(length) + " s");
    };
    std::uint32_t from = 0;
    std::uint32_t to = length;
    if (options.fromSeconds && !positionOf(*options.fromSeconds, from)) {
        return refuse(outside("--from", *options.fromSeconds));
    }
    if (options.toSeconds && !positionOf(*options.toSeconds, to)) {
        return refuse(outside("--to", *options.toSeconds));
    }
    if (options.fromSeconds && !options.toSeconds) {
        to = length - from > kDefaultSteps ? from + kDefaultSteps : length;
    } else if (!options.fromSeconds) {
        from = to > kDefaultSteps ? to - kDefaultSteps : 0;
    }
    const std::string span = "from " + secondsText(from) + " s to " + secondsText(to) + " s";
    if (from >= to) {
        return refuse("the stretch " + span + " is empty");
    }
    stretch.count = (to - from) / stretch.every;
    if (stretch.count == 0) {
        return refuse("the stretch " + span + " is shorter than one frame at " +
                      std::to_string(options.fps) + " frames a second");
    }
    stretch.first = to - (stretch.count - 1) * stretch.every;
    stretch.ok = true;
    return stretch;
}

Palette::Palette() {
    index_.fill(-1);
}

bool Palette::add(const Pixel* pixels, std::size_t count) {
    bool added = false;
    for (std::size_t i = 0; i < count; ++i) {
        const Pixel colour = pixels[i];
        if (i > 0 && colour == pixels[i - 1]) {
            continue; // most pixels are their left neighbour's colour
        }
        const std::size_t at = slot(colour);
        if (index_[at] >= 0) {
            continue;
        }
        if (colours_.size() == 256) {
            return false;
        }
        keys_[at] = colour;
        index_[at] = 0;
        colours_.push_back(colour);
        added = true;
    }
    if (added) {
        // In order of colour, whatever order they came in.
        std::sort(colours_.begin(), colours_.end());
        for (std::size_t i = 0; i < colours_.size(); ++i) {
            index_[slot(colours_[i])] = static_cast<std::int16_t>(i);
        }
    }
    return true;
}

Rect changedRect(const Pixel* before, const Pixel* after, int width, int height) {
    const auto w = static_cast<std::size_t>(width);
    const auto rowDiffers = [&](int y) {
        const std::size_t at = static_cast<std::size_t>(y) * w;
        return std::memcmp(before + at, after + at, w * sizeof(Pixel)) != 0;
    };
    int top = 0;
    while (top < height && !rowDiffers(top)) {
        ++top;
    }
    if (top == height) {
        return {};
    }
    int bottom = height - 1;
    while (!rowDiffers(bottom)) {
        --bottom;
    }
    int left = width;
    int right = -1;
    for (int y = top; y <= bottom; ++y) {
        const Pixel* b = before + static_cast<std::size_t>(y) * w;
        const Pixel* a = after + static_cast<std::size_t>(y) * w;
        int x = 0;
        while (x < left && b[x] == a[x]) {
            ++x;
        }
        left = std::min(left, x);
        x = width - 1;
        while (x > right && b[x] == a[x]) {
            --x;
        }
        right = std::max(right, x);
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

ClipResult writeClip(const RunRecord& run, const ClipOptions& options, const std::string& path,
                     GifWriter& writer) {
    ClipResult result;
    const auto refuse = [&result](std::string reason) {
        result.reason = std::move(reason);
        return result;
    };
    if (options.scale != 1 && options.scale != 2) {
        result.badStretch = true;
        return refuse("a clip's scale is 1 or 2, not " + std::to_string(options.scale));
    }
    Watch watch(run);
    const Stretch stretch = stretchOf(watch.status().length, options);
    if (!stretch.ok) {
        result.badStretch = true;
        return refuse(stretch.reason);
    }
    Drawing drawing;
    const Pixel* frame = drawing.gdi.backBufferBitmap.pixels.get();
    const auto compose = [&](std::uint32_t k) {
        watch.seek(stretch.first + k * stretch.every);
        composeFrame(drawing.gdi, watch.state());
    };

    // The palette is the file's first part, so the frames are made twice:
    // once for their colours, once to write. Composing one costs less than
    // reading it does.
    Palette palette;
    for (std::uint32_t k = 0; k < stretch.count; ++k) {
        compose(k);
        if (!palette.add(frame, kFramePixels)) {
            return refuse("the frames have more than the 256 colours a GIF file holds");
        }
    }

    const std::string temp = path + ".tmp";
    const int scale = options.scale;
    const auto fail = [&](const std::string& why) {
        writer.close();
        std::remove(temp.c_str());
        return refuse("cannot write " + path + ": " + why);
    };
    if (!writer.open(temp, kFrameWidth * scale, kFrameHeight * scale, palette.colours())) {
        return fail(writer.error());
    }
    std::vector<Pixel> previous(kFramePixels);
    std::vector<std::uint8_t> indexes;
    for (std::uint32_t k = 0; k < stretch.count; ++k) {
        compose(k);
        Rect rect = k == 0 ? Rect{0, 0, kFrameWidth, kFrameHeight}
                           : changedRect(previous.data(), frame, kFrameWidth, kFrameHeight);
        // A frame that changes nothing still takes its time: one pixel,
        // drawn as it is.
        if (rect.width == 0) {
            rect = {0, 0, 1, 1};
        }
        GifImage image{rect.left * scale,   rect.top * scale, rect.width * scale,
                       rect.height * scale, nullptr,          static_cast<int>(2 * stretch.every)};
        const auto rowWidth = static_cast<std::size_t>(image.width);
        indexes.resize(rowWidth * static_cast<std::size_t>(image.height));
        image.indexes = indexes.data();
        std::uint8_t* out = indexes.data();
        for (int y = rect.top; y < rect.top + rect.height; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * kFrameWidth;
            const Pixel* in = frame + row + static_cast<std::size_t>(rect.left);
            for (int x = 0; x < rect.width; ++x) {
                const std::uint8_t index = palette.indexOf(in[x]);
                for (int s = 0; s < scale; ++s) {
                    *out++ = index;
                }
            }
            for (int s = 1; s < scale; ++s, out += rowWidth) {
                std::memcpy(out, out - rowWidth, rowWidth);
            }
            std::memcpy(previous.data() + row + static_cast<std::size_t>(rect.left), in,
                        static_cast<std::size_t>(rect.width) * sizeof(Pixel));
        }
        if (!writer.add(image)) {
            return fail(writer.error());
        }
    }
    if (!writer.close()) {
        return fail(writer.error());
    }
    std::error_code error;
    std::filesystem::rename(temp, path, error);
    if (error) {
        return fail(error.message());
    }
    result.ok = true;
    result.frames = stretch.count;
    return result;
}

} // namespace nuvalo::clip
