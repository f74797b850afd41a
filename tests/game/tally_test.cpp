#include "tests/support/fixtures.h"

#include "persist/best_score.h"

#include <filesystem>

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

class Tally : public InTempDir {
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

    // One composed frame: the tally's state steps.
    void frame() {
        const std::size_t before = platform.sounds.size();
        advanceTally(s);
        tallyCuesAndSave(s, platform);
        ++frames;
        for (std::size_t i = before; i < platform.sounds.size(); ++i) {
            cues.emplace_back(frames, platform.sounds[i]);
        }
    }

    GameState s = finishedRun();
    RecordingPlatform platform;
    int frames = 0;
    std::vector<std::pair<int, std::string>> cues;
};

TEST_F(Tally, RunsFor181FramesWithItsCuesAndSavesAtStep180) {
    for (int i = 0; i < 179; ++i) {
        frame();
    }
    EXPECT_FALSE(std::filesystem::exists("save.dat"));
    frame();
    EXPECT_EQ(readFile("save.dat"), "16234\n");
    frame();
    EXPECT_EQ(s.resultTicks, 181);
    EXPECT_EQ(s.resultPhase, 1);
    EXPECT_EQ(s.running, 1);
    frame();
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_EQ(s.resultTicks, 0);
    EXPECT_EQ(s.running, 0);
    const std::vector<std::pair<int, std::string>> expected = {{60, "Ton/button03.wav"},
                                                               {120, "Ton/button03.wav"},
                                                               {150, "Ton/button03.wav"},
                                                               {180, "Ton/decide04.wav"}};
    EXPECT_EQ(cues, expected);

    // The complete result neither plays nor saves again.
    writeFile("save.dat", "1\n");
    for (int i = 0; i < 300; ++i) {
        frame();
    }
    EXPECT_EQ(cues.size(), expected.size());
    EXPECT_EQ(readFile("save.dat"), "1\n");
    EXPECT_EQ(s.resultPhase, 2);
    EXPECT_EQ(s.resultTicks, 0);
}

TEST_F(Tally, GreaterStoredScoreIsKeptAndNotAnnounced) {
    writeFile("save.dat", "16235\n");
    for (int i = 0; i < 182; ++i) {
        frame();
    }
    EXPECT_EQ(readFile("save.dat"), "16235\n");
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues.back().second, "Ton/button03.wav");
}

TEST_F(Tally, EqualStoredScoreIsWrittenAgainAndAnnounced) {
    writeFile("save.dat", " 16234 old\n");
    for (int i = 0; i < 182; ++i) {
        frame();
    }
    EXPECT_EQ(readFile("save.dat"), "16234\n");
    ASSERT_EQ(cues.size(), 4u);
    EXPECT_EQ(cues.back(), std::make_pair(180, std::string("Ton/decide04.wav")));
}

TEST_F(Tally, SaveThatFailsIsNotAnnounced) {
    std::filesystem::create_directory("save.dat");
    for (int i = 0; i < 182; ++i) {
        frame();
    }
    EXPECT_TRUE(std::filesystem::is_directory("save.dat"));
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(s.resultPhase, 2);
}

} // namespace
} // namespace nuvalo::test
