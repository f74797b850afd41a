#include "app/rules.h"

#include "game/game.h"
#include "tests/support/fixtures.h"

#include <cstring>

namespace nuvalo::test {
namespace {

class Rules : public InTempDir {
  protected:
    void SetUp() override {
        InTempDir::SetUp();
        writeFile("save.dat", "321\n");
        onCreate(app, shell, 2024);
    }

    void pressAndRelease(int vk) {
        onKeyDown(app, vk);
        onKeyUp(app, shell, vk);
    }
    void clickAt(int x, int y) {
        onMouseMove(app, static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x));
        onLButtonDown(app, shell);
        onLButtonUp(app);
    }
    // Ticks and paints until the run has crashed and its tally is complete.
    void playUntilHalted() {
        for (int i = 0; i < 200000 && app.state.running == 1; ++i) {
            onTimer(app, shell);
            onPaint(app, shell);
        }
        ASSERT_EQ(app.state.running, 0);
    }

    App app;
    RecordingShell shell;
};

TEST_F(Rules, WindowOpensOnAPreparedButHaltedRun) {
    const GameState& s = app.state;
    EXPECT_EQ(s.running, 0);
    EXPECT_EQ(s.speed, 0.0f);
    EXPECT_EQ(s.starX, 200);
    EXPECT_EQ(s.starY, -20);
    EXPECT_EQ(s.bestScore, 321.0f);
    EXPECT_EQ(s.stones[0].y, 500);
    EXPECT_EQ(shell.timerArms, 1);

    // Placed from the given seed: the same seed places the same run.
    srand(2024);
    GameState again;
    RecordingShell other;
    startRun(again, other);
    EXPECT_EQ(again.boulderX, s.boulderX);
    EXPECT_EQ(again.targetX, s.targetX);
    EXPECT_EQ(again.stones[3].x, s.stones[3].x);
}

TEST_F(Rules, HaltedGameIgnoresTicksButIsRepaintedEveryTime) {
    const GameState before = app.state;
    for (int i = 0; i < 5; ++i) {
        onTimer(app, shell);
        onPaint(app, shell);
    }
    EXPECT_EQ(std::memcmp(&before, &app.state, sizeof before), 0);
    EXPECT_EQ(shell.invalidations, 5);
}

TEST_F(Rules, AtRestOnlyWhileTicksAndPaintsChangeNothing) {
    // Through the opening halt, a whole run and its finished result: every
    // tick and paint taken at rest leaves the state, the sounds and the timer
    // as they were, and play, crash and tally are never at rest.
    int restingSteps = 0, busySteps = 0;
    const auto step = [&] {
        const GameState before = app.state;
        const std::size_t sounds = shell.sounds.size();
        const int arms = shell.timerArms;
        const bool resting = atRest(before);
        onTimer(app, shell);
        onPaint(app, shell);
        if (resting) {
            ++restingSteps;
            ASSERT_EQ(std::memcmp(&before, &app.state, sizeof before), 0);
            ASSERT_EQ(shell.sounds.size(), sounds);
            ASSERT_EQ(shell.timerArms, arms);
        } else {
            ++busySteps;
        }
    };
    for (int i = 0; i < 50; ++i) {
        step();
    }
    pressAndRelease(kVkSpace);
    for (int i = 0; i < 200000 && app.state.resultPhase != 2; ++i) {
        ASSERT_FALSE(atRest(app.state)) << "step " << i;
        step();
    }
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(atRest(app.state));
        step();
    }
    EXPECT_EQ(restingSteps, 100);
    EXPECT_GT(busySteps, 181);
}

TEST_F(Rules, SpaceStartsARunOnReleaseOnlyWhileHalted) {
    onKeyDown(app, kVkSpace);
    EXPECT_EQ(app.state.running, 0);
    onKeyUp(app, shell, kVkSpace);
    EXPECT_EQ(app.state.running, 1);
    EXPECT_EQ(app.state.speed, 5.0f);
    EXPECT_EQ(shell.timerArms, 2);

    onTimer(app, shell);
    const float distance = app.state.distance;
    pressAndRelease(kVkSpace);
    EXPECT_EQ(app.state.distance, distance);
    EXPECT_EQ(shell.timerArms, 2);
}

TEST_F(Rules, SteeringFollowsTheKeysHeld) {
    onKeyDown(app, kVkLeft);
    EXPECT_EQ(app.state.steer, -1);
    onKeyDown(app, kVkLeft); // auto-repeat
    EXPECT_EQ(app.state.steer, -1);
    onKeyDown(app, kVkRight);
    EXPECT_EQ(app.state.steer, 0);
    onKeyUp(app, shell, kVkLeft);
    EXPECT_EQ(app.state.steer, 1);
    onKeyDown(app, 65); // another key changes nothing
    EXPECT_EQ(app.state.steer, 1);
    onKeyUp(app, shell, kVkRight);
    EXPECT_EQ(app.state.steer, 0);
    EXPECT_EQ(app.state.leftHeld, 0);
    EXPECT_EQ(app.state.rightHeld, 0);
}

TEST_F(Rules, EscapeClosesOnReleaseInEveryPhase) {
    onKeyDown(app, kVkEscape);
    EXPECT_EQ(shell.closes, 0);
    onKeyUp(app, shell, kVkEscape);
    EXPECT_EQ(shell.closes, 1);
    pressAndRelease(kVkSpace);
    pressAndRelease(kVkEscape);
    EXPECT_EQ(shell.closes, 2);
    app.state.resultPhase = 1;
    pressAndRelease(kVkEscape);
    EXPECT_EQ(shell.closes, 3);
}

TEST_F(Rules, StartButtonAreaIncludesItsEdges) {
    clickAt(460, 50);
    EXPECT_EQ(app.state.running, 1);
    app.state.running = 0;
    clickAt(540, 70);
    EXPECT_EQ(app.state.running, 1);
    for (const auto& [x, y] : {std::pair{541, 60}, {459, 60}, {500, 49}, {500, 71}}) {
        app.state.running = 0;
        clickAt(x, y);
        EXPECT_EQ(app.state.running, 0) << x << "," << y;
    }
}

TEST_F(Rules, ClickIsTestedWhereTheMouseLastMoved) {
    onMouseMove(app, 60u << 16 | 500u);
    onMouseMove(app, 60u << 16 | 600u);
    onLButtonDown(app, shell);
    EXPECT_EQ(app.state.running, 0);
    onMouseMove(app, 60u << 16 | 500u);
    onLButtonDown(app, shell);
    EXPECT_EQ(app.state.running, 1);
    // During a run the button does nothing.
    onTimer(app, shell);
    onLButtonDown(app, shell);
    EXPECT_EQ(app.state.distance, 5.0f);
}

TEST_F(Rules, MousePositionIsTwoUnsignedHalves) {
    onMouseMove(app, 0xFFFF0001u);
    EXPECT_EQ(app.state.mouseX, 1);
    EXPECT_EQ(app.state.mouseY, 65535);
    onMouseMove(app, 0x00320046u);
    EXPECT_EQ(app.state.mouseX, 70);
    EXPECT_EQ(app.state.mouseY, 50);
}

TEST_F(Rules, TimerStopsTickingOnceAResultShows) {
    pressAndRelease(kVkSpace);
    app.state.resultPhase = 1;
    app.state.crashTimer = 505;
    const GameState before = app.state;
    onTimer(app, shell);
    EXPECT_EQ(std::memcmp(&before, &app.state, sizeof before), 0);
    EXPECT_EQ(shell.invalidations, 1);
    onPaint(app, shell);
    EXPECT_EQ(app.state.resultTicks, 1);
}

TEST_F(Rules, PaintLeavesTheTallyAloneDuringPlay) {
    pressAndRelease(kVkSpace);
    onTimer(app, shell);
    const GameState before = app.state;
    onPaint(app, shell);
    EXPECT_EQ(std::memcmp(&before, &app.state, sizeof before), 0);
}

TEST_F(Rules, DestroyEndsTheMessageLoop) {
    onDestroy(app, shell);
    EXPECT_EQ(shell.quitCodes, std::vector<int>{0});
}

TEST_F(Rules, DestroyDuringTheTallySavesTheScoreTheTallyHasNotYetSaved) {
    const struct {
        const char* phase;
        int running, crashTimer, resultPhase, resultTicks;
        float distance;
        const char* after; // save.dat held "321\n"
    } cases[] = {
        {"halted", 0, 0, 0, 0, 1000.0f, "321\n"},
        {"playing", 1, 0, 0, 0, 1000.0f, "321\n"},
        {"crash sequence", 1, 500, 0, 0, 1000.0f, "321\n"},
        {"tally not yet painted", 1, 501, 1, 0, 1000.0f, "1000\n"},
        {"tally under way", 1, 501, 1, 100, 1000.0f, "1000\n"},
        {"tally one step before its save", 1, 501, 1, 179, 1000.0f, "1000\n"},
        {"tally under way, lower score", 1, 501, 1, 100, 300.0f, "321\n"},
        {"tally at its save", 1, 501, 1, 180, 1000.0f, "321\n"},
        {"tally after its save", 1, 501, 1, 181, 1000.0f, "321\n"},
        {"result complete", 0, 501, 2, 0, 1000.0f, "321\n"},
    };
    for (const auto& c : cases) {
        writeFile("save.dat", "321\n");
        App closing;
        RecordingShell closingShell;
        onCreate(closing, closingShell, 2024);
        GameState& s = closing.state;
        s.running = c.running;
        s.crashTimer = c.crashTimer;
        s.resultPhase = c.resultPhase;
        s.resultTicks = c.resultTicks;
        s.distance = c.distance;
        onDestroy(closing, closingShell);
        EXPECT_EQ(readFile("save.dat"), c.after) << c.phase;
        EXPECT_TRUE(closingShell.sounds.empty()) << c.phase;
        EXPECT_EQ(closingShell.quitCodes, std::vector<int>{0}) << c.phase;
    }
}

TEST_F(Rules, WholeRunSavesItsScoreAndTheNextRunReadsIt) {
    std::filesystem::remove("save.dat");
    pressAndRelease(kVkSpace);
    playUntilHalted();
    const GameState& s = app.state;
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_GT(s.crashTimer, 500);
    ASSERT_FALSE(shell.sounds.empty());
    EXPECT_EQ(shell.sounds.back(), "Ton/decide04.wav");
    const std::int32_t score = runScore(s);
    EXPECT_EQ(readFile("save.dat"), std::to_string(score) + "\n");
    EXPECT_EQ(s.bestScore, 0.0f); // still the best read at run start

    const int driftTicks = s.driftTicks;
    const int driftDir = s.driftDir;
    pressAndRelease(kVkSpace);
    EXPECT_EQ(s.running, 1);
    EXPECT_EQ(s.resultPhase, 0);
    EXPECT_EQ(s.crashTimer, 0);
    EXPECT_EQ(s.bestScore, static_cast<float>(score));
    EXPECT_EQ(s.driftTicks, driftTicks);
    EXPECT_EQ(s.driftDir, driftDir);
}

} // namespace
} // namespace nuvalo::test
