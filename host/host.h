#pragma once
// The one host every shell plugs into: the window's state, the 20 ms
// schedule, input from every source merged, resting, closing, the
// changed-frame test and the one point where input enters the game. A shell
// (the SDL2 game, the Win32 game, the page, the simulator) only turns its
// platform's events into the calls below and carries out what the host asks
// of it through Shell.

#include "game/effects.h"
#include "game/game_state.h"
#include "host/key_holders.h"
#include "host/shown_frame.h"
#include "host/tick_scheduler.h"
#include "host/watch.h"
#include "persist/run_record.h"
#include "render/gdi.h"

#include <array>
#include <cstdint>
#include <memory>

namespace nuvalo {

// The game's keys are Windows virtual-key codes on every platform; each shell
// maps its own keys to them.
enum VirtualKey : int {
    kVkEscape = 27,
    kVkSpace = 32,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
    // A watch's clip: its start (In), its end (Out), and making it (GIF).
    kVkG = 'G',
    kVkI = 'I',
    kVkO = 'O',
};

// What a second copy shows instead of a game, "a multiple launch was
// detected", in Shift-JIS as every text of the game: 多重起動を確認しました.
inline constexpr char kSecondCopyNotice[] =
    "\x91\xBD\x8F\x64\x8B\x4E\x93\xAE\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// Start button area, bounds inclusive.
inline constexpr int kButtonLeft = 460, kButtonTop = 50, kButtonRight = 540, kButtonBottom = 70;

// A frame pixel, from a position on a frame shown `shownWidth` x
// `shownHeight` large (window or page pixels); clamped into the frame.
struct FramePoint {
    int x = 0;
    int y = 0;
};
FramePoint toFrame(double x, double y, double shownWidth, double shownHeight);

// One game controller as read now. Every platform reads the same few
// controls; the host maps them to the game's keys, the same everywhere.
struct PadReading {
    bool attached = false;
    bool left = false, right = false; // the d-pad
    bool a = false;                   // the bottom face button: Space
    bool back = false;                // Back (Select): Escape
    double stickX = 0.0;              // the left stick, -1 (left) to 1 (right)
    bool up = false, down = false;    // the d-pad's other two: a watch's speed

    bool operator==(const PadReading&) const = default;
};
// A stick axis as the platforms read it, a signed 16-bit value, on -1 to 1
// (its one extra step to the left counts as full left).
constexpr double stickAxis(std::int16_t value) {
    return (value < -32767 ? -32767 : value) / 32767.0;
}
// How far the left stick must lean before it steers: the dead zone that
// Microsoft recommends for a left thumbstick, 7849 of 32767.
inline constexpr double kStickDeadZone = 7849.0 / 32767.0;
inline constexpr int kMaxPads = 8;

// What the host asks of a shell.
class Shell {
  public:
    // A monotonic clock, in units of the frequency the host was made with.
    virtual std::uint64_t now() = 0;
    // Put this 600 x 450 frame on the screen: it differs from the one shown
    // last, or the screen lost that one.
    virtual void show(const Bitmap& frame) = 0;
    // Start a cue without waiting, cutting off any cue still playing.
    virtual void play(Cue cue) = 0;
    // The best score kept, read at every run start (0 when there is none).
    virtual float loadBest() = 0;
    // Keep `score` unless a greater one is kept; true when it went in.
    virtual bool saveBestIfHigher(std::int32_t score) = 0;
    // The window is gone: the game has ended with this exit code.
    virtual void ended(int exitCode) = 0;
    // A run the player started has reached its result: its record, for the
    // shell to keep or not.
    virtual void runRecorded(const RunRecord& run) { static_cast<void>(run); }
    // That run's score went in as the best: it is the best run now.
    virtual void bestRunKept(const RunRecord& run) { static_cast<void>(run); }
    // The watcher asks for a clip of `run`: the steps after `from` up to `to`.
    virtual void clipWanted(const RunRecord& run, std::uint32_t from, std::uint32_t to) {
        static_cast<void>(run);
        static_cast<void>(from);
        static_cast<void>(to);
    }
    // A watch moved on, changed its controls or (with null) stopped.
    virtual void watchChanged(const WatchStatus* status) { static_cast<void>(status); }

  protected:
    ~Shell() = default;
};

// When the shell should next call Host::advance.
struct Wake {
    bool ticked = false;        // this call took a tick...
    std::uint64_t deadline = 0; // ...that was due at this time
    bool untilInput = false;    // at rest: nothing is due until input comes
    std::uint64_t at = 0;       // otherwise: the next tick's time
};

class Host {
  public:
    // `clockFrequency`: the units of Shell::now per second. `frames`: whether
    // the shell shows frames (the simulator composes one only when asked).
    Host(Shell& shell, std::uint64_t clockFrequency, bool frames = true);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Watch controls drawn over the frame, or none (the shell has its own);
    // Escape (or Back) closing the window, or only ending the watch.
    struct WatchOptions {
        bool drawControls = true;
        bool escapeCloses = true;
        double startSeconds = 0.0; // where to start, as a link's t=
    };

    // The window is made: drawing resources, the seeded random source and a
    // prepared run that stands still until started, with the timer running.
    void create(std::uint32_t seed);

    // Input. Keys are virtual keys; a key held from several places (the
    // keyboard, a touch, a controller) is released when the last lets go,
    // and a release whose press the game never saw is ignored.
    void keyDown(int vk);
    void keyUp(int vk);
    void pointerMove(FramePoint p);
    void pointerDown();
    // The touches now on the screen, as held sides (steering) and the
    // on-screen start control (Space); a tap presses at its point.
    void touches(bool left, bool right);
    void startControl(bool down);
    void tap(FramePoint p);
    // Controller `slot` (0 to kMaxPads - 1) as read now; a reading with
    // `attached` false lets go of what the pad held.
    void pad(int slot, const PadReading& reading);
    // The keyboard focus went elsewhere: what is held is let go, and
    // releases that come elsewhere no longer reach the game.
    void focusLost();
    // The system asks for the window's picture again: a paint like any
    // other, whose frame is shown even if it did not change.
    void repaint();
    // The close box, the tab going, the session ending.
    void close();

    // Watching `run` instead of playing: input works the watch's controls,
    // and nothing is read or kept. It starts playing at once.
    void watch(const RunRecord& run, const WatchOptions& options);
    // Back to the game as it was left.
    void stopWatching();
    bool watching() const { return watch_ != nullptr; }
    // Null when not watching.
    const WatchStatus* watchStatus() const;
    // The watch's controls, for a shell that draws its own.
    void watchPlay(bool playing);
    void watchSpeed(int speed);
    void watchSeek(std::uint32_t position);
    void watchStep(int direction);
    void watchMarkClip(bool end);
    void watchClip();

    // Takes the tick that is due, if any, with its paint, and says when to
    // come back. Call it whenever the shell wakes.
    Wake advance();
    // One timer period passed, whatever the clock says: the simulator's
    // script says when its timer fires.
    void tick();

    bool ended() const { return ended_; }
    const GameState& state() const { return state_; }
    // The frame of the last paint, composed now (for a shell that shows no
    // frames otherwise).
    const Bitmap& paintedFrame();
    // Ticks dropped after stalls of a period or more.
    std::uint64_t droppedTicks() const { return scheduler_.skipped(); }
    std::uint64_t clockFrequency() const { return scheduler_.frequency(); }

  private:
    // The one point where input enters the game: a message of the window,
    // after the input sources have been merged.
    struct Input {
        enum class Kind : std::uint8_t { keyDown, keyUp, mouseMove, buttonDown, focusLost, close };
        Kind kind;
        int vk = 0;
        int x = 0, y = 0;
    };
    void enter(const Input& input);
    void enterWatch(const Input& input);
    void watchInput(); // any watch control used: its controls show a while
    void paintWatch();
    void hold(int vk, std::uint32_t source, bool down);
    void startRun(bool byPlayer);
    // Before a tick: the input in force for it; after: the result, if it came.
    void recordInput();
    void recordResult();
    void paint(bool screenLost);
    void carryOut();
    void destroyIfClosing();
    bool resting() const;
    // Input came: the game is awake until the next tick has shown it.
    bool live();

    Shell& shell_;
    TickScheduler scheduler_;
    const bool frames_;
    GameState state_;
    GdiResources gdi_;
    Effects effects_;
    // The run being recorded, its changes' room made once with the host.
    RunRecord record_;
    bool recording_ = false;
    KeyHolders holders_;
    std::array<PadReading, kMaxPads> pads_{};
    ShownFrame shown_;
    // The state of the last paint; with frames, also the one composed.
    GameState painted_{};
    bool hasPainted_ = false;
    bool composed_ = false;
    bool created_ = false;
    bool closeRequested_ = false;
    bool ended_ = false;
    bool asleep_ = false;
    bool inputSinceTick_ = false;
    std::unique_ptr<Watch> watch_;
    WatchOptions watchOptions_;
    // Periods the drawn controls stay up while the watch plays on.
    int controlsFor_ = 0;
    WatchStatus reported_;
    FramePoint watchMouse_;
    // A run's record waiting for its score's save: it becomes the best run
    // only once the save went in.
    bool bestPending_ = false;
};

} // namespace nuvalo
