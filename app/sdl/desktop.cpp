#include "app/sdl/desktop.h"

#include "host/frame_scale.h"
#include "render/gdi.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(NUVALO_HAVE_X11)
#include <X11/Xlib.h>
#endif

namespace nuvalo::sdl {

namespace {

#if defined(NUVALO_HAVE_X11)
XErrorHandler previousErrorHandler = nullptr;

int onXError(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow) {
        return 0;
    }
    return previousErrorHandler != nullptr ? previousErrorHandler(display, error) : 0;
}
#endif

// A positive scale written as a number, rounded down; 0 when unset or not one.
int parsedScale(const char* text) {
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0') {
        return 0;
    }
    return desktopFactor(value);
}

} // namespace

bool showsNothing(std::string_view videoDriver, const char* requestedDriver) {
    const bool asked = requestedDriver != nullptr && *requestedDriver != '\0';
    return !asked && (videoDriver == "offscreen" || videoDriver == "dummy");
}

int frameScale(const ScaleSources& sources) {
    int scale = 0;
    if (sources.systemScale >= 1.0f) {
        scale = desktopFactor(sources.systemScale);
    } else {
        scale = parsedScale(sources.gdkScale);
        if (scale == 0) {
            scale = parsedScale(sources.qtScaleFactor);
        }
        if (scale == 0) {
            scale = desktopFactor(sources.xftDpi / 96.0);
        }
    }
    if (sources.screenWidth > 0 && sources.screenHeight > 0) {
        scale = std::min(scale, largestWholeScale(sources.screenWidth, sources.screenHeight));
    }
    return std::max(scale, 1);
}

int xftDpi(std::string_view resources) {
    constexpr std::string_view kName = "Xft.dpi:";
    std::size_t at = 0;
    while (at < resources.size()) {
        std::size_t end = resources.find('\n', at);
        if (end == std::string_view::npos) {
            end = resources.size();
        }
        std::string_view line = resources.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, kName.size()) != kName) {
            continue;
        }
        line.remove_prefix(kName.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        int dpi = 0;
        while (!line.empty() && line.front() >= '0' && line.front() <= '9' && dpi < 100000) {
            dpi = dpi * 10 + (line.front() - '0');
            line.remove_prefix(1);
        }
        return dpi;
    }
    return 0;
}

int windowXftDpi(SDL_Window* window) {
#if defined(NUVALO_HAVE_X11) && defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr) {
        return 0;
    }
    const char* resources = XResourceManagerString(info.info.x11.display);
    return resources != nullptr ? xftDpi(resources) : 0;
#else
    (void)window;
    return 0;
#endif
}

void ignoreVanishedWindowErrors() {
#if defined(NUVALO_HAVE_X11)
    XErrorHandler previous = XSetErrorHandler(onXError);
    if (previous != onXError) {
        previousErrorHandler = previous;
    }
#endif
}

WindowScale windowScale(SDL_Window* window, SDL_Renderer* renderer) {
    // Where the window system scales windows itself (Wayland), SDL reports
    // more pixels than window units and the window keeps its size in units;
    // elsewhere (X11) a window unit is a pixel and the desktop's setting says
    // how large the window must be.
    int unitsWide = 0, unitsHigh = 0, pixelsWide = 0, pixelsHigh = 0;
    SDL_GetWindowSize(window, &unitsWide, &unitsHigh);
    SDL_GetRendererOutputSize(renderer, &pixelsWide, &pixelsHigh);
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool wayland = driver != nullptr && std::string_view(driver) == "wayland";
    ScaleSources sources;
    WindowScale chosen;
    if (wayland && unitsWide > 0) {
        chosen.pixelsPerUnit = static_cast<float>(pixelsWide) / static_cast<float>(unitsWide);
        sources.systemScale = chosen.pixelsPerUnit;
    } else {
        sources.gdkScale = std::getenv("GDK_SCALE");
        sources.qtScaleFactor = std::getenv("QT_SCALE_FACTOR");
        sources.xftDpi = windowXftDpi(window);
    }
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(window), &usable) == 0) {
        sources.screenWidth = static_cast<int>(static_cast<float>(usable.w) * chosen.pixelsPerUnit);
        sources.screenHeight =
            static_cast<int>(static_cast<float>(usable.h) * chosen.pixelsPerUnit);
    }
    chosen.scale = frameScale(sources);
    return chosen;
}

} // namespace nuvalo::sdl
