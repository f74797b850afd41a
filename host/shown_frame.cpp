#include "host/shown_frame.h"

#include <cstddef>
#include <cstring>

namespace nuvalo {

namespace {
constexpr std::size_t kPixels = std::size_t{kFrameWidth} * kFrameHeight;
} // namespace

// Allocated once, with the window: nothing is allocated per frame.
ShownFrame::ShownFrame() : pixels_(std::make_unique<Pixel[]>(kPixels)) {}

bool ShownFrame::take(const Bitmap& frame) {
    if (frame.pixels == nullptr || frame.width != kFrameWidth || frame.height != kFrameHeight) {
        return false;
    }
    if (valid_ && std::memcmp(pixels_.get(), frame.pixels.get(), kPixels * sizeof(Pixel)) == 0) {
        return false;
    }
    std::memcpy(pixels_.get(), frame.pixels.get(), kPixels * sizeof(Pixel));
    valid_ = true;
    return true;
}

} // namespace nuvalo
