// Nuvalo on a Linux desktop: one game per display, one window, one thread.
// The command line is ignored.

#include "app/sdl/game_window.h"
#include "app/sdl/instance_lock.h"
#include "app/sdl/notice.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <unistd.h>

namespace {

constexpr const char* kTitle = "Nuvalo";
constexpr const char* kAlreadyRunning = "多重起動を確認しました"; // the same in UTF-8

void showMessage() {
    if (!nuvalo::sdl::showNotice(kTitle, nuvalo::kSecondCopyNotice)) {
        std::fprintf(stderr, "%s: %s\n", kTitle, kAlreadyRunning);
    }
}

void setHints() {
    // Crisp whole-number scaling only.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    // A small windowed game: let the screen saver and the compositor be.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_APP_NAME, kTitle);
}

} // namespace

int main(int /*argc*/, char** /*argv*/) {
    setHints();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr,
                     "nuvalo: cannot open a display (%s); start the game from a desktop session\n",
                     SDL_GetError());
        return 1;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const std::string key = nuvalo::sdl::displayKey(
        driver != nullptr ? driver : "", std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    nuvalo::sdl::InstanceLock lock;
    if (lock.acquire(nuvalo::sdl::lockPath(key, std::getenv("XDG_RUNTIME_DIR"), ::geteuid())) ==
        nuvalo::sdl::InstanceLock::Result::Held) {
        showMessage();
        SDL_Quit();
        return 0;
    }

    int exitCode = 1;
    {
        nuvalo::sdl::GameWindow game;
        if (game.create(static_cast<std::uint32_t>(std::time(nullptr)))) {
            exitCode = game.run();
        }
    }
    SDL_Quit();
    return exitCode;
}
