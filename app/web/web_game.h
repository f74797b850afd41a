#pragma once
// The page's own pieces that need no browser, so that they run (and are
// tested) natively too: the frame in the bytes a canvas takes, the notice of a
// second tab and the page's touch halves. The game, its schedule and its
// input are the host's (main.cpp).

#include "host/host.h"

#include <cstdint>
#include <memory>

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

} // namespace nuvalo::web
