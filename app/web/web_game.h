#pragma once
// The page's own pieces that need no browser, so that they run (and are
// tested) natively too: the frame in the bytes a canvas takes, the notice of a
// second tab, the page's touch halves and the run a link opens. The game, its
// schedule and its input are the host's (main.cpp).

#include "host/host.h"
#include "persist/run_record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace nuvalo::web {

// A 600 x 450 frame as a canvas takes it: 4 bytes a pixel, red, green, blue
// and opaque alpha, in one buffer made once (a megabyte: never one a frame).
class CanvasPixels {
  public:
    CanvasPixels();
    // The bytes of `frame`, valid until the next call.
    const std::uint8_t* from(const Bitmap& frame);

  private:
    std::unique_ptr<std::uint32_t[]> rgba_;
};

// What the second tab of a profile shows instead of a game: the notice in the
// game's font, on white.
Bitmap secondCopyNotice();

// The page's own touch controls, beyond the keyboard and mouse: a touch held
// on the left or right half of the playfield holds that arrow.
enum class TouchSide : std::uint8_t { none, left, right };
TouchSide touchSide(FramePoint p);

// The run a page's address opens (#run=...&t=...), or why it cannot be
// watched. A record of other rules is watched all the same: the watch's
// verdict says what it is.
struct LinkedRun {
    bool ok = false;
    RunRecord run;
    double startSeconds = 0.0;
    std::string reason; // one line, when not ok
};
LinkedRun runOfLink(std::string_view link);

} // namespace nuvalo::web
