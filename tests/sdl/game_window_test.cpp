#include "app/sdl/game_window.h"

#include "tests/game/support.h"

#include <gtest/gtest.h>

namespace nuvalo::sdl {
namespace {

// Lets the real loop run a number of ticks, starting a run after `startAt`.
class Ticks final : public LoopObserver {
  public:
    Ticks(GameWindow& game, int count, int startAt)
        : game_(game), left_(count), startAt_(startAt) {}
    void tickTaken(std::uint64_t, std::uint64_t) override {}
    bool keepRunning(App& app) override {
        if (--startAt_ == 0) {
            onKeyDown(app, kVkSpace);
            onKeyUp(app, game_, kVkSpace);
        }
        return --left_ > 0;
    }

  private:
    GameWindow& game_;
    int left_;
    int startAt_;
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

TEST_F(Window, AtRestTheFrameIsShownOnceAndPlayShowsEveryTick) {
    struct Case {
        const char* what;
        int startAt; // tick after which a run starts; 0 for never
        std::uint64_t fewest, most;
    };
    const Case cases[] = {
        {"halted", 0, 1, 2},
        {"playing", 1, 20, 26},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameWindow game;
        ASSERT_TRUE(game.create(1));
        Ticks ticks(game, 25, c.startAt);
        game.run(&ticks);
        EXPECT_GE(game.presentedFrames(), c.fewest);
        EXPECT_LE(game.presentedFrames(), c.most);
    }
}

} // namespace
} // namespace nuvalo::sdl
