#pragma once
// The window's message handling, written once for every shell: the SDL2 game,
// the Win32 game and the headless simulator all feed their events through here.

#include "game/game_state.h"
#include "game/platform.h"
#include "render/gdi.h"

#include <cstdint>

namespace nuvalo {

// What the message rules ask of the shell beyond the game's own services.
class Shell : public Platform {
  public:
    // Ask for one repaint of the whole window (the paint rule runs later).
    virtual void invalidate() = 0;
    // Close the window as the close box would; the shell then destroys it,
    // which runs onDestroy.
    virtual void closeWindow() = 0;
    // End the message loop with this exit code.
    virtual void quit(int exitCode) = 0;

  protected:
    ~Shell() = default;
};

// Everything the program keeps, alive from window creation to destruction.
struct App {
    GameState state;
    GdiResources gdi;
};

enum VirtualKey : int { kVkEscape = 27, kVkSpace = 32, kVkLeft = 37, kVkRight = 39 };

// What a second copy shows instead of a game, "a multiple launch was
// detected", in Shift-JIS as every text of the game: 多重起動を確認しました.
inline constexpr char kSecondCopyNotice[] =
    "\x91\xBD\x8F\x64\x8B\x4E\x93\xAE\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// Start button area, bounds inclusive.
inline constexpr int kButtonLeft = 460, kButtonTop = 50, kButtonRight = 540, kButtonBottom = 70;

void onCreate(App& app, Shell& shell, std::uint32_t seed); // seed: the calendar time
void onDestroy(App& app, Shell& shell);
// The paint rule, once per paint: while a result shows, the tally's step,
// then its cues and, on its last step, the save. The frame the paint shows is
// then composeFrame(app.gdi, app.state), which only reads the state: a shell
// that has no use for the pixels (the simulator between snapshots, a desktop
// frame that has not changed) does not compose them.
void onPaint(App& app, Shell& shell);
void onKeyDown(App& app, int vk);
void onKeyUp(App& app, Shell& shell, int vk);
// The window lost the keyboard focus: its key releases go elsewhere, so the
// arrows count as released. Space and Escape are left alone; a release the
// player never made here must neither start a run nor quit.
void onFocusLost(App& app);
void onTimer(App& app, Shell& shell);
// True while the game stands still (halted, or on a finished result): until
// input arrives, a tick and its paint change nothing and play no sound, so a
// shell may sleep through them once the frame of this state is on the screen.
// Only input ends it, and every way out of it starts a run, which re-arms the
// timer.
bool atRest(const GameState& s);
// The mouse message's parameter as the window system packs it: x in the low
// 16 bits, y in the high 16, each cut to its low 16 bits.
constexpr std::uint32_t mouseParam(std::int32_t x, std::int32_t y) {
    return (static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
           (static_cast<std::uint32_t>(x) & 0xFFFFu);
}
void onMouseMove(App& app, std::uint32_t lParam);
void onLButtonDown(App& app, Shell& shell);
void onLButtonUp(App& app);

// Closing, as a window closes: a close asked for (Escape, the close box, the
// tab going) destroys the window once, between messages, which runs onDestroy
// and with it the save of an unfinished tally and the quit.
class WindowClosing {
  public:
    void request() { requested_ = true; }
    // Asked for and not yet carried out.
    bool pending() const { return requested_ && !destroyed_; }
    bool destroyed() const { return destroyed_; }
    // Runs onDestroy if a close is pending; true when it did.
    bool destroyIfRequested(App& app, Shell& shell) {
        if (!pending()) {
            return false;
        }
        destroyed_ = true;
        onDestroy(app, shell);
        return true;
    }

  private:
    bool requested_ = false;
    bool destroyed_ = false;
};

} // namespace nuvalo
