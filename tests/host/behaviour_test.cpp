// What the game does for a player, written once against the host's face: the
// same suite runs natively, under wine and under node, so every shell that
// plugs into the host behaves alike.
#include "game/game.h"
#include "host/host.h"
#include "host/replay.h"
#include "host/watch_bar.h"
#include "tests/support/doubles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nuvalo::test {
namespace {

// A game as a player meets it: the host and a shell standing in for the platform.
struct Player {
    Player() {
        shell.best = 321;
        host.create(2024);
        host.repaint(); // the first frame, as a window's first paint
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const GameState& s() const { return host.state(); }
    void press(int vk) {
        host.keyDown(vk);
        host.keyUp(vk);
    }
    void clickAt(int x, int y) {
        host.pointerMove({x, y});
        host.pointerDown();
    }
    // Lets the clock run to the next deadline and takes that tick.
    Wake tick() {
        const Wake next = host.advance();
        if (!next.untilInput) {
            shell.clock = next.at;
        }
        return host.advance();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            tick();
        }
    }
    // Plays until the run has crashed and its tally has begun.
    void playUntilTally() {
        for (int i = 0; i < 100000 && s().resultPhase == 0; ++i) {
            tick();
        }
        ASSERT_EQ(s().resultPhase, 1);
    }
    static PadReading padHolding(bool left, bool a, bool back, double stickX = 0.0) {
        PadReading r;
        r.attached = true;
        r.left = left;
        r.a = a;
        r.back = back;
        r.stickX = stickX;
        return r;
    }

    FakeShell shell;
    Host host{shell, FakeShell::kFrequency};
};

class Behaviour : public ::testing::Test, public Player {};

TEST_F(Behaviour, TheWindowOpensOnAPreparedHaltedRunWithTheTimerRunning) {
    EXPECT_EQ(s().running, 0);
    EXPECT_EQ(s().speed, 0.0f);
    EXPECT_EQ(s().starY, -20);
    EXPECT_EQ(s().bestScore, 321.0f);
    EXPECT_EQ(shell.bestReads, 1);
    EXPECT_EQ(shell.framesShown, 1);
    // Placed from the seed: the same seed places the same run.
    GameState again;
    Effects out;
    srand(again, 2024);
    startRun(again, 321.0f, out);
    EXPECT_EQ(again.stones[3].x, s().stones[3].x);
    EXPECT_EQ(again.targetX, s().targetX);
}

TEST_F(Behaviour, StartControlsActOnlyWhileHalted) {
    const struct {
        const char* what;
        void (*act)(Player&);
        bool starts;
    } cases[] = {
        {"Space released", [](Player& b) { b.press(kVkSpace); }, true},
        {"Space only pressed", [](Player& b) { b.host.keyDown(kVkSpace); }, false},
        {"a click on the top left edge", [](Player& b) { b.clickAt(460, 50); }, true},
        {"a click on the bottom right edge", [](Player& b) { b.clickAt(540, 70); }, true},
        {"a click beside the button", [](Player& b) { b.clickAt(541, 60); }, false},
        {"the on-screen start control",
         [](Player& b) {
             b.host.startControl(true);
             b.host.startControl(false);
         },
         true},
        {"a tap on the button",
         [](Player& b) {
             b.host.tap({500, 60});
         },
         true},
        {"A on a pad",
         [](Player& b) {
             b.host.pad(0, padHolding(false, true, false));
             b.host.pad(0, padHolding(false, false, false));
         },
         true},
    };
    for (const auto& c : cases) {
        Player b;
        c.act(b);
        EXPECT_EQ(b.s().running, c.starts ? 1 : 0) << c.what;
        if (c.starts) {
            EXPECT_EQ(b.s().speed, 5.0f) << c.what;
            EXPECT_EQ(b.shell.bestReads, 2) << c.what << ": the best is read at every run start";
            // Once running, neither starts it again.
            b.ticks(3);
            c.act(b);
            EXPECT_EQ(b.s().distance, 5.0f + 5.01f + 5.02f) << c.what;
        }
    }
}

TEST_F(Behaviour, ARunStartRearmsTheTimerFromThatMoment) {
    ticks(20);
    shell.clock += 13'000;
    press(kVkSpace);
    const Wake next = host.advance();
    ASSERT_FALSE(next.untilInput);
    EXPECT_EQ(next.at, shell.clock + FakeShell::kPeriod);
}

TEST_F(Behaviour, SteeringFollowsEveryHolderOfAKey) {
    press(kVkSpace);
    host.keyDown(kVkLeft);
    EXPECT_EQ(s().steer, -1);
    host.keyDown(kVkRight);
    EXPECT_EQ(s().steer, 0) << "both held: straight down";
    host.keyUp(kVkLeft);
    EXPECT_EQ(s().steer, 1) << "letting go of one turns towards the other at once";
    // Right held from the keyboard and a thumb: both must let go.
    host.touches(false, true);
    host.keyUp(kVkRight);
    EXPECT_EQ(s().steer, 1);
    host.touches(false, false);
    EXPECT_EQ(s().steer, 0);
    // A stick steers beyond the dead zone only, the same on every platform.
    host.pad(1, padHolding(false, false, false, -0.2));
    EXPECT_EQ(s().steer, 0);
    host.pad(1, padHolding(false, false, false, -0.25));
    EXPECT_EQ(s().steer, -1) << "a stick pushed a quarter of the way steers";
    host.pad(1, PadReading{});
    EXPECT_EQ(s().steer, 0) << "a pad pulled out lets go";
}

TEST_F(Behaviour, AReleaseWhosePressTheGameNeverSawIsIgnored) {
    host.keyUp(kVkSpace);
    EXPECT_EQ(s().running, 0);
    host.keyUp(kVkEscape);
    EXPECT_FALSE(host.ended());
    // Held here when the focus went elsewhere: its release goes elsewhere too.
    host.keyDown(kVkSpace);
    host.keyDown(kVkLeft);
    host.focusLost();
    host.keyUp(kVkSpace);
    EXPECT_EQ(s().running, 0);
    EXPECT_EQ(s().leftHeld, 0) << "the arrows are let go with the focus";
    // A pad pulled out never had its A or Back let go by the player.
    host.pad(2, padHolding(false, true, true));
    host.pad(2, PadReading{});
    EXPECT_EQ(s().running, 0);
    EXPECT_FALSE(host.ended());
}

TEST_F(Behaviour, EscapeClosesOnReleaseInEveryPhaseAndKeepsAnUnfinishedTally) {
    struct Phase {
        const char* what;
        int ticksAfterCrash;
        std::vector<std::int32_t> saves;
    };
    for (const Phase& phase : {Phase{"halted", -1, {}}, Phase{"tally", 10, {}}}) {
        Player b;
        if (phase.ticksAfterCrash >= 0) {
            b.press(kVkSpace);
            b.playUntilTally();
            b.ticks(phase.ticksAfterCrash);
        }
        b.host.keyDown(kVkEscape);
        EXPECT_FALSE(b.host.ended()) << phase.what << ": not on the press";
        b.host.keyUp(kVkEscape);
        EXPECT_EQ(b.shell.endedWith, 0) << phase.what;
        if (phase.ticksAfterCrash >= 0) {
            ASSERT_EQ(b.shell.saves.size(), 1u);
            EXPECT_EQ(b.shell.saves[0], runScore(b.s()));
            EXPECT_TRUE(b.shell.cues.empty() || b.shell.cues.back() != Cue::saved)
                << "kept without a sound";
        } else {
            EXPECT_TRUE(b.shell.saves.empty());
        }
        // Gone: nothing reaches the game any more.
        b.press(kVkSpace);
        EXPECT_TRUE(b.host.advance().untilInput);
    }
}

TEST_F(Behaviour, TheTallyStepsOncePerPaintAndAnnouncesOnlyASaveThatWentIn) {
    const struct {
        std::optional<std::int32_t> stored;
        bool refuse;
        bool announced;
    } cases[] = {{std::nullopt, false, true}, {1 << 30, false, false}, {std::nullopt, true, false}};
    for (const auto& c : cases) {
        Player b;
        b.shell.best = c.stored;
        b.shell.refuseSaves = c.refuse;
        b.press(kVkSpace);
        b.playUntilTally();
        b.shell.cues.clear();
        // A paint the system asks for steps the tally as a tick's paint does.
        b.ticks(58);
        b.host.repaint();
        EXPECT_EQ(b.s().resultTicks, 60);
        EXPECT_EQ(b.shell.cues, std::vector<Cue>{Cue::tallyStep});
        b.ticks(125);
        EXPECT_EQ(b.s().resultPhase, 2);
        EXPECT_EQ(b.shell.saves.size(), 1u);
        const std::vector<Cue> tally = {Cue::tallyStep, Cue::tallyStep, Cue::tallyStep};
        std::vector<Cue> expected = tally;
        if (c.announced) {
            expected.push_back(Cue::saved);
        }
        EXPECT_EQ(b.shell.cues, expected);
    }
}

TEST_F(Behaviour, AtRestTheGameSleepsUntilInputAndKeepsItsGrid) {
    ticks(2);
    const int shown = shell.framesShown;
    const Wake rest = host.advance();
    EXPECT_TRUE(rest.untilInput) << "halted with its frame on the screen";
    shell.clock += 37 * FakeShell::kPeriod + 5'000;
    host.pointerMove({10, 10});
    const Wake woken = host.advance();
    ASSERT_FALSE(woken.untilInput);
    EXPECT_EQ((woken.at - 1'000'000) % FakeShell::kPeriod, 0u) << "the grid the timer was armed on";
    EXPECT_EQ(host.droppedTicks(), 0u) << "sleeping drops no ticks";
    EXPECT_EQ(shell.framesShown, shown) << "an unchanged frame is not shown again";
    host.repaint();
    EXPECT_EQ(shell.framesShown, shown + 1) << "the screen lost it: shown again";
    // A controller is read at ticks: one attached keeps them coming.
    host.pad(0, padHolding(false, false, false));
    tick();
    tick();
    EXPECT_FALSE(host.advance().untilInput);
}

TEST_F(Behaviour, AStallCostsTheTicksItCoveredInsteadOfABurst) {
    press(kVkSpace);
    tick();
    shell.clock += 10 * FakeShell::kPeriod;
    EXPECT_TRUE(host.advance().ticked);
    EXPECT_FALSE(host.advance().ticked);
    EXPECT_EQ(host.droppedTicks(), 9u);
}

TEST_F(Behaviour, TwoGamesInOneProcessDoNotDisturbEachOther) {
    // Made one after the other, started one after the other: each places
    // its second run from its own random source.
    Player other;
    press(kVkSpace);
    other.press(kVkSpace);
    EXPECT_EQ(other.s().stones[0].x, s().stones[0].x);
    EXPECT_EQ(other.s().targetX, s().targetX);
}

TEST_F(Behaviour, ARunThePlayerStartedIsRecordedAndReplaysToItsResult) {
    host.keyDown(kVkRight); // held into the run
    press(kVkSpace);
    ticks(30);
    host.keyUp(kVkRight);
    host.pointerMove({123, 45});
    ticks(12);
    host.keyDown(kVkLeft);
    ticks(5);
    host.focusLost();
    playUntilTally();
    ASSERT_EQ(shell.runs.size(), 1u) << "the prepared run at the window's opening is no run";
    const RunRecord& run = shell.runs[0];
    EXPECT_EQ(run.score, runScore(s()));
    EXPECT_EQ(run.bestScore, 321.0f);
    EXPECT_TRUE(run.start.right);
    ASSERT_GT(run.ticks, 48u);
    ASSERT_EQ(run.changes.size(), 3u);
    EXPECT_EQ(run.changes[0].tick, 31u);
    EXPECT_EQ(run.changes[0].fields, (InputFields{false, false, 123, 45}));
    EXPECT_EQ(run.changes[2].tick, 48u);

    GameState replayed;
    const ReplayVerdict verdict =
        replayRun(run, [&](std::uint32_t, const GameState& at, const Effects&) { replayed = at; });
    EXPECT_TRUE(verdict.verified) << verdict.reason;
    EXPECT_EQ(verdict.ticks, run.ticks);
    EXPECT_TRUE(replayed == s()) << "the same state, field for field, at the result";

    // A record that claims what the run does not do says where it parts.
    RunRecord changed = run;
    changed.randomState += 1;
    EXPECT_FALSE(
        replayRun(changed, [](std::uint32_t, const GameState&, const Effects&) {}).verified);
    changed = run;
    changed.score += 1;
    const ReplayVerdict wrong =
        replayRun(changed, [](std::uint32_t, const GameState&, const Effects&) {});
    EXPECT_FALSE(wrong.verified);
    EXPECT_NE(wrong.reason.find("scores"), std::string::npos) << wrong.reason;

    // A run closed before its result is no run to keep.
    press(kVkSpace); // the tally is still running: nothing starts
    ticks(200);
    press(kVkSpace);
    ticks(10);
    host.close();
    EXPECT_EQ(shell.runs.size(), 1u);
}

TEST_F(Behaviour, TheBestRunIsKeptOnlyOnceItsScoreHasGoneIn) {
    const struct {
        std::optional<std::int32_t> best;
        bool refuse;
        bool kept;
    } cases[] = {{std::nullopt, false, true}, {std::nullopt, true, false}, {1 << 30, false, false}};
    for (const auto& c : cases) {
        Player p;
        p.shell.best = c.best;
        p.shell.refuseSaves = c.refuse;
        p.press(kVkSpace);
        p.playUntilTally();
        ASSERT_EQ(p.shell.runs.size(), 1u);
        EXPECT_TRUE(p.shell.bestRuns.empty()) << "not before the tally's save";
        p.ticks(200);
        ASSERT_EQ(p.shell.saves.size(), 1u);
        ASSERT_EQ(p.shell.bestRuns.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_EQ(p.shell.bestRuns[0], p.shell.runs[0]);
        }
    }
}

// A recorded run, and the state and cues of the game that played it, from its
// start to its tally's end.
struct PlayedRun {
    RunRecord run;
    std::vector<GameState> states; // [0] at the start
    std::vector<Cue> cues;
};
PlayedRun playARun() {
    PlayedRun played;
    Player p;
    p.press(kVkSpace);
    const std::size_t cuesBefore = p.shell.cues.size();
    played.states.push_back(p.s());
    for (int i = 0; i < 100000 && p.s().resultPhase != 2; ++i) {
        if (i == 20) {
            p.host.keyDown(kVkLeft);
        }
        p.tick();
        played.states.push_back(p.s());
    }
    played.cues.assign(p.shell.cues.begin() + static_cast<std::ptrdiff_t>(cuesBefore),
                       p.shell.cues.end());
    played.run = p.shell.runs.at(0);
    return played;
}

TEST_F(Behaviour, AWatchedRunShowsWhatTheGameDidAndKeepsNothing) {
    const PlayedRun played = playARun();
    Player w;
    w.shell.best = 5;
    const int reads = w.shell.bestReads;
    const GameState game = w.s();
    w.host.watch(played.run, {.drawControls = false, .escapeCloses = false});
    ASSERT_TRUE(w.host.watching());
    const std::size_t cuesBefore = w.shell.cues.size();
    for (int i = 0; i < 100000 && !w.host.watchStatus()->atEnd; ++i) {
        w.tick();
    }
    const WatchStatus& end = *w.host.watchStatus();
    ASSERT_EQ(end.length + 1, played.states.size());
    EXPECT_TRUE(end.verified);
    EXPECT_EQ(end.verdict, "verified: " + std::to_string(played.run.score) + " points");
    EXPECT_EQ(w.shell.watched, end) << "the shell hears of every change";
    EXPECT_EQ(std::vector<Cue>(w.shell.cues.begin() + static_cast<std::ptrdiff_t>(cuesBefore),
                               w.shell.cues.end()),
              played.cues);
    EXPECT_EQ(w.shell.bestReads, reads);
    EXPECT_TRUE(w.shell.saves.empty());
    EXPECT_TRUE(w.shell.runs.empty());
    EXPECT_EQ(w.tick().untilInput, true) << "an ended watch rests";

    // Seeks and steps land on the game's own state at that step; speeds
    // take their number of steps per period.
    const std::uint32_t mid = end.length / 2;
    w.host.watchSeek(mid);
    EXPECT_TRUE(w.host.watchStatus()->position == mid && !w.host.watchStatus()->playing);
    w.host.watchStep(-1);
    w.host.watchStep(-1);
    w.host.watchStep(1);
    EXPECT_TRUE(w.host.watchStatus()->position == mid - 1);
    w.host.watchSeek(0);
    w.host.watchPlay(true);
    const struct {
        int speed;
        int periods;
        std::uint32_t steps;
    } speeds[] = {{0, 6, 3}, {1, 5, 5}, {2, 5, 10}, {3, 5, 20}};
    for (const auto& c : speeds) {
        const std::uint32_t from = w.host.watchStatus()->position;
        w.host.watchSpeed(c.speed);
        w.ticks(c.periods);
        EXPECT_EQ(w.host.watchStatus()->position - from, c.steps) << "speed " << c.speed;
    }
    w.press(kVkSpace);
    EXPECT_FALSE(w.host.watchStatus()->playing);
    for (const int vk : {kVkRight, kVkRight, kVkLeft}) {
        w.press(vk);
    }
    const std::uint32_t at = w.host.watchStatus()->position;
    EXPECT_EQ(at, 39u);
    EXPECT_TRUE(w.s() == game) << "the game underneath is untouched";
    EXPECT_TRUE(w.tick().untilInput) << "a paused watch rests";

    // Escape, when it does not close, goes back to the game.
    w.press(kVkEscape);
    EXPECT_FALSE(w.host.watching());
    EXPECT_FALSE(w.shell.watched.has_value());
    EXPECT_FALSE(w.shell.endedWith.has_value());
}

TEST_F(Behaviour, TheDrawnWatchControlsAnswerTheMouseAndTellADifferingRun) {
    PlayedRun played = playARun();
    played.run.score += 1;
    host.watch(played.run, {});
    tick();
    EXPECT_NE(host.watchStatus()->verdict.find("scores"), std::string::npos);
    clickAt(kWatchSeekRight, kWatchBarTop + 10);
    EXPECT_TRUE(host.watchStatus()->atEnd);
    clickAt(20, kWatchBarTop + 10); // play: from the start again
    EXPECT_TRUE(host.watchStatus()->playing && host.watchStatus()->position == 0);
    clickAt(70, kWatchBarTop + 10);
    EXPECT_EQ(host.watchStatus()->speed, 2);
    ticks(200);
    clickAt(kWatchSeekLeft, kWatchBarTop + 10); // moving the mouse shows them again
    EXPECT_EQ(host.watchStatus()->position, 0u);

    // A clip: by default the last 10 seconds; marked with I and O, the stretch
    // between, its other end moved when a mark passes it; asked for with G
    // or the bar's button.
    const std::uint32_t length = host.watchStatus()->length;
    press(kVkG);
    host.watchSeek(100);
    press(kVkO);
    host.watchSeek(600);
    press(kVkI);
    clickAt(450, kWatchBarTop + 10);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> clips = {{length - 500, length},
                                                                        {600, 1100}};
    EXPECT_EQ(shell.clips, clips);
    press(kVkEscape);
    EXPECT_EQ(shell.endedWith, 0);
    EXPECT_TRUE(shell.saves.empty());
}

} // namespace
} // namespace nuvalo::test
