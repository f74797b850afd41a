#pragma once
// The frame last put on the screen, kept to tell a new frame from the same one
// again: a halted game, a finished result and most of a tally's steps compose
// the same pixels 50 times a second, and showing them each time would cost as
// much as playing.

#include "render/gdi.h"

#include <memory>

namespace nuvalo {

class ShownFrame {
  public:
    ShownFrame();
    // True when `frame` (600 x 450) differs from the frame last taken, or the
    // screen has lost that one; `frame` is then the one shown.
    bool take(const Bitmap& frame);
    // The screen no longer shows the last frame (an exposure, another display).
    void forget() { valid_ = false; }

  private:
    std::unique_ptr<Pixel[]> pixels_;
    bool valid_ = false;
};

} // namespace nuvalo
