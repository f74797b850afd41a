#pragma once
// The game's one window on SDL2: it owns the program-wide state, turns SDL
// events into the shared message rules, runs the 20 ms timer and shows each
// composed frame. Everything the game decides happens in app/rules.

#include "app/rules.h"
#include "app/sdl/controls.h"
#include "app/sdl/sound.h"
#include "app/shown_frame.h"
#include "app/tick_scheduler.h"

#include <SDL.h>

#include <cstdint>

namespace nuvalo::sdl {

// Lets a measuring tool watch the loop; the game runs without.
class LoopObserver {
  public:
    // A tick is being taken: when it was due and when it was taken, in
    // performance-counter units.
    virtual void tickTaken(std::uint64_t deadline, std::uint64_t taken) = 0;
    // Asked after every tick, and when woken at rest; false closes the window
    // as the close box would.
    virtual bool keepRunning(App& app) = 0;
    // At rest the loop sleeps until input arrives. An observer that must look
    // at the game meanwhile names the counter value at which to be woken (and
    // asked keepRunning); 0 lets the loop sleep until input.
    virtual std::uint64_t wakeAtRest() { return 0; }

  protected:
    ~LoopObserver() = default;
};

// True where SDL's software renderer is the cheaper way to show a frame (X11,
// whose shared-memory images need no OpenGL); it then also keeps SDL from
// routing window pixels through OpenGL. Call after SDL's video is up.
bool preferSoftwareRenderer();

class GameWindow final : public Shell {
  public:
    GameWindow();
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    // Opens the window and prepares the first run (the creation message).
    // SDL's video must be up. False, with a line on stderr, when the window
    // cannot be made.
    bool create(std::uint32_t seed);
    // The message loop; returns the exit code once the window is destroyed.
    int run(LoopObserver* observer = nullptr);

    App& app() { return app_; }
    std::uint64_t skippedTicks() const { return scheduler_.skipped(); }
    // Frames put on the screen; a composed frame equal to the last one shown
    // is not shown again.
    std::uint64_t presentedFrames() const { return presented_; }
    // Screen pixels per frame pixel, each way.
    int frameScale() const { return scale_; }
    bool soundOpen() const { return sound_.isOpen(); }

    // Shell
    void armTimer() override;
    void playSound(const char* path) override;
    void invalidate() override { invalidated_ = true; }
    void closeWindow() override { closing_.request(); }
    void quit(int exitCode) override;

  private:
    void handle(const SDL_Event& event);
    // Handles every event waiting; returns how many there were.
    int drainEvents();
    void waitForEventOrTick();
    // The game stands still and its frame is on the screen: nothing but input
    // can change what is shown, so there is nothing to tick for.
    bool resting() const;
    void rest(LoopObserver* observer);
    // Milliseconds of counter units, rounded up.
    int millisFor(std::uint64_t counts) const;
    void paint();
    void present(bool newFrame);
    void chooseScale();
    // The destroy path: runs once, after the message that asked for it.
    void destroyIfClosing();
    void releaseWindow();

    App app_;
    TickScheduler scheduler_;
    SoundOutput sound_;
    Controls controls_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    // The state the back buffer was last drawn from.
    GameState drawnState_{};
    bool drawn_ = false;
    // The frame last put on the screen, to tell a changed one from a repeat.
    ShownFrame shown_;
    std::uint64_t presented_ = 0;
    int scale_ = 1;
    bool keepsPicture_ = false;
    bool cleared_ = false;
    bool invalidated_ = false;
    // An event came in since the last tick; that tick shows what it changed.
    bool inputSinceTick_ = false;
    // When the game came to rest; 0 while it is not.
    std::uint64_t restingSince_ = 0;
    WindowClosing closing_;
    bool quitRequested_ = false;
    int exitCode_ = 0;
};

} // namespace nuvalo::sdl
