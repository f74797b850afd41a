#include "app/sdl/game_window.h"

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nuvalo::sdl {
namespace {

// Lets the real loop run for a while, or for `most` ticks, starting a run
// after the first tick when asked to, and counts the ticks it takes.
class Ticks final : public LoopObserver {
  public:
    Ticks(GameWindow& game, double seconds, bool play, int most = 1000)
        : game_(game), play_(play), most_(most),
          end_(SDL_GetPerformanceCounter() +
               static_cast<std::uint64_t>(seconds *
                                          static_cast<double>(SDL_GetPerformanceFrequency()))) {}
    void tickTaken(std::uint64_t, std::uint64_t) override { ++taken; }
    bool keepRunning(App& app) override {
        if (play_) {
            play_ = false;
            onKeyDown(app, kVkSpace);
            onKeyUp(app, game_, kVkSpace);
        }
        return taken < most_ && SDL_GetPerformanceCounter() < end_;
    }
    std::uint64_t wakeAtRest() override { return end_; }

    int taken = 0;

  private:
    GameWindow& game_;
    bool play_;
    int most_;
    std::uint64_t end_;
};

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

TEST_F(Window, AtRestTheLoopSleepsOnTheShownFrameAndPlayShowsEveryTick) {
    {
        // Halted for half a second: one tick shows the frame, then the loop
        // sleeps until the observer's wake-up.
        GameWindow game;
        ASSERT_TRUE(game.create(1));
        Ticks ticks(game, 0.5, false);
        game.run(&ticks);
        EXPECT_GE(ticks.taken, 1);
        EXPECT_LE(ticks.taken, 2);
        EXPECT_GE(game.presentedFrames(), 1u);
        EXPECT_LE(game.presentedFrames(), 2u);
    }
    {
        // 25 ticks of play, a crash being far off, however long a busy
        // machine makes them take: each tick shows a new frame.
        GameWindow game;
        ASSERT_TRUE(game.create(1));
        Ticks ticks(game, 60.0, true, 25);
        game.run(&ticks);
        EXPECT_EQ(ticks.taken, 25) << "25 ticks within a minute";
        EXPECT_GE(game.presentedFrames(), 24u);
        EXPECT_LE(game.presentedFrames(), 26u);
    }
}

// Rests for a second and a half, then starts a run; notes whether the sound
// device was held at rest and once the run had started.
class SoundAtRest final : public LoopObserver {
  public:
    explicit SoundAtRest(GameWindow& game) : game_(game) {}
    void tickTaken(std::uint64_t, std::uint64_t) override {}
    bool keepRunning(App& app) override {
        if (app.state.running == 1) {
            heldInPlay = game_.soundOpen();
            return false;
        }
        if (SDL_GetPerformanceCounter() >= wake_) {
            heldAtRest = game_.soundOpen();
            onKeyDown(app, kVkSpace);
            onKeyUp(app, game_, kVkSpace);
        }
        return true;
    }
    std::uint64_t wakeAtRest() override { return wake_; }

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
    game.run(&observer);
    EXPECT_FALSE(observer.heldAtRest);
    EXPECT_TRUE(observer.heldInPlay);
}

// Plugs a pad in once the game has come to rest and, ten ticks later, holds
// its d-pad left. (Off screen no window has the focus, so only the arrows get
// through.) Gives up after two seconds.
class PadAtRest final : public LoopObserver {
  public:
    void tickTaken(std::uint64_t, std::uint64_t) override { ++ticks; }
    bool keepRunning(App& app) override {
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
        return app.state.leftHeld == 0 && SDL_GetPerformanceCounter() < end_;
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
    std::uint64_t end_ = SDL_GetPerformanceCounter() + 2 * SDL_GetPerformanceFrequency();
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
    EXPECT_EQ(game.app().state.leftHeld, 1) << "the pad is read at each tick, at rest too";
    EXPECT_LE(pad.ticks - pad.pluggedAt, 12);
    SDL_JoystickClose(pad.joystick);
}

} // namespace
} // namespace nuvalo::sdl
