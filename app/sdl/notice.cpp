#include "app/sdl/notice.h"

#include "app/sdl/desktop.h"
#include "app/sdl/game_window.h"

#include "render/png.h"
#include "render/surface.h"
#include "resources/resources.h"

#include <algorithm>
#include <cmath>

namespace nuvalo::sdl {

namespace {

constexpr int kMargin = 24;
constexpr int kTextHeight = 16;
constexpr int kStripHeight = 42;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr Pixel kStrip = 0xF0F0F0;
constexpr Pixel kButtonFace = 0xE1E1E1;
constexpr Pixel kButtonFacePressed = 0xCCE4F7;
constexpr Pixel kButtonBorder = 0x0078D7;

struct Layout {
    int width = 0;
    int height = 0;
    SDL_Rect button{};
};

Layout layoutFor(std::string_view text) {
    Layout l;
    l.width =
        std::max(kMargin + textWidth(text.data(), static_cast<int>(text.size())) + kMargin, 220);
    l.height = kMargin + kTextHeight + kMargin + kStripHeight;
    l.button = {l.width - kButtonWidth - 12,
                l.height - kStripHeight + (kStripHeight - kButtonHeight) / 2, kButtonWidth,
                kButtonHeight};
    return l;
}

void draw(Bitmap& canvas, const Layout& l, std::string_view text, bool pressed) {
    Surface s = surfaceOf(canvas);
    fillRect(s, 0, 0, l.width, l.height - kStripHeight, kWhite);
    fillRect(s, 0, l.height - kStripHeight, l.width, l.height, kStrip);
    drawText(s, kMargin, kMargin, text.data(), static_cast<int>(text.size()));

    const SDL_Rect& b = l.button;
    const Pixel face = pressed ? kButtonFacePressed : kButtonFace;
    fillRect(s, b.x, b.y, b.x + b.w, b.y + b.h, kButtonBorder);
    fillRect(s, b.x + 1, b.y + 1, b.x + b.w - 1, b.y + b.h - 1, face);
    // The font draws on an opaque white box; give the label the button's face.
    const int labelX = b.x + (b.w - 16) / 2;
    const int labelY = b.y + (b.h - kTextHeight) / 2;
    drawText(s, labelX, labelY, "OK", 2);
    for (int y = labelY; y < labelY + kTextHeight; ++y) {
        for (int x = labelX; x < labelX + 16; ++x) {
            Pixel& p =
                canvas.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(canvas.width) +
                              static_cast<std::size_t>(x)];
            p = p == kWhite ? face : p;
        }
    }
}

bool inside(const SDL_Rect& r, int x, int y) {
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

} // namespace

SDL_Surface* iconSurface(std::vector<std::uint32_t>& pixels) {
    const Bitmap image = decodePng(res::iconPng());
    if (image.width == 0 || image.height == 0 || image.width > 256 || image.height > 256) {
        return nullptr;
    }
    const auto count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        pixels[i] = 0xFF000000u | image.pixels[i]; // opaque 0xAARRGGBB, a little-endian word
    }
    return SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), image.width, image.height, 32,
                                              image.width * 4, SDL_PIXELFORMAT_BGRA32);
}

bool showNotice(const char* caption, std::string_view text) {
    const Layout l = layoutFor(text);
    SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, "_NET_WM_WINDOW_TYPE_DIALOG");
    SDL_Window* window =
        SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, l.width, l.height,
                         SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
    SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, "");
    if (window == nullptr) {
        return false;
    }
    std::vector<std::uint32_t> iconPixels;
    if (SDL_Surface* icon = iconSurface(iconPixels)) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    SDL_Renderer* renderer =
        SDL_CreateRenderer(window, -1, preferSoftwareRenderer() ? SDL_RENDERER_SOFTWARE : 0);
    SDL_Texture* texture = renderer == nullptr
                               ? nullptr
                               : SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                                   SDL_TEXTUREACCESS_STREAMING, l.width, l.height);
    if (texture == nullptr) {
        if (renderer != nullptr) {
            SDL_DestroyRenderer(renderer);
        }
        SDL_DestroyWindow(window);
        return false;
    }
    SDL_RenderSetLogicalSize(renderer, l.width, l.height);
    SDL_RenderSetIntegerScale(renderer, SDL_TRUE);
    // As large as the game's own window is drawn on this desktop, so that a
    // high-density screen does not show the notice at a third of its size.
    const WindowScale chosen = windowScale(window, renderer);
    if (chosen.scale > 1) {
        SDL_SetWindowSize(window,
                          static_cast<int>(std::lround(static_cast<float>(chosen.scale * l.width) /
                                                       chosen.pixelsPerUnit)),
                          static_cast<int>(std::lround(static_cast<float>(chosen.scale * l.height) /
                                                       chosen.pixelsPerUnit)));
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    SDL_ShowWindow(window);

    Bitmap canvas;
    canvas.width = l.width;
    canvas.height = l.height;
    canvas.pixels = std::make_unique<Pixel[]>(static_cast<std::size_t>(l.width) *
                                              static_cast<std::size_t>(l.height));
    bool pressed = false;
    const auto show = [&] {
        draw(canvas, l, text, pressed);
        SDL_UpdateTexture(texture, nullptr, canvas.pixels.get(), l.width * 4);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    };
    show();
    SDL_RaiseWindow(window);

    bool done = false;
    SDL_Event e;
    while (!done && SDL_WaitEvent(&e) != 0) {
        switch (e.type) {
        case SDL_QUIT:
            done = true;
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                done = true;
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                show();
            }
            break;
        case SDL_KEYDOWN:
            switch (e.key.keysym.sym) {
            case SDLK_RETURN:
            case SDLK_KP_ENTER:
            case SDLK_SPACE:
            case SDLK_ESCAPE:
                done = true;
                break;
            default:
                break;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT && inside(l.button, e.button.x, e.button.y)) {
                pressed = true;
                show();
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT && pressed) {
                done = inside(l.button, e.button.x, e.button.y);
                pressed = false;
                show();
            }
            break;
        default:
            break;
        }
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    return true;
}

} // namespace nuvalo::sdl
