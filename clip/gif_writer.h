#pragma once
// The GIF files clips are written as: a global palette, a loop forever, then
// images that each cover a rectangle of the screen, drawn over what was there
// before, with no transparency. giflib writes them on Linux; on Windows the
// Windows Imaging Component codes their pixels (gif_wic.cpp says why not more);
// in the browser omggif, shipped inside the page's script (gif_web.js).

#include "render/gdi.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace nuvalo::clip {

struct GifImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    const std::uint8_t* indexes = nullptr; // width * height palette indexes, rows top first
    int delay = 2;                         // hundredths of a second
};

class GifWriter {
  public:
    virtual ~GifWriter() = default;
    // Creates `path` (replacing a file there) for a width x height screen of
    // at most 256 colours that loops forever.
    virtual bool open(const std::string& path, int width, int height,
                      std::span<const Pixel> palette) = 0;
    virtual bool add(const GifImage& image) = 0;
    // Completes and closes the file; false when any part of it was not
    // written. Also closes a file left incomplete after a failure.
    virtual bool close() = 0;
    // What went wrong, in a few words, after a false.
    virtual std::string error() const = 0;
};

// The system's writer; null where there is none.
std::unique_ptr<GifWriter> makeGifWriter();

} // namespace nuvalo::clip
