#pragma once
// The game in a browser page: the shared message rules fed by the page's
// events, a 20 ms tick on absolute deadlines of the page's clock, and each
// composed frame handed to the page as RGBA pixels. No browser API is called
// here; the page's side is the small Browser interface, so that the whole
// shell runs (and is tested) without a browser.

#include "app/key_holders.h"
#include "app/rules.h"
#include "app/tick_scheduler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace nuvalo::web {

// What the page does for the game.
class Browser {
  public:
    // The page's monotonic clock (performance.now()), in milliseconds.
    virtual double now() = 0;
    // Call WebGame::wake after this many milliseconds, replacing any wake
    // still pending.
    virtual void wakeAfter(double milliseconds) = 0;
    // Show a 600 x 450 frame: 4 bytes a pixel, red, green, blue, opaque alpha.
    virtual void present(const std::uint8_t* rgba) = 0;
    // Start a cue, cutting off the one playing (the built-in sound where the
    // file is missing or unreadable).
    virtual void playCue(const char* path) = 0;
    // The game has ended: no more wakes or sounds, the instance lock goes.
    virtual void gameEnded() = 0;
    // The game is at rest with its frame on the screen: no wake is due until
    // input comes (the next wakeAfter), and no cue will start before then.
    virtual void sleep() = 0;

  protected:
    ~Browser() = default;
};

// The frame coordinates a page position falls on, for a frame shown
// `shownWidth` x `shownHeight` page pixels large.
struct FramePoint {
    int x = 0;
    int y = 0;
};
FramePoint toFrame(double pageX, double pageY, double shownWidth, double shownHeight);

// The page's own touch controls, beyond the keyboard and mouse: a touch held
// on the left or right half of the playfield holds that arrow.
enum class TouchSide : std::uint8_t { none, left, right };
TouchSide touchSide(FramePoint p);

class WebGame final : public Shell {
  public:
    explicit WebGame(Browser& browser);
    WebGame(const WebGame&) = delete;
    WebGame& operator=(const WebGame&) = delete;

    // The creation message: resources, seeded generator, prepared run,
    // running timer; then the first frame.
    void create(std::uint32_t seed);
    // The second tab of a profile: no game, the notice in the game's font.
    void refuse();

    // The pending wake has come: takes the due tick, if any, with its paint,
    // and asks for the next wake. Returns how late the tick came, in
    // microseconds, or -1 when none was due.
    std::int64_t wake();

    void keyDown(int vk);
    void keyUp(int vk);
    void mouseMove(FramePoint p);
    void mouseDown();
    void mouseUp();
    // The touches now on the screen, as a set of held sides: touches on the
    // playfield's halves, on the page's steering controls and anywhere else
    // on the screen's halves.
    void touchesHeld(bool left, bool right);
    // The page's start control held (true) or let go: Space, as a touch.
    void startControl(bool down);
    // A new touch at `p`: a tap on the start button starts a run as a click
    // there would.
    void tap(FramePoint p);
    // The game controllers as read at this tick, merged: the d-pad or the
    // stick holding Left or Right, A (Space) and Back (Escape) held.
    void padsRead(bool left, bool right, bool a, bool back);
    // Whether any controller is connected: while one is, the game keeps
    // ticking at rest so that the page reads it every tick.
    void padsAttached(bool attached);
    // The tab is closed or the page left: as the close box, it ends the game
    // (a result still being tallied is saved first).
    void close();
    // Focus lost or the page hidden: the arrows are let go.
    void focusLost();
    // The page lost the canvas's pixels: the next paint uploads its frame
    // even if nothing in it changed.
    void frameLost();

    bool running() const { return created_ && !ended_; }
    // At rest and asleep: the page has no wake pending.
    bool asleep() const { return asleep_; }
    bool ended() const { return ended_; }
    std::uint64_t skippedTicks() const { return scheduler_.skipped(); }
    const App& app() const { return *app_; }

    // Shell
    void armTimer() override;
    void playSound(const char* path) override;
    void invalidate() override { invalidated_ = true; }
    void closeWindow() override { closing_.request(); }
    void quit(int exitCode) override;

  private:
    // Where a key is held from, beyond the keyboard.
    static constexpr std::uint32_t kTouch = 2;
    static constexpr std::uint32_t kPad = 4;

    std::uint64_t clock();
    void scheduleWake();
    bool mayRest() const;
    void input();
    void paint();
    void present(const Bitmap& frame);
    void hold(int vk, std::uint32_t source, bool down);
    void destroyIfClosing();

    Browser& browser_;
    // The app and the pixels handed to the page are a few megabytes: made
    // once, with the game, never per frame.
    std::unique_ptr<App> app_;
    static constexpr std::size_t kFramePixels =
        static_cast<std::size_t>(kFrameWidth) * static_cast<std::size_t>(kFrameHeight);
    std::unique_ptr<std::array<std::uint32_t, kFramePixels>> rgba_;
    TickScheduler scheduler_;
    bool shown_ = false; // the canvas shows what rgba_ holds
    bool created_ = false;
    bool ended_ = false;
    bool invalidated_ = false;
    WindowClosing closing_;
    bool asleep_ = false;
    bool inputSinceTick_ = false;
    bool padsAttached_ = false;
    KeyHolders holders_;
};

} // namespace nuvalo::web
