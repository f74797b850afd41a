#include "support.h"

#include "render/cells.h"
#include "render/render.h"
#include "resources/resources.h"

#include <cstring>
#include <memory>

namespace nuvalo::test {

namespace {

struct Owned {
    GdiResources gdi;
    Owned() { createDrawingResources(gdi); }
    ~Owned() { releaseDrawingResources(gdi); }
};

bool isLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace

GdiResources& resources() {
    static Owned owned;
    return owned.gdi;
}

Surface frame() {
    return resources().backBufferDC;
}

void compose(const GameState& s) {
    composeFrame(resources(), s);
}

GameState emptyField() {
    GameState s;
    s.running = 1;
    s.starX = 200;
    s.starY = -100;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = Stone{100, 1000 + 50 * i};
    }
    s.targetX = 100;
    s.targetY = 2000;
    s.boulderX = 100;
    s.boulderY = 3000;
    return s;
}

Pixel pixelAt(Surface s, int x, int y) {
    return s.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) +
                    static_cast<std::size_t>(x)];
}

Pixel sheetPixel(const Bitmap& sheet, int x, int y) {
    return sheet.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(sheet.width) +
                        static_cast<std::size_t>(x)];
}

bool showsCell(Surface s, int x, int y, const Bitmap& sheet, Cell cell) {
    for (int r = 0; r < cell.h; ++r) {
        for (int c = 0; c < cell.w; ++c) {
            if (pixelAt(s, x + c, y + r) != sheetPixel(sheet, cell.x + c, cell.y + r)) {
                return false;
            }
        }
    }
    return true;
}

bool isFilled(Surface s, int left, int top, int right, int bottom, Pixel colour) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (pixelAt(s, x, y) != colour) {
                return false;
            }
        }
    }
    return true;
}

std::string placesAt(Surface s, int onesX, int y, int count) {
    const Bitmap& botan = resources().botanSheet;
    std::string out;
    for (int k = count - 1; k >= 0; --k) {
        const int x = onesX - 20 * k;
        char c = '?';
        if (isFilled(s, x, y, x + 20, y + 20, kWhite)) {
            c = ' ';
        }
        for (int d = 0; d <= 9 && c == '?'; ++d) {
            if (showsCell(s, x, y, botan, cells::digit(d))) {
                c = static_cast<char>('0' + d);
            }
        }
        out += c;
    }
    return out;
}

int textWidth(const char* sjis) {
    int width = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(sjis);
    while (*p != 0) {
        std::uint16_t code = *p;
        if (isLead(*p) && p[1] != 0) {
            code = static_cast<std::uint16_t>(p[0] << 8 | p[1]);
            ++p;
        }
        ++p;
        width += res::glyph(code).width;
    }
    return width;
}

bool showsText(Surface s, int x, int y, const char* sjis) {
    const int width = textWidth(sjis);
    auto scratch = std::make_unique<Pixel[]>(static_cast<std::size_t>(width) * 16);
    const Surface box{scratch.get(), width, 16};
    drawText(box, 0, 0, sjis, static_cast<int>(std::strlen(sjis)));
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < width; ++c) {
            if (pixelAt(s, x + c, y + r) != pixelAt(box, c, r)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace nuvalo::test
