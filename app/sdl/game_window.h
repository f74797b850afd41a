#pragma once
// The game's one window on SDL2, the shell the host runs the game in: it
// turns SDL's events into the host's calls, waits for the next tick or, at
// rest, for input, and puts the host's frames and cues out. It keeps the
// player's runs beside "save.dat", or shows a recorded run instead of a game.

#include "app/sdl/input.h"
#include "app/sdl/sound.h"
#include "game/cues.h"
#include "host/host.h"
#include "persist/run_record.h"

#include <SDL.h>

#include <cstdint>

namespace nuvalo::sdl {

// Lets a measuring tool watch the loop; the game runs without.
class LoopObserver {
  public:
    // A tick was taken: when it was due and when it was taken, in
    // performance-counter units.
    virtual void tickTaken(std::uint64_t deadline, std::uint64_t taken) = 0;
    // Asked after every tick, and when woken at rest; false closes the window
    // as the close box would.
    virtual bool keepRunning(Host& host) = 0;
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

    // Opens the window and prepares the first run. SDL's video must be up.
    // False, with a line on stderr, when the window cannot be made. With
    // `watched`, the window shows that run from `startSeconds` on instead,
    // and nothing is read or kept.
    bool create(std::uint32_t seed, const RunRecord* watched = nullptr, double startSeconds = 0.0);
    // The message loop; returns the exit code once the window is gone.
    int run(LoopObserver* observer = nullptr);

    Host& host() { return host_; }
    std::uint64_t presentedFrames() const { return presented_; }
    bool soundOpen() const { return sound_.isOpen(); }

    // Shell
    std::uint64_t now() override { return SDL_GetPerformanceCounter(); }
    void show(const Bitmap& frame) override;
    void play(Cue cue) override { sound_.play(cueFile(cue)); }
    float loadBest() override;
    bool saveBestIfHigher(std::int32_t score) override;
    void ended(int exitCode) override;
    void runRecorded(const RunRecord& run) override;
    void bestRunKept(const RunRecord& run) override;
    void clipWanted(const RunRecord& run, std::uint32_t from, std::uint32_t to) override;
    void watchChanged(const WatchStatus* status) override;

  private:
    void keepRun(const char* path, const RunRecord& run);
    void handle(const SDL_Event& event);
    void drainEvents();
    void readPads();
    void waitUntil(std::uint64_t at);
    void rest(LoopObserver* observer);
    // Milliseconds of counter units, rounded up.
    int millisFor(std::uint64_t counts) const;
    void chooseScale();
    void releaseWindow();

    const std::uint64_t frequency_;
    Host host_;
    SoundOutput sound_;
    Pads pads_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::uint64_t presented_ = 0;
    bool keepsPicture_ = false;
    // The window lost its picture, borders and all.
    bool exposed_ = true;
    // When the game came to rest; 0 while it is not.
    std::uint64_t restingSince_ = 0;
    bool ended_ = false;
    int exitCode_ = 0;
    bool watching_ = false;
    bool verdictWritten_ = false;
    bool toldOfUnkeptRun_ = false;
};

} // namespace nuvalo::sdl
