#include "app/sdl/game_window.h"

#include "app/sdl/desktop.h"
#include "app/sdl/input.h"
#include "app/sdl/notice.h"
#include "render/render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace nuvalo::sdl {

namespace {

std::uint64_t now() {
    return SDL_GetPerformanceCounter();
}

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
constexpr std::uint64_t kNanosPerMilli = 1'000'000;

// Pads are read by the loop at each tick, not by SDL's event wait (which
// would otherwise poll them every millisecond): with one attached, the game
// keeps ticking at rest to see its buttons.
bool padsAttached() {
    return SDL_WasInit(SDL_INIT_JOYSTICK) != 0 && SDL_NumJoysticks() > 0;
}

// How often a resting game looks for a pad plugged in meanwhile.
constexpr int kPadSearchMillis = 250;
// How often it looks whether the last cue has ended, to let go of the sound.
constexpr int kCueCheckMillis = 100;

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

GameWindow::GameWindow() : scheduler_(SDL_GetPerformanceFrequency()) {}

GameWindow::~GameWindow() {
    releaseWindow();
}

bool GameWindow::create(std::uint32_t seed) {
    // A fixed-size window showing the 600 x 450 frame at a whole factor; it
    // opens hidden at 1x and takes its size once the desktop's scale is known.
    window_ =
        SDL_CreateWindow("Nuvalo", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kFrameWidth,
                         kFrameHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
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
    shown_.forget();
    sound_.open();

    // The creation message: drawing resources, seeded generator, prepared run
    // and a running timer, all before the window is shown.
    onCreate(app_, *this, seed);
    SDL_ShowWindow(window_);
    // Only key-down and key-up messages matter; no character input.
    SDL_StopTextInput();
    return true;
}

void GameWindow::chooseScale() {
    const WindowScale chosen = windowScale(window_, renderer_);
    scale_ = chosen.scale;
    const float pixelsPerUnit = chosen.pixelsPerUnit;
    int unitsWide = 0, unitsHigh = 0;
    SDL_GetWindowSize(window_, &unitsWide, &unitsHigh);
    const int wide =
        static_cast<int>(std::lround(static_cast<float>(scale_ * kFrameWidth) / pixelsPerUnit));
    const int high =
        static_cast<int>(std::lround(static_cast<float>(scale_ * kFrameHeight) / pixelsPerUnit));
    if (wide != unitsWide || high != unitsHigh) {
        // Still hidden: placed anew for its new size, as it would have been.
        const auto display = static_cast<unsigned>(std::max(SDL_GetWindowDisplayIndex(window_), 0));
        const auto centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display));
        SDL_SetWindowSize(window_, wide, high);
        SDL_SetWindowPosition(window_, centred, centred);
    }
}

void GameWindow::armTimer() {
    // A run starts: the sound device let go of at rest is taken again first,
    // so that the time it takes delays the run's first tick instead of
    // dropping one.
    restingSince_ = 0;
    sound_.resume();
    scheduler_.arm(now());
}

void GameWindow::playSound(const char* path) {
    sound_.play(path);
}

void GameWindow::quit(int exitCode) {
    quitRequested_ = true;
    exitCode_ = exitCode;
}

int GameWindow::run(LoopObserver* observer) {
    while (!quitRequested_) {
        if (resting()) {
            rest(observer);
            continue;
        }
        const std::uint64_t t = now();
        if (scheduler_.due(t)) {
            inputSinceTick_ = false;
            const std::uint64_t deadline = scheduler_.deadline();
            // Advance first: a timer armed by the tick itself starts from now.
            scheduler_.advance(t);
            if (observer != nullptr) {
                observer->tickTaken(deadline, t);
            }
            onTimer(app_, *this);
            if (invalidated_) {
                paint();
            }
            if (observer != nullptr && !observer->keepRunning(app_)) {
                closeWindow();
            }
            destroyIfClosing();
            // However long the tick took, input is read before the next one;
            // the pads' state and their comings and goings with it.
            if (SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0) {
                SDL_GameControllerUpdate();
            }
            drainEvents();
            continue;
        }
        waitForEventOrTick();
        if (invalidated_ && !closing_.destroyed()) {
            paint();
        }
    }
    releaseWindow();
    return exitCode_;
}

bool GameWindow::resting() const {
    return atRest(app_.state) && scheduler_.armed() && !inputSinceTick_ && !invalidated_ &&
           !closing_.pending() && !closing_.destroyed() && drawn_ && drawnState_ == app_.state &&
           !padsAttached();
}

int GameWindow::millisFor(std::uint64_t counts) const {
    const std::uint64_t frequency = scheduler_.frequency();
    // Rounded up: waking early would only wait again.
    const std::uint64_t millis =
        counts / frequency * 1000 + (counts % frequency * 1000 + frequency - 1) / frequency;
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
    const std::uint64_t wake = observer != nullptr ? observer->wakeAtRest() : 0;
    if (wake != 0) {
        wakeWithin(millisFor(wake > t ? wake - t : 0));
    }
    const bool watchPads = SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0;
    if (watchPads) {
        wakeWithin(kPadSearchMillis);
    }
    if (sound_.isOpen()) {
        // A second at rest: the last cue (the save's, at most) has ended by
        // then, or is waited out.
        const std::uint64_t rested = t - restingSince_;
        const std::uint64_t linger = scheduler_.frequency();
        if (rested < linger) {
            wakeWithin(millisFor(linger - rested));
        } else if (!sound_.suspend()) {
            wakeWithin(kCueCheckMillis);
        }
    }
    SDL_Event event;
    const bool got = SDL_WaitEventTimeout(&event, timeout) != 0;
    // The deadlines slept through held no-op ticks; the next tick stays on
    // the grid the timer was armed on.
    scheduler_.passOver(now());
    if (got) {
        inputSinceTick_ = true;
        handle(event);
        drainEvents();
    } else if (timeout < 0) {
        // The wait failed: go back to waking for ticks rather than spin.
        inputSinceTick_ = true;
    } else {
        if (watchPads) {
            // A pad plugged in meanwhile is found only when the pads are read.
            SDL_GameControllerUpdate();
            inputSinceTick_ = drainEvents() > 0;
        }
        if (wake != 0 && now() >= wake && !observer->keepRunning(app_)) {
            closeWindow();
        }
    }
    destroyIfClosing();
}

void GameWindow::handle(const SDL_Event& event) {
    if (closing_.destroyed()) {
        return;
    }
    const bool focused = window_ != nullptr && SDL_GetKeyboardFocus() == window_;
    for (const Message& message : controls_.translate(event, focused)) {
        if (message.kind == Message::Kind::Expose) {
            present(false);
        } else {
            dispatch(app_, *this, message);
        }
        destroyIfClosing();
        if (closing_.destroyed()) {
            return;
        }
    }
}

int GameWindow::drainEvents() {
    SDL_Event event;
    int handled = 0;
    while (!quitRequested_ && SDL_PollEvent(&event) != 0) {
        handle(event);
        ++handled;
    }
    return handled;
}

void GameWindow::waitForEventOrTick() {
    const std::uint64_t t = now();
    const std::uint64_t frequency = scheduler_.frequency();
    const std::uint64_t left = scheduler_.remaining(t);
    const std::uint64_t leftNanos =
        left / frequency * kNanosPerSecond + left % frequency * kNanosPerSecond / frequency;
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
    const std::uint64_t after = now();
    const std::uint64_t rest = scheduler_.remaining(after);
    if (rest > 0 && !quitRequested_) {
        // The last stretch: a plain precise sleep up to the deadline.
        std::this_thread::sleep_for(std::chrono::nanoseconds(
            rest / frequency * kNanosPerSecond + rest % frequency * kNanosPerSecond / frequency));
    }
}

void GameWindow::paint() {
    invalidated_ = false;
    // The paint rule every time; the drawing only when the state to be shown
    // is not the one the back buffer already shows. The frame is drawn from
    // the state alone, so at rest (halted, or on a finished result) this
    // costs next to nothing.
    onPaint(app_, *this);
    if (drawn_ && drawnState_ == app_.state) {
        return;
    }
    composeFrame(app_.gdi, app_.state);
    drawnState_ = app_.state;
    drawn_ = true;
    present(true);
}

void GameWindow::present(bool newFrame) {
    if (renderer_ == nullptr || texture_ == nullptr) {
        return;
    }
    const Bitmap& frame = app_.gdi.backBufferBitmap;
    if (newFrame && frame.pixels != nullptr && frame.width == kFrameWidth &&
        frame.height == kFrameHeight) {
        // A halted game or a finished result composes the same frame every
        // tick; the screen keeps the last one until the window system says
        // it lost it (an exposure, another display, another scale).
        if (!shown_.take(frame)) {
            return;
        }
        SDL_UpdateTexture(texture_, nullptr, frame.pixels.get(),
                          kFrameWidth * static_cast<int>(sizeof(Pixel)));
    }
    // The frame covers all but the borders of a whole-number scale, so one
    // clear after an exposure is enough where the window keeps its pixels.
    if (!keepsPicture_ || !newFrame || !cleared_) {
        SDL_RenderClear(renderer_);
        cleared_ = true;
    }
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    ++presented_;
}

void GameWindow::destroyIfClosing() {
    if (!closing_.destroyIfRequested(app_, *this)) {
        return;
    }
    // Without a window there is nothing left to wait for.
    if (!quitRequested_) {
        quit(0);
    }
    if (window_ != nullptr) {
        SDL_HideWindow(window_);
    }
}

void GameWindow::releaseWindow() {
    sound_.close();
    controls_.closeAll();
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
