#include "app/sdl/game_window.h"

#include "tests/game/support.h"

#include <gtest/gtest.h>

namespace nuvalo::sdl {
namespace {

// Lets the real loop run for a while, starting a run after the first tick
// when asked to, and counts the ticks it takes.
class Ticks final : public LoopObserver {
  public:
    Ticks(GameWindow& game, double seconds, bool play)
        : game_(game), play_(play),
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
        return SDL_GetPerformanceCounter() < end_;
    }
    std::uint64_t wakeAtRest() override { return end_; }

    int taken = 0;

  private:
    GameWindow& game_;
    bool play_;
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
    struct Case {
        const char* what;
        bool play;
        int fewestTicks, mostTicks;
        std::uint64_t fewestFrames, mostFrames;
    };
    // Half a second: 25 ticks of play, a crash being far off.
    const Case cases[] = {
        {"halted", false, 1, 2, 1, 2},
        {"playing", true, 22, 26, 21, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameWindow game;
        ASSERT_TRUE(game.create(1));
        Ticks ticks(game, 0.5, c.play);
        game.run(&ticks);
        EXPECT_GE(ticks.taken, c.fewestTicks);
        EXPECT_LE(ticks.taken, c.mostTicks);
        EXPECT_GE(game.presentedFrames(), c.fewestFrames);
        EXPECT_LE(game.presentedFrames(), c.mostFrames);
        EXPECT_EQ(game.skippedTicks(), 0u);
    }
}

} // namespace
} // namespace nuvalo::sdl
