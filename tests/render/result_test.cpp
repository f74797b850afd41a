// The result screen: the reveal timeline, the score build-up, the badge, and
// the tally's cues and save as composed frames drive them.

#include "game/game.h"
#include "render/cells.h"
#include "render/render.h"
#include "support.h"
#include "tests/support/doubles.h"

#include <gtest/gtest.h>

#include <string>

namespace nuvalo {
namespace {

using test::frame;
using test::isFilled;
using test::placesAt;
using test::resources;
using test::showsCell;
using test::showsText;

constexpr const char* kTitle = "\x8C\x8B\x89\xCA";
constexpr const char* kDistanceLabel = "\x97\x8E\x89\xBA\x8B\x97\x97\xA3";
constexpr const char* kScoreLabel = "\x93\xBE\x93\x5F";
constexpr const char* kPoints = "\x93\x5F";
constexpr const char* kTargetsLabel = "\x8C\x82\x92\xC4\x90\x94";
constexpr const char* kTimes2000 = "\x81\x7E\x32\x30\x30\x30\x93\x5F";
constexpr const char* kTimes10000 = "\x81\x7E\x31\x30\x30\x30\x30\x93\x5F";

GameState finishedRun(float distance, int kind0, int kind1, float best) {
    GameState s = test::emptyField();
    s.crashTimer = 512;
    s.resultPhase = 1;
    s.resultTicks = 0;
    s.distance = distance;
    s.targetsDown[0] = kind0;
    s.targetsDown[1] = kind1;
    s.bestScore = best;
    return s;
}

// Composes the tally frame of step `ticks`.
GameState frameAtTick(int ticks, float distance = 234.9f, int kind0 = 3, int kind1 = 1) {
    GameState s = finishedRun(distance, kind0, kind1, 0.0f);
    s.resultTicks = ticks;
    test::compose(s);
    return s;
}

GameState completeFrame(float distance, int kind0, int kind1, float best) {
    GameState s = finishedRun(distance, kind0, kind1, best);
    s.resultPhase = 2;
    s.running = 0;
    test::compose(s);
    return s;
}

struct Visible {
    bool labels;   // distance and score labels
    bool numbers;  // distance with its unit, score with "点"
    bool targets;  // "撃墜数"
    bool kind0Row; // icon, count, "×2000点"
    bool kind1Row; // icon, count, "×10000点"
    bool badge;
};

// Expects each part either drawn exactly or absent (white).
void expectShows(const Visible& v, const char* when) {
    const GdiResources& gdi = resources();
    const Surface f = frame();
    const auto textIf = [&](bool shown, int x, int y, const char* text) {
        if (shown) {
            EXPECT_TRUE(showsText(f, x, y, text)) << when << ": text at " << x << "," << y;
        } else {
            EXPECT_TRUE(isFilled(f, x, y, x + test::textWidth(text), y + 16, kWhite))
                << when << ": text at " << x << "," << y;
        }
    };
    const auto cellIf = [&](bool shown, int x, int y, const Bitmap& sheet, Cell c) {
        if (shown) {
            EXPECT_TRUE(showsCell(f, x, y, sheet, c)) << when << ": cell at " << x << "," << y;
        } else {
            EXPECT_TRUE(isFilled(f, x, y, x + c.w, y + c.h, kWhite))
                << when << ": cell at " << x << "," << y;
        }
    };
    EXPECT_TRUE(showsText(f, 180, 50, kTitle)) << when;
    textIf(v.labels, 120, 100, kDistanceLabel);
    textIf(v.labels, 120, 300, kScoreLabel);
    cellIf(v.numbers, 250, 120, gdi.botanSheet, cells::kUnitKm);
    textIf(v.numbers, 250, 320, kPoints);
    if (!v.numbers) {
        EXPECT_EQ(placesAt(f, 230, 120, 6), "      ") << when;
        EXPECT_EQ(placesAt(f, 230, 320, 6), "      ") << when;
    }
    textIf(v.targets, 120, 170, kTargetsLabel);
    cellIf(v.kind0Row, 165, 202, gdi.steinSheet, cells::targetIcon(0));
    textIf(v.kind0Row, 250, 200, kTimes2000);
    cellIf(v.kind1Row, 165, 242, gdi.steinSheet, cells::targetIcon(1));
    textIf(v.kind1Row, 250, 240, kTimes10000);
    if (!v.kind0Row) {
        EXPECT_EQ(placesAt(f, 230, 200, 2), "  ") << when;
    }
    if (!v.kind1Row) {
        EXPECT_EQ(placesAt(f, 230, 240, 2), "  ") << when;
    }
    cellIf(v.badge, 270, 350, gdi.botanSheet, cells::kBadgeLeft);
    cellIf(v.badge, 304, 350, gdi.botanSheet, cells::kBadgeRight);
    // Nothing else is drawn on the result screen.
    EXPECT_TRUE(isFilled(f, 0, 0, 400, 50, kWhite)) << when;
    EXPECT_TRUE(isFilled(f, 0, 370, 400, 450, kWhite)) << when;
    EXPECT_TRUE(isFilled(f, 0, 0, 120, 450, kWhite)) << when;
}

TEST(ResultTimeline, LinesAppearStepByStep) {
    frameAtTick(1);
    expectShows({false, false, false, false, false, false}, "tick 1");
    frameAtTick(30);
    expectShows({false, false, false, false, false, false}, "tick 30");
    frameAtTick(31);
    expectShows({true, false, false, false, false, false}, "tick 31");
    frameAtTick(60);
    expectShows({true, false, false, false, false, false}, "tick 60");
    frameAtTick(61);
    expectShows({true, true, false, false, false, false}, "tick 61");
    frameAtTick(91);
    expectShows({true, true, true, false, false, false}, "tick 91");
    frameAtTick(121);
    expectShows({true, true, true, true, false, false}, "tick 121");
    frameAtTick(151);
    expectShows({true, true, true, true, true, false}, "tick 151");
    frameAtTick(181); // the last tally frame: still no badge
    expectShows({true, true, true, true, true, false}, "tick 181");
    completeFrame(234.9f, 3, 1, 0.0f);
    expectShows({true, true, true, true, true, true}, "complete");
}

TEST(ResultTimeline, ScoreGrowsAsTheBonusRowsAppear) {
    const Surface f = frame();
    for (const int tick : {61, 120}) {
        frameAtTick(tick);
        EXPECT_EQ(placesAt(f, 230, 120, 6), "   234") << tick;
        EXPECT_EQ(placesAt(f, 230, 320, 6), "   234") << tick;
    }
    for (const int tick : {121, 150}) {
        frameAtTick(tick);
        EXPECT_EQ(placesAt(f, 230, 320, 6), "  6234") << tick;
        EXPECT_EQ(placesAt(f, 230, 200, 2), "03") << tick;
    }
    for (const int tick : {151, 181}) {
        frameAtTick(tick);
        EXPECT_EQ(placesAt(f, 230, 320, 6), " 16234") << tick;
        EXPECT_EQ(placesAt(f, 230, 240, 2), "01") << tick;
    }
    completeFrame(234.9f, 3, 1, 0.0f);
    EXPECT_EQ(placesAt(f, 230, 320, 6), " 16234");
}

TEST(ResultTimeline, TwoPlacesAlwaysAndThresholdsOnTheUntruncatedValue) {
    const Surface f = frame();
    completeFrame(5.7f, 0, 0, 0.0f);
    EXPECT_EQ(placesAt(f, 230, 120, 6), "    05");
    EXPECT_EQ(placesAt(f, 230, 320, 6), "    05");
    completeFrame(99.5f, 0, 0, 0.0f);
    EXPECT_EQ(placesAt(f, 230, 120, 6), "   099");
    EXPECT_EQ(placesAt(f, 230, 320, 6), "   099");
    completeFrame(10.0f, 12, 0, 0.0f);
    EXPECT_EQ(placesAt(f, 230, 200, 2), "12");
    EXPECT_EQ(placesAt(f, 230, 320, 6), " 24010");
    // A negative distance (a run that went up): the ones place has a negative
    // remainder and stays blank, the always-shown tens place is a true 0.
    completeFrame(-3.5f, 0, 0, 0.0f);
    EXPECT_EQ(placesAt(f, 230, 120, 6), "    0 ");
}

TEST(ResultBadge, OnlyForAScoreAboveTheBestAndOnlyWhenComplete) {
    const GdiResources& gdi = resources();
    const auto badgeShown = [&] {
        return showsCell(frame(), 270, 350, gdi.botanSheet, cells::kBadgeLeft) &&
               showsCell(frame(), 304, 350, gdi.botanSheet, cells::kBadgeRight);
    };
    const auto badgeAbsent = [&] { return isFilled(frame(), 270, 350, 338, 370, kWhite); };
    completeFrame(234.9f, 3, 1, 16234.0f); // equal: no badge
    EXPECT_TRUE(badgeAbsent());
    completeFrame(234.9f, 3, 1, 16233.0f);
    EXPECT_TRUE(badgeShown());
    completeFrame(234.9f, 3, 1, 16233.5f); // compared in floating point
    EXPECT_TRUE(badgeShown());
    completeFrame(5.7f, 0, 0, 5.0f); // 5 is not above 5.0
    EXPECT_TRUE(badgeAbsent());
    completeFrame(0.0f, 0, 0, -1.0f);
    EXPECT_TRUE(badgeShown());
    // The two halves join without a gap.
    EXPECT_EQ(cells::kBadgeLeft.w, 304 - 270);
}

// One paint: the tally's step and what it asks for, then the frame.
void paint(GameState& s, Effects& out) {
    advanceTally(s);
    tallyCuesAndSave(s, out);
    test::compose(s);
}

// Paints until the tally completes; returns each cue and save asked for, with
// the resultTicks of the paint that asked.
std::vector<std::pair<int, std::string>> runTally(GameState& s) {
    std::vector<std::pair<int, std::string>> asked;
    for (int frameNo = 1; frameNo <= 182; ++frameNo) {
        Effects out;
        paint(s, out);
        for (const std::string& file : test::cueFiles(out)) {
            asked.emplace_back(s.resultTicks, file);
        }
        if (out.save) {
            asked.emplace_back(s.resultTicks, "save " + std::to_string(out.save->score));
        }
        if (frameNo <= 181) {
            EXPECT_EQ(s.resultTicks, frameNo);
            EXPECT_EQ(s.resultPhase, 1);
        }
    }
    return asked;
}

TEST(ResultTally, CuesAndTheSaveComeOnTheirStepsThenItHalts) {
    GameState s = finishedRun(234.9f, 3, 1, 0.0f);
    const auto asked = runTally(s);
    const std::vector<std::pair<int, std::string>> want = {{60, "Ton/button03.wav"},
                                                           {120, "Ton/button03.wav"},
                                                           {150, "Ton/button03.wav"},
                                                           {180, "save 16234"}};
    EXPECT_EQ(asked, want);
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_EQ(s.running, 0);
    EXPECT_EQ(s.resultTicks, 0);
    expectShows({true, true, true, true, true, true}, "after the tally");

    // The complete screen is redrawn unchanged, silently, without saving.
    for (int i = 0; i < 3; ++i) {
        Effects out;
        paint(s, out);
        EXPECT_EQ(out.cueCount, 0);
        EXPECT_FALSE(out.save.has_value());
    }
    EXPECT_EQ(s.resultPhase, 2);
    expectShows({true, true, true, true, true, true}, "complete, redrawn");
}

TEST(ResultTally, TheBadgeNeedsAScoreAboveTheBestReadAtRunStart) {
    GameState equal = finishedRun(234.9f, 3, 1, 16234.0f);
    runTally(equal);
    expectShows({true, true, true, true, true, false}, "equal score");
    GameState oneLess = finishedRun(234.9f, 3, 1, 16233.0f);
    runTally(oneLess);
    expectShows({true, true, true, true, true, true}, "one less stored");
}

TEST(ResultTally, ANewRunBringsThePlayfieldBack) {
    GameState s = finishedRun(234.9f, 3, 1, 0.0f);
    s.resultPhase = 2;
    s.running = 0;
    Effects out;
    startRun(s, 0.0f, out);
    test::compose(s);
    // Black, with the run's objects still below it.
    EXPECT_TRUE(isFilled(frame(), 0, 0, 400, 450, kBlack));
}

} // namespace
} // namespace nuvalo
