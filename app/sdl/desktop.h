#pragma once
// What the game learns from the desktop it starts on: whether there is one to
// be seen at all, and how many screen pixels it counts per frame pixel.

#include <SDL.h>

#include <string_view>

namespace nuvalo::sdl {

// True when SDL fell back to a video driver that shows nothing (its
// off-screen or dummy one) without the person asking for it through
// SDL_VIDEODRIVER. A game nobody can see would never be closed.
bool showsNothing(std::string_view videoDriver, const char* requestedDriver);

// Where the desktop's scale comes from; null or 0 where a source is not set.
struct ScaleSources {
    const char* gdkScale = nullptr;      // GDK_SCALE, a whole number
    const char* qtScaleFactor = nullptr; // QT_SCALE_FACTOR, may have a fraction
    int xftDpi = 0;                      // the X resource Xft.dpi
    // Screen pixels per window unit as the window system reports them
    // (Wayland's output scale); where it scales windows itself, the desktop
    // settings above are already part of it.
    float systemScale = 0.0f;
    int screenWidth = 0; // the usable screen, in pixels; 0 where unknown
    int screenHeight = 0;
};

// The whole factor (1, 2, 3, ...) each frame pixel is shown at: the desktop's
// scale rounded down, reduced until the frame fits the screen, at least 1.
int frameScale(const ScaleSources& sources);

// The dots per inch an X resource list (as XResourceManagerString gives it)
// sets with Xft.dpi; 0 when it sets none.
int xftDpi(std::string_view resources);

// Xft.dpi of the X display the window is on; 0 elsewhere or when not set.
int windowXftDpi(SDL_Window* window);

struct WindowScale {
    int scale = 1;              // screen pixels per frame pixel, a whole number
    float pixelsPerUnit = 1.0f; // screen pixels per window unit
};

// The game's scale for a window of its on the desktop it is on: the game's
// own window and the second copy's notice are shown at the same factor.
WindowScale windowScale(SDL_Window* window, SDL_Renderer* renderer);

// Lets the program live through X errors about windows that are already gone.
// SDL 2.26 can send its wake-up message to a window that is being destroyed
// (the second copy's notice, closed at once), and Xlib's own handler would end
// the program with 1 for it. Other errors go on to Xlib's handler. Call it
// before SDL_Init.
void ignoreVanishedWindowErrors();

} // namespace nuvalo::sdl
