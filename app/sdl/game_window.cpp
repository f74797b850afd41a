#include "app/sdl/game_window.h"

#include "app/sdl/desktop.h"
#include "app/sdl/notice.h"
#include "clip/clip_file.h"
#include "persist/best_score.h"
#include "persist/run_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace nuvalo::sdl {

namespace {

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
constexpr std::uint64_t kNanosPerMilli = 1'000'000;

// How often a resting game looks for a pad plugged in meanwhile.
constexpr int kPadSearchMillis = 250;
// How often it looks whether the last cue has ended, to let go of the sound.
constexpr int kCueCheckMillis = 100;

// Pads are read by the loop at each tick, not by SDL's event wait (which
// would otherwise poll them every millisecond).
bool padsWatched() {
    return SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0;
}

} // namespace

bool preferSoftwareRenderer() {
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool x11 = driver != nullptr && std::strcmp(driver, "x11") == 0;
    if (x11) {
        // Window pixels through X shared memory, not through an OpenGL texture.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    return x11;
}

GameWindow::GameWindow() : frequency_(SDL_GetPerformanceFrequency()), host_(*this, frequency_) {}

GameWindow::~GameWindow() {
    releaseWindow();
}

bool GameWindow::create(std::uint32_t seed, const RunRecord* watched, double startSeconds) {
    // Set before the host prepares its first run, which reads the best score.
    watching_ = watched != nullptr;
    // A fixed-size window showing the 600 x 450 frame at a whole factor; it
    // opens hidden at 1x and takes its size once the desktop's scale is known.
    window_ = SDL_CreateWindow(watching_ ? clip::kWatchTitle : "Nuvalo", SDL_WINDOWPOS_UNDEFINED,
                               SDL_WINDOWPOS_UNDEFINED, kFrameWidth, kFrameHeight,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_ == nullptr) {
        std::fprintf(stderr, "nuvalo: cannot create the window: %s\n", SDL_GetError());
        return false;
    }
    std::vector<std::uint32_t> iconPixels;
    if (SDL_Surface* icon = iconSurface(iconPixels)) {
        SDL_SetWindowIcon(window_, icon);
        SDL_FreeSurface(icon);
    }
    // No vsync: the 20 ms timer paces the frames, not the display. On X11
    // the frame goes out through shared memory without OpenGL, which costs a
    // fraction of what GL does where GL is itself emulated on the CPU (virtual
    // machines, Xvfb); elsewhere (Wayland) the accelerated renderer also
    // scales for high-density screens.
    renderer_ =
        SDL_CreateRenderer(window_, -1, preferSoftwareRenderer() ? SDL_RENDERER_SOFTWARE : 0);
    if (renderer_ == nullptr) {
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (renderer_ == nullptr) {
        std::fprintf(stderr, "nuvalo: cannot draw into the window: %s\n", SDL_GetError());
        return false;
    }
    chooseScale();
    // The renderer shows the frame at the largest whole factor the window
    // holds and maps mouse positions back into frame pixels.
    SDL_RenderSetLogicalSize(renderer_, kFrameWidth, kFrameHeight);
    SDL_RenderSetIntegerScale(renderer_, SDL_TRUE);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                 kFrameWidth, kFrameHeight);
    if (texture_ == nullptr) {
        std::fprintf(stderr, "nuvalo: cannot draw into the window: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    // A software renderer draws into the window's own memory, which keeps
    // the black borders of a scaled frame; others start each frame afresh.
    SDL_RendererInfo info{};
    keepsPicture_ =
        SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) != 0;
    sound_.open();
    // Drawing resources, seeded generator, prepared run and a running timer,
    // all before the window is shown.
    host_.create(seed);
    if (watched != nullptr) {
        host_.watch(*watched,
                    {.drawControls = true, .escapeCloses = true, .startSeconds = startSeconds});
    }
    SDL_ShowWindow(window_);
    // Only key-down and key-up messages matter; no character input.
    SDL_StopTextInput();
    return true;
}

void GameWindow::chooseScale() {
    const WindowScale chosen = windowScale(window_, renderer_);
    int unitsWide = 0, unitsHigh = 0;
    SDL_GetWindowSize(window_, &unitsWide, &unitsHigh);
    const int wide = static_cast<int>(
        std::lround(static_cast<float>(chosen.scale * kFrameWidth) / chosen.pixelsPerUnit));
    const int high = static_cast<int>(
        std::lround(static_cast<float>(chosen.scale * kFrameHeight) / chosen.pixelsPerUnit));
    if (wide != unitsWide || high != unitsHigh) {
        // Still hidden: placed anew for its new size, as it would have been.
        const auto display = static_cast<unsigned>(std::max(SDL_GetWindowDisplayIndex(window_), 0));
        const auto centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display));
        SDL_SetWindowSize(window_, wide, high);
        SDL_SetWindowPosition(window_, centred, centred);
    }
}

void GameWindow::show(const Bitmap& frame) {
    if (renderer_ == nullptr || texture_ == nullptr || frame.pixels == nullptr ||
        frame.width != kFrameWidth || frame.height != kFrameHeight) {
        return;
    }
    SDL_UpdateTexture(texture_, nullptr, frame.pixels.get(),
                      kFrameWidth * static_cast<int>(sizeof(Pixel)));
    // The frame covers all but the borders of a whole-number scale, so one
    // clear after an exposure is enough where the window keeps its pixels.
    if (!keepsPicture_ || exposed_) {
        SDL_RenderClear(renderer_);
        exposed_ = false;
    }
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    ++presented_;
}

float GameWindow::loadBest() {
    // A watch shows the best score its record carries and touches no file.
    return watching_ ? 0.0f : nuvalo::loadBest(kSaveFile);
}

bool GameWindow::saveBestIfHigher(std::int32_t score) {
    return !watching_ && nuvalo::saveBestIfHigher(score, kSaveFile) == 1;
}

void GameWindow::runRecorded(const RunRecord& run) {
    keepRun(kLastRunFile, run);
}

void GameWindow::bestRunKept(const RunRecord& run) {
    keepRun(kBestRunFile, run);
}

void GameWindow::keepRun(const char* path, const RunRecord& run) {
    // Beside save.dat, in the folder the game runs in. A run that cannot be
    // kept costs nothing else: the game and its best score go on, and a full
    // disk or a read-only folder is said once, not after every run.
    if (!watching_ && !writeRunFile(path, run) && !toldOfUnkeptRun_) {
        toldOfUnkeptRun_ = true;
        std::fprintf(stderr, "nuvalo: cannot keep the run in %s\n", path);
    }
}

void GameWindow::clipWanted(const RunRecord& run, std::uint32_t from, std::uint32_t to) {
    // Beside the runs, in the folder the game runs in.
    clip::saveClip(run, from, to, clip::makeGifWriter().get(), [this](const std::string& title) {
        SDL_SetWindowTitle(window_, title.c_str());
    });
}

void GameWindow::watchChanged(const WatchStatus* status) {
    // What the record proves, once, when the watch first reaches its end:
    // for whoever started the watch from a terminal or a script to read.
    if (status != nullptr && status->atEnd && !verdictWritten_) {
        verdictWritten_ = true;
        std::printf("%s\n", status->verdict.c_str());
        std::fflush(stdout);
    }
}

void GameWindow::ended(int exitCode) {
    ended_ = true;
    exitCode_ = exitCode;
    if (window_ != nullptr) {
        SDL_HideWindow(window_);
    }
}

int GameWindow::run(LoopObserver* observer) {
    while (!ended_) {
        const std::uint64_t before = now();
        const Wake wake = host_.advance();
        if (!wake.untilInput) {
            restingSince_ = 0;
        }
        if (wake.ticked) {
            if (observer != nullptr) {
                // The host read the clock a moment later, at the deadline or past it.
                observer->tickTaken(wake.deadline, std::max(before, wake.deadline));
                if (!observer->keepRunning(host_)) {
                    host_.close();
                }
            }
            // However long the tick took, input is read before the next one:
            // the pads, then the events (the pads' comings and goings with them).
            readPads();
            drainEvents();
        } else if (wake.untilInput) {
            rest(observer);
        } else {
            waitUntil(wake.at);
        }
    }
    releaseWindow();
    return exitCode_;
}

void GameWindow::readPads() {
    if (padsWatched()) {
        SDL_GameControllerUpdate();
        for (int slot = 0; slot < kMaxPads; ++slot) {
            host_.pad(slot, pads_.read(slot));
        }
    }
}

int GameWindow::millisFor(std::uint64_t counts) const {
    // Rounded up: waking early would only wait again.
    const std::uint64_t millis =
        counts / frequency_ * 1000 + (counts % frequency_ * 1000 + frequency_ - 1) / frequency_;
    return static_cast<int>(std::min<std::uint64_t>(millis, 86'400'000));
}

void GameWindow::rest(LoopObserver* observer) {
    const std::uint64_t t = now();
    if (restingSince_ == 0) {
        restingSince_ = t;
    }
    int timeout = -1;
    const auto wakeWithin = [&timeout](int millis) {
        timeout = timeout < 0 ? millis : std::min(timeout, millis);
    };
    if (sound_.isOpen()) {
        // A second at rest: the last cue (the save's, at most) has ended by
        // then, or is waited out.
        const std::uint64_t rested = t - restingSince_;
        if (rested < frequency_) {
            wakeWithin(millisFor(frequency_ - rested));
        } else if (!sound_.suspend()) {
            wakeWithin(kCueCheckMillis);
        }
    }
    if (padsWatched()) {
        wakeWithin(kPadSearchMillis);
    }
    const std::uint64_t wake = observer != nullptr ? observer->wakeAtRest() : 0;
    if (wake != 0) {
        wakeWithin(millisFor(wake > t ? wake - t : 0));
    }
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, timeout) != 0) {
        handle(event);
        drainEvents();
        return;
    }
    if (timeout < 0) {
        // The wait failed: look again a tick's time later rather than spin.
        SDL_Delay(20);
        return;
    }
    // A pad plugged in meanwhile is found only when the pads are read.
    readPads();
    drainEvents();
    if (wake != 0 && !ended_ && now() >= wake) {
        sound_.resume();
        if (!observer->keepRunning(host_)) {
            host_.close();
        }
    }
}

void GameWindow::handle(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (const int vk = virtualKey(event.key.keysym.sym); vk != 0) {
            // Input may start a run: the sound device let go of at rest is
            // taken again first, so that the time it takes delays the run's
            // first tick instead of dropping one.
            sound_.resume();
            if (event.type == SDL_KEYDOWN) {
                host_.keyDown(vk);
                break;
            }
            if (SDL_GetKeyboardFocus() != window_) {
                // SDL lets go of the keys still held when the focus leaves,
                // and says that it left only after: the host hears of the loss
                // first, so that a Space or Escape held into another window
                // starts or ends nothing.
                host_.focusLost();
            }
            host_.keyUp(vk);
        }
        break;
    case SDL_MOUSEMOTION:
        // The renderer's logical size maps window positions to frame pixels.
        host_.pointerMove({event.motion.x, event.motion.y});
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
            sound_.resume();
            // The start button looks at the last move, so a click that came
            // without one (a touch, a warped pointer) counts where it is.
            host_.pointerMove({event.button.x, event.button.y});
            host_.pointerDown();
        }
        break;
    case SDL_CONTROLLERDEVICEADDED:
        if (const int slot = pads_.add(event.cdevice.which); slot >= 0) {
            sound_.resume();
            host_.pad(slot, pads_.read(slot));
        }
        break;
    case SDL_CONTROLLERDEVICEREMOVED:
        if (const int slot = pads_.remove(event.cdevice.which); slot >= 0) {
            host_.pad(slot, PadReading{});
        }
        break;
    case SDL_QUIT:
        host_.close();
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            host_.close();
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            host_.focusLost();
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            exposed_ = true;
            host_.repaint();
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

void GameWindow::drainEvents() {
    SDL_Event event;
    while (!ended_ && SDL_PollEvent(&event) != 0) {
        handle(event);
    }
}

void GameWindow::waitUntil(std::uint64_t at) {
    const auto nanosLeft = [this, at] {
        const std::uint64_t t = now();
        const std::uint64_t left = at > t ? at - t : 0;
        return left / frequency_ * kNanosPerSecond +
               left % frequency_ * kNanosPerSecond / frequency_;
    };
    const std::uint64_t leftNanos = nanosLeft();
    if (leftNanos >= 3 * kNanosPerMilli) {
        // Sleep in the event wait until two or three milliseconds before the
        // tick: SDL's wait counts whole milliseconds on a millisecond clock
        // and may overrun by one.
        const auto millis =
            static_cast<int>(std::min<std::uint64_t>(leftNanos / kNanosPerMilli - 2, 100));
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, millis) != 0) {
            handle(event);
            drainEvents();
        }
        return;
    }
    drainEvents();
    if (!ended_) {
        // The last stretch: a plain precise sleep up to the deadline.
        std::this_thread::sleep_for(std::chrono::nanoseconds(nanosLeft()));
    }
}

void GameWindow::releaseWindow() {
    sound_.close();
    pads_.closeAll();
    if (texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
        texture_ = nullptr;
    }
    if (renderer_ != nullptr) {
        SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
    }
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
        window_ = nullptr;
    }
}

} // namespace nuvalo::sdl
