#include "tests/support/fixtures.h"

namespace nuvalo::test {
namespace {

TEST(Score, IsTruncatedDistancePlusTheBonuses) {
    GameState s;
    s.distance = 234.9f;
    s.targetsDown[0] = 3;
    s.targetsDown[1] = 1;
    EXPECT_EQ(runScore(s), 234 + 3 * 2000 + 10000);
    s.distance = -9.99f;
    s.targetsDown[0] = 0;
    s.targetsDown[1] = 0;
    EXPECT_EQ(runScore(s), -9);
    s.distance = 3.0e12f;
    EXPECT_EQ(runScore(s), 2147483647);
    s.distance = 0.0f;
    s.targetsDown[1] = 2147483647;
    EXPECT_EQ(runScore(s), 2147483647);
}

class Tally : public ::testing::Test {
  protected:
    // A run that has just crashed its way to the result tally.
    static GameState finishedRun() {
        GameState s = quietRun();
        s.crashTimer = 505;
        s.resultPhase = 1;
        s.distance = 234.9f;
        s.targetsDown[0] = 3;
        s.targetsDown[1] = 1;
        return s;
    }

    // One composed frame: the tally's state steps, and what it asks for is noted.
    void frame() {
        Effects out;
        advanceTally(s);
        tallyCuesAndSave(s, out);
        ++frames;
        for (const std::string& file : cueFiles(out)) {
            cues.emplace_back(frames, file);
        }
        if (out.save) {
            saves.emplace_back(frames, *out.save);
        }
    }

    GameState s = finishedRun();
    int frames = 0;
    std::vector<std::pair<int, std::string>> cues;
    std::vector<std::pair<int, SaveRequest>> saves;
};

TEST_F(Tally, RunsFor181FramesWithItsCuesAndAsksToKeepTheScoreAtStep180) {
    for (int i = 0; i < 181; ++i) {
        frame();
    }
    EXPECT_EQ(s.resultTicks, 181);
    EXPECT_EQ(s.resultPhase, 1);
    EXPECT_EQ(s.running, 1);
    frame();
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_EQ(s.resultTicks, 0);
    EXPECT_EQ(s.running, 0);
    const std::vector<std::pair<int, std::string>> expected = {
        {60, "Ton/button03.wav"}, {120, "Ton/button03.wav"}, {150, "Ton/button03.wav"}};
    EXPECT_EQ(cues, expected);
    const std::vector<std::pair<int, SaveRequest>> saved = {{180, SaveRequest{16234, true}}};
    EXPECT_EQ(saves, saved);

    // The complete result neither plays nor saves again.
    for (int i = 0; i < 300; ++i) {
        frame();
    }
    EXPECT_EQ(cues.size(), expected.size());
    EXPECT_EQ(saves.size(), 1u);
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_EQ(s.resultTicks, 0);
}

TEST(UnfinishedTally, IsKeptQuietlyOnlyBeforeTheTallysOwnSave) {
    const struct {
        int phase;
        int ticks;
        bool kept;
    } cases[] = {{1, 0, true}, {1, 179, true}, {1, 180, false}, {2, 0, false}, {0, 0, false}};
    for (const auto& c : cases) {
        GameState s = quietRun();
        s.resultPhase = c.phase;
        s.resultTicks = c.ticks;
        s.distance = 99.9f;
        Effects out;
        saveUnfinishedTally(s, out);
        EXPECT_EQ(out.save.has_value(), c.kept) << c.phase << "/" << c.ticks;
        if (out.save) {
            EXPECT_EQ(*out.save, (SaveRequest{99, false}));
        }
    }
}

} // namespace
} // namespace nuvalo::test
