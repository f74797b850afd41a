#include "render/dib.h"
#include "render/render.h"
#include "resources/resources.h"

#include <new>

namespace nuvalo {

namespace {

std::uint32_t bitOf(GdiObject o) {
    return 1u << static_cast<unsigned>(o);
}

void created(GdiResources& gdi, GdiObject o) {
    gdi.liveObjects |= bitOf(o);
}

// Releases `o` once: a second release of the same object does nothing.
template <typename Release> void release(GdiResources& gdi, GdiObject o, Release&& free) {
    if ((gdi.liveObjects & bitOf(o)) == 0) {
        return;
    }
    free();
    gdi.liveObjects &= ~bitOf(o);
}

void loadSheet(GdiResources& gdi, GdiObject o, Bitmap& sheet, const char* name) {
    // A sheet that is missing or malformed stays empty and draws nothing.
    decodeDib(res::sheet(name), sheet);
    created(gdi, o);
}

} // namespace

void createDrawingResources(GdiResources& gdi) {
    if (gdi.liveObjects != 0) {
        releaseDrawingResources(gdi);
    }
    gdi.blackBrush = kBlack;
    created(gdi, GdiObject::blackBrush);
    gdi.whiteBrush = kWhite;
    created(gdi, GdiObject::whiteBrush);

    loadSheet(gdi, GdiObject::starSheet, gdi.starSheet, "Kemri");
    loadSheet(gdi, GdiObject::steinSheet, gdi.steinSheet, "Stein");
    loadSheet(gdi, GdiObject::botanSheet, gdi.botanSheet, "Botan");

    Bitmap& back = gdi.backBufferBitmap;
    constexpr std::size_t kFramePixels = std::size_t{kFrameWidth} * kFrameHeight;
    // Frames are always drawn whole; a snapshot taken before the first one
    // shows black rather than leftover memory. Value-initialising clears the
    // buffer in one block, which stays cheap where every store is checked.
    static_assert(kBlack == 0, "a cleared back buffer must be black");
    back.pixels.reset(new (std::nothrow) Pixel[kFramePixels]());
    if (back.pixels) {
        back.width = kFrameWidth;
        back.height = kFrameHeight;
    }
    created(gdi, GdiObject::backBufferBitmap);
    gdi.backBufferDC = Surface{back.pixels.get(), back.width, back.height};
    created(gdi, GdiObject::backBufferDC);
}

void releaseDrawingResources(GdiResources& gdi) {
    // The surface goes first so that nothing can draw into a freed buffer,
    // and the buffer itself last.
    release(gdi, GdiObject::backBufferDC, [&] { gdi.backBufferDC = Surface{}; });
    release(gdi, GdiObject::blackBrush, [&] { gdi.blackBrush = 0; });
    release(gdi, GdiObject::whiteBrush, [&] { gdi.whiteBrush = 0; });
    release(gdi, GdiObject::starSheet, [&] { gdi.starSheet = Bitmap{}; });
    release(gdi, GdiObject::steinSheet, [&] { gdi.steinSheet = Bitmap{}; });
    release(gdi, GdiObject::botanSheet, [&] { gdi.botanSheet = Bitmap{}; });
    release(gdi, GdiObject::backBufferBitmap, [&] { gdi.backBufferBitmap = Bitmap{}; });
}

} // namespace nuvalo
