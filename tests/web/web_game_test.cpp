// The browser shell's logic against a stand-in page: its clock, its wakes,
// the frames it is handed and the cues it is asked to play.
#include "app/web/web_game.h"

#include "tests/support/fixtures.h"

#include <cmath>

namespace nuvalo::web {
namespace {

class FakePage final : public Browser {
  public:
    double now() override { return clock; }
    void wakeAfter(double milliseconds) override { wakeAt = clock + milliseconds; }
    void present(const std::uint8_t* rgba) override {
        ++frames;
        last = rgba;
    }
    void playCue(const char* path) override { cues.emplace_back(path); }
    void gameEnded() override { ++ends; }
    void sleep() override {
        ++sleeps;
        wakeAt = -1.0;
    }

    double clock = 1000.0;
    double wakeAt = -1.0;
    int frames = 0;
    int ends = 0;
    int sleeps = 0;
    const std::uint8_t* last = nullptr;
    std::vector<std::string> cues;
};

class WebShell : public test::InTempDir {
  protected:
    void SetUp() override {
        InTempDir::SetUp();
        game.create(7);
    }
    // Lets the page's clock run to its pending wake (plus `late` ms) and wakes the game.
    std::int64_t wakeLate(double late) {
        page.clock = page.wakeAt + late;
        return game.wake();
    }
    void releaseKey(int vk) {
        game.keyDown(vk);
        game.keyUp(vk);
    }
    const GameState& state() const { return game.app().state; }

    FakePage page;
    WebGame game{page};
};

TEST_F(WebShell, OpensOnTheHaltedRunShownAtOnceThenSleepsUntilInput) {
    EXPECT_EQ(page.frames, 1);
    EXPECT_EQ(state().running, 0);
    EXPECT_DOUBLE_EQ(page.wakeAt, 1020.0);
    EXPECT_EQ(wakeLate(0.0), 0);
    EXPECT_EQ(page.sleeps, 1) << "the halted frame is on the screen: no more wakes";
    EXPECT_TRUE(game.asleep());
    EXPECT_EQ(game.wake(), -1) << "a stale wake takes no tick";
    // Input wakes it on the grid the timer was armed on.
    page.clock = 1000.0 + 20.0 * 40 + 3.0;
    game.keyDown(kVkLeft);
    EXPECT_FALSE(game.asleep());
    EXPECT_DOUBLE_EQ(page.wakeAt, 1000.0 + 20.0 * 41);
    EXPECT_EQ(wakeLate(0.0), 0) << "the tick after the input is taken";
    EXPECT_EQ(page.sleeps, 2) << "and once its frame is shown, asleep again";
    EXPECT_EQ(game.skippedTicks(), 0u) << "ticks slept through are not dropped ones";
    // A connected controller is read at every tick, so it keeps them coming.
    game.padsAttached(true);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(wakeLate(0.0), 0);
    }
    EXPECT_EQ(page.sleeps, 2);
    EXPECT_EQ(page.frames, 1) << "the halted frame stays as it was uploaded";
    releaseKey(kVkSpace);
    for (int i = 1; i <= 50; ++i) {
        EXPECT_EQ(wakeLate(0.0), 0);
        EXPECT_EQ(page.frames, 1 + i) << "each tick of a run, one paint and one upload";
    }
}

TEST_F(WebShell, TicksKeepTheirGridWithoutDrift) {
    releaseKey(kVkSpace);
    const double first = page.wakeAt;
    for (int i = 0; i < 1000 && !game.asleep(); ++i) {
        wakeLate(i % 7 * 0.9); // woken up to 5.4 ms late, as timers are
        ASSERT_TRUE(game.asleep() || page.wakeAt == first + (i + 1) * 20.0) << i;
    }
    EXPECT_EQ(game.skippedTicks(), 0u);
}

TEST_F(WebShell, AStallCostsTheTicksItCoveredAndNeverBringsABurst) {
    releaseKey(kVkSpace); // a run, so that every tick brings a new frame
    for (const double stall : {5.0, 25.0, 90.0, 300.0}) {
        const double grid = page.wakeAt;
        const int framesBefore = page.frames;
        EXPECT_EQ(wakeLate(stall), static_cast<std::int64_t>(stall * 1000)) << stall;
        EXPECT_EQ(page.frames, framesBefore + 1) << stall;
        // The next tick comes on the first deadline of the grid still ahead.
        const double next = grid + 20.0 * (std::floor(stall / 20.0) + 1);
        EXPECT_DOUBLE_EQ(page.wakeAt, next) << stall;
        // Woken early (a timer's rounding), it takes no tick and asks again.
        page.clock = next - 0.5;
        EXPECT_EQ(game.wake(), -1) << stall;
        EXPECT_DOUBLE_EQ(page.wakeAt, next) << stall;
    }
    EXPECT_EQ(game.skippedTicks(), 0u + 1u + 4u + 15u);
}

TEST_F(WebShell, StartingARunRestartsThePeriod) {
    wakeLate(0.0);
    page.clock += 7.0;
    releaseKey(kVkSpace);
    EXPECT_EQ(state().running, 1);
    EXPECT_DOUBLE_EQ(page.wakeAt, page.clock + 20.0);
}

TEST_F(WebShell, KeysTouchesAndControllersHoldTheKeysTogether) {
    game.padsRead(false, false, true, false);
    game.startControl(true);
    game.padsRead(false, false, false, false);
    EXPECT_EQ(state().running, 0) << "the start control still holds Space";
    game.startControl(false);
    EXPECT_EQ(state().running, 1) << "Space let go by its last holder";
    game.padsRead(true, false, false, false);
    EXPECT_EQ(state().steer, -1);
    game.keyDown(kVkLeft);
    game.padsRead(false, false, false, false);
    EXPECT_EQ(state().steer, -1) << "the keyboard still holds Left";
    game.keyUp(kVkLeft);
    EXPECT_EQ(state().steer, 0);
    game.padsRead(false, false, false, true);
    game.padsRead(false, false, false, false);
    EXPECT_TRUE(game.ended()) << "Back let go is Escape";
}

TEST_F(WebShell, KeysAndTouchesHoldTheArrowsTogether) {
    game.keyDown(kVkLeft);
    game.keyDown(kVkLeft); // auto-repeat
    game.touchesHeld(true, false);
    game.keyUp(kVkLeft);
    EXPECT_EQ(state().steer, -1) << "the touch still holds Left";
    game.touchesHeld(true, true);
    EXPECT_EQ(state().steer, 0);
    game.touchesHeld(false, true);
    EXPECT_EQ(state().steer, 1);
    game.keyDown(kVkRight);
    game.keyDown(kVkSpace);
    game.focusLost();
    EXPECT_EQ(state().leftHeld + state().rightHeld + state().steer, 0);
    game.touchesHeld(false, true);
    EXPECT_EQ(state().steer, 1) << "a touch after the focus came back holds again";
    EXPECT_EQ(state().running, 0) << "losing the focus is no Space release";
}

TEST(WebInput, PagePositionsMapToFramePixelsAndTouchSides) {
    const struct {
        double x, y, width, height;
        int frameX, frameY;
        TouchSide side;
    } cases[] = {
        {0, 0, 600, 450, 0, 0, TouchSide::left},
        {921, 101, 1200, 900, 460, 50, TouchSide::none},  // the start button, at twice the size
        {133.4, 50, 200, 150, 400, 150, TouchSide::none}, // a phone's third of the size
        {66.6, 149.9, 200, 150, 199, 449, TouchSide::left},
        {400.5, 10, 1200, 900, 200, 5, TouchSide::right},
        {-3, 900, 1200, 900, 0, 449, TouchSide::left}, // clamped onto the frame
        {5000, -1, 1200, 900, 599, 0, TouchSide::none},
        {10, 10, 0, 0, 0, 0, TouchSide::left}, // not laid out yet
    };
    for (const auto& c : cases) {
        const FramePoint p = toFrame(c.x, c.y, c.width, c.height);
        EXPECT_EQ(p.x, c.frameX) << c.x << "," << c.y;
        EXPECT_EQ(p.y, c.frameY) << c.x << "," << c.y;
        EXPECT_EQ(touchSide(p), c.side) << c.x << "," << c.y;
    }
}

TEST_F(WebShell, ATapOnTheStartButtonStartsARunAsAClickWould) {
    game.tap({541, 60});
    EXPECT_EQ(state().running, 0);
    game.tap({540, 70});
    EXPECT_EQ(state().running, 1);
}

TEST_F(WebShell, FramesReachThePageAsOpaqueRgba) {
    const Bitmap& frame = game.app().gdi.backBufferBitmap;
    int mismatches = 0;
    for (int i = 0; i < kFrameWidth * kFrameHeight; ++i) {
        const Pixel p = frame.pixels[static_cast<std::size_t>(i)];
        const std::uint8_t* q = page.last + 4 * i;
        const Pixel back = static_cast<Pixel>(q[0]) << 16 | static_cast<Pixel>(q[1]) << 8 | q[2];
        mismatches += back != p || q[3] != 255;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(WebShell, EscapeOrClosingTheTabEndsTheGameForGood) {
    releaseKey(kVkSpace);
    releaseKey(kVkEscape);
    game.close();
    EXPECT_EQ(page.ends, 1);
    EXPECT_TRUE(game.ended());
    const int frames = page.frames;
    const double wakeAt = page.wakeAt;
    EXPECT_EQ(wakeLate(0.0), -1);
    releaseKey(kVkSpace);
    game.tap({500, 60});
    EXPECT_EQ(page.frames, frames);
    EXPECT_EQ(page.wakeAt, wakeAt) << "no wake asked for after the end";
    EXPECT_EQ(page.ends, 1);
}

TEST_F(WebShell, ClosingTheTabDuringTheTallySavesTheRun) {
    releaseKey(kVkSpace);
    for (int i = 0; i < 100000 && state().resultPhase == 0; ++i) {
        wakeLate(0.0);
    }
    ASSERT_EQ(state().resultPhase, 1) << "the run crashed and its tally began";
    wakeLate(0.0);
    game.close();
    EXPECT_TRUE(game.ended());
    EXPECT_EQ(readFile("save.dat"), std::to_string(runScore(state())) + "\n");
}

TEST(WebRefusal, ASecondTabShowsTheNoticeAndRunsNothing) {
    FakePage page;
    WebGame game(page);
    game.refuse();
    ASSERT_EQ(page.frames, 1);
    EXPECT_LT(page.wakeAt, 0.0);
    EXPECT_FALSE(game.running());
    // White all round, black text in the middle.
    auto red = [&](int x, int y) { return page.last[4 * (y * kFrameWidth + x)]; };
    EXPECT_EQ(red(0, 0) & red(599, 449) & red(300, 100), 255);
    int ink = 0;
    for (int x = 200; x < 400; ++x) {
        for (int y = 210; y < 240; ++y) {
            ink += red(x, y) == 0;
        }
    }
    EXPECT_GT(ink, 100);
    game.create(1);
    EXPECT_EQ(page.frames, 1) << "a refused page never starts a game";
}

} // namespace
} // namespace nuvalo::web
