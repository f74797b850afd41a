#include "app/sdl/game_window.h"

#include "persist/best_score.h"
#include "persist/run_file.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nuvalo::sdl {
namespace {

// The real window and loop on SDL's off-screen video, where no window holds
// the keyboard focus.
class Window : public test::InTempDir {
  protected:
    void SetUp() override {
        InTempDir::SetUp();
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    void TearDown() override {
        SDL_Quit();
        InTempDir::TearDown();
    }
};

// Rests for a second and a half, then starts a run; notes whether the sound
// device was held when last at rest and once the run had started.
class SoundAtRest final : public LoopObserver {
  public:
    explicit SoundAtRest(GameWindow& game) : game_(game) {}
    void tickTaken(std::uint64_t, std::uint64_t) override {}
    bool keepRunning(Host& host) override {
        if (host.state().running == 1) {
            heldInPlay = game_.soundOpen();
            return false;
        }
        if (SDL_GetPerformanceCounter() >= wake_) {
            host.keyDown(kVkSpace);
            host.keyUp(kVkSpace);
        }
        return true;
    }
    std::uint64_t wakeAtRest() override {
        heldAtRest = game_.soundOpen();
        return wake_;
    }

    bool heldAtRest = true;
    bool heldInPlay = false;

  private:
    GameWindow& game_;
    std::uint64_t wake_ = SDL_GetPerformanceCounter() + SDL_GetPerformanceFrequency() * 3 / 2;
};

TEST_F(Window, AtRestTheSoundDeviceIsLetGoAndTakenAgainForTheNextRun) {
    GameWindow game;
    ASSERT_TRUE(game.create(1));
    ASSERT_TRUE(game.soundOpen()) << SDL_GetError();
    SoundAtRest observer(game);
    EXPECT_EQ(game.run(&observer), 0);
    EXPECT_FALSE(observer.heldAtRest);
    EXPECT_TRUE(observer.heldInPlay);
}

// Queues Space pressed and let go while no window has the keyboard focus,
// as SDL queues the keys it lets go of when the focus leaves (before it says
// the focus went); ends the game at the next look, once they were handled.
class SpaceWithoutFocus final : public LoopObserver {
  public:
    void tickTaken(std::uint64_t, std::uint64_t) override {}
    bool keepRunning(Host&) override {
        if (queued) {
            return false;
        }
        for (const Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
            SDL_Event e{};
            e.type = type;
            e.key.keysym.sym = SDLK_SPACE;
            SDL_PushEvent(&e);
        }
        queued = true;
        return true;
    }
    std::uint64_t wakeAtRest() override { return SDL_GetPerformanceCounter(); }

    bool queued = false;
};

TEST_F(Window, ASpaceLetGoOfWhenTheFocusLeftStartsNothing) {
    GameWindow game;
    ASSERT_TRUE(game.create(1));
    ASSERT_EQ(SDL_GetKeyboardFocus(), nullptr);
    SpaceWithoutFocus observer;
    EXPECT_EQ(game.run(&observer), 0);
    EXPECT_TRUE(observer.queued);
    EXPECT_EQ(game.host().state().running, 0);
}

// Plugs a pad in once the game has come to rest and, ten ticks later, holds
// its d-pad left. Gives up after ten seconds.
class PadAtRest final : public LoopObserver {
  public:
    void tickTaken(std::uint64_t, std::uint64_t) override { ++ticks; }
    bool keepRunning(Host& host) override {
        if (joystick == nullptr && rested) {
            SDL_VirtualJoystickDesc desc{};
            desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
            desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
            desc.naxes = SDL_CONTROLLER_AXIS_MAX;
            desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
            joystick = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
            pluggedAt = ticks;
        } else if (joystick != nullptr && ticks - pluggedAt == 10) {
            SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
        }
        return host.state().leftHeld == 0 && SDL_GetPerformanceCounter() < end_;
    }
    std::uint64_t wakeAtRest() override {
        rested = true;
        return std::min(end_, SDL_GetPerformanceCounter() + SDL_GetPerformanceFrequency() / 10);
    }

    SDL_Joystick* joystick = nullptr;
    bool rested = false;
    int ticks = 0;
    int pluggedAt = 0;

  private:
    std::uint64_t end_ = SDL_GetPerformanceCounter() + 10 * SDL_GetPerformanceFrequency();
};

TEST_F(Window, APadPluggedInAtRestIsFoundAndReadAtTheNextTicks) {
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    GameWindow game;
    ASSERT_TRUE(game.create(1));
    PadAtRest pad;
    game.run(&pad);
    ASSERT_NE(pad.joystick, nullptr) << SDL_GetError();
    EXPECT_EQ(game.host().state().leftHeld, 1) << "the pad is read at each tick, at rest too";
    EXPECT_LE(pad.ticks - pad.pluggedAt, 12);
    SDL_JoystickClose(pad.joystick);
}

// The player's runs go beside save.dat; a run that cannot be kept there leaves
// the game and its best score as they were. A watch reads and keeps nothing.
TEST_F(Window, RunsAreKeptBesideTheBestScoreAndNothingWhileWatching) {
    RunRecord run;
    run.rules = kRulesVersion;
    run.changes = {{30, {true, false, 0, 0}}};
    run.ticks = 120;
    run.score = 2500;
    writeFile(kSaveFile, "1000");
    GameWindow game;
    game.runRecorded(run);
    game.bestRunKept(run);
    for (const char* file : {kLastRunFile, kBestRunFile}) {
        const std::string bytes = readFile(file);
        const ReadRun read = decodeRun(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size(), kRulesVersion);
        EXPECT_TRUE(read.ok && read.run == run) << file << ": " << read.reason;
    }
    std::filesystem::remove(kLastRunFile);
    std::filesystem::create_directory(kLastRunFile); // in the way
    game.runRecorded(run);
    EXPECT_EQ(readFile(kSaveFile), "1000");

    std::filesystem::remove(kBestRunFile);
    GameWindow watcher;
    ASSERT_TRUE(watcher.create(1, &run));
    EXPECT_EQ(watcher.host().state().bestScore, 0.0f) << "save.dat was read";
    watcher.runRecorded(run);
    watcher.bestRunKept(run);
    EXPECT_TRUE(std::filesystem::is_directory(kLastRunFile));
    EXPECT_FALSE(std::filesystem::exists(kBestRunFile));
}

} // namespace
} // namespace nuvalo::sdl
