// Nuvalo on a Linux desktop: one game per display, one window, one thread.
// The command line has one option, --replay FILE|LINK, which shows a recorded
// run in a window of its own (any number of those, beside the game); anything
// else on it is ignored.

#include "app/sdl/desktop.h"
#include "app/sdl/game_window.h"
#include "app/sdl/instance_lock.h"
#include "app/sdl/library_chatter.h"
#include "app/sdl/notice.h"
#include "game/game.h"
#include "persist/run_file.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
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
    // Game controllers are read once per tick by the loop, not on every look
    // at the event queue: SDL would otherwise look for new pads each time and,
    // with one plugged in, turn its event wait into a busy poll.
    SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
}

// The exit status of a record that cannot be read, as nuvalo-sim's.
constexpr int kExitUnreadableRun = 2;

// What follows --replay. A --replay with nothing after it is what a menu
// entry's "--replay %f" becomes when started without a file: the game.
const char* replayArgument(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "--replay") {
            return argv[i + 1];
        }
    }
    return nullptr;
}

// The notice's text is Shift-JIS, of which plain ASCII is a part; a path's
// other bytes show as '?'.
std::string asciiOnly(std::string text) {
    for (char& c : text) {
        c = static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E ? '?' : c;
    }
    return text;
}

int cannotOpenDisplay(const char* why) {
    std::fprintf(
        stderr, "nuvalo: cannot open a display (%s); start the game from a desktop session\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const char* replay = replayArgument(argc, argv);
    nuvalo::WatchedRun watched;
    if (replay != nullptr) {
        watched = nuvalo::readWatchedRun(replay, nuvalo::kRulesVersion);
        if (!watched.ok) {
            std::fprintf(stderr, "nuvalo: %s\n", watched.reason.c_str());
        }
    }
    setHints();
    // Before SDL opens the display: SDL hands errors on to the handler it
    // found, and puts that one back before it closes its connections, which
    // is when a late error about a destroyed window tends to arrive.
    nuvalo::sdl::ignoreVanishedWindowErrors();
    bool videoStarted = false;
    {
        // Looking for a display, libwayland complains of XDG_RUNTIME_DIR and
        // Xlib of the server; the game says it once, below.
        const nuvalo::sdl::LibraryChatterHushed hushed;
        videoStarted = SDL_Init(SDL_INIT_VIDEO) == 0;
    }
    const char* driver = videoStarted ? SDL_GetCurrentVideoDriver() : nullptr;
    if (replay != nullptr && !watched.ok) {
        // Said on stderr already; on a desktop, to the player as well.
        if (videoStarted && !nuvalo::sdl::showsNothing(driver != nullptr ? driver : "",
                                                       std::getenv("SDL_VIDEODRIVER"))) {
            nuvalo::sdl::showNotice(kTitle, asciiOnly(watched.reason));
        }
        SDL_Quit();
        return kExitUnreadableRun;
    }
    if (!videoStarted) {
        return cannotOpenDisplay(SDL_GetError());
    }
    // Without a desktop SDL falls back to drawing nowhere: a window nobody
    // sees would never be closed, so say so before claiming the display.
    if (nuvalo::sdl::showsNothing(driver != nullptr ? driver : "",
                                  std::getenv("SDL_VIDEODRIVER"))) {
        SDL_Quit();
        return cannotOpenDisplay("no desktop session; SDL would draw off screen");
    }
    const std::string key = nuvalo::sdl::displayKey(
        driver != nullptr ? driver : "", std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    nuvalo::sdl::InstanceLock lock;
    // A watch reads and keeps nothing, so it opens beside a game (or another
    // watch) and leaves the display to them.
    if (replay == nullptr &&
        lock.acquire(nuvalo::sdl::lockPath(key, std::getenv("XDG_RUNTIME_DIR"), ::geteuid())) ==
            nuvalo::sdl::InstanceLock::Result::Held) {
        showMessage();
        SDL_Quit();
        return 0;
    }

    // Game controllers are welcome but not needed: without them the
    // keyboard and mouse play as ever.
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    int exitCode = 1;
    {
        nuvalo::sdl::GameWindow game;
        if (game.create(static_cast<std::uint32_t>(std::time(nullptr)),
                        replay != nullptr ? &watched.run : nullptr, watched.startSeconds)) {
            exitCode = game.run();
        }
    }
    SDL_Quit();
    return exitCode;
}
