#pragma once
// A stretch of a recorded run as an animated GIF file: every frame exactly as
// the game drew it at that step, looping, silent. This part chooses the
// frames, their palette and what changed between them; the bytes of the file
// come from the system's own GIF library (gif_writer.h).

#include "clip/gif_writer.h"
#include "persist/run_record.h"
#include "render/gdi.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nuvalo::clip {

// Steps of a watch per second of play: one every 20 ms.
inline constexpr int kStepsPerSecond = 50;
// A clip asked for with one end or none covers this much of the run.
inline constexpr std::uint32_t kDefaultSteps = 10 * kStepsPerSecond;

struct ClipOptions {
    // Seconds of play from the run's start. Neither given: the last 10 s, up
    // to the completed tally; one given: 10 s from or up to it.
    std::optional<double> fromSeconds = {};
    std::optional<double> toSeconds = {};
    int fps = 50;  // 50 or 25
    int scale = 1; // 1 or 2: each frame pixel as scale x scale file pixels
};

// The frames of a clip: the watch positions first, first + every, ...
// The frame at a position is the one the game drew after that many steps, so
// a stretch from S to T holds the steps after S up to and including T: the
// clip lasts T - S (less a step when 25 frames a second leave one over), and
// one up to the end finishes on the completed tally.
struct Stretch {
    bool ok = false;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t every = 1; // steps from one frame to the next
    std::string reason;      // one line, when not ok
};
// `length` is the watch's: the step at which the tally is complete.
Stretch stretchOf(std::uint32_t length, const ClipOptions& options);

// Up to 256 colours, each exactly once, in increasing order, so that the same
// frames always give the same file.
class Palette {
  public:
    Palette();
    // False when the pixels would take it past 256 colours.
    bool add(const Pixel* pixels, std::size_t count);
    // Of a colour added.
    std::uint8_t indexOf(Pixel colour) const {
        return static_cast<std::uint8_t>(index_[slot(colour)]);
    }
    const std::vector<Pixel>& colours() const { return colours_; }

  private:
    // Every pixel of every frame is looked up twice (collected, then
    // indexed): an open hash, four times as large as the most colours.
    static constexpr std::size_t kSlots = 1024;
    std::size_t slot(Pixel colour) const {
        std::size_t at = (colour * 0x9E3779B1u) >> 22;
        while (index_[at] >= 0 && keys_[at] != colour) {
            at = (at + 1) % kSlots;
        }
        return at;
    }

    std::vector<Pixel> colours_;
    std::array<Pixel, kSlots> keys_{};
    std::array<std::int16_t, kSlots> index_{}; // -1: an empty slot
};

// The smallest rectangle holding every pixel that differs; empty (width 0)
// when none does.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
Rect changedRect(const Pixel* before, const Pixel* after, int width, int height);

struct ClipResult {
    bool ok = false;
    bool badStretch = false; // the stretch asked for, not the file, was wrong
    std::string reason;      // one line, when not ok
    std::uint32_t frames = 0;
};

// Plays `run` and writes the stretch asked for to `path`: first to
// `path`.tmp, renamed over `path` only once the file is complete, so that a
// failure leaves nothing written.
ClipResult writeClip(const RunRecord& run, const ClipOptions& options, const std::string& path,
                     GifWriter& writer);

} // namespace nuvalo::clip
