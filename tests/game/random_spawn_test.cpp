#include "tests/support/fixtures.h"

#include <array>

namespace nuvalo::test {
namespace {

TEST(RandomSource, FollowsTheFixedSequence) {
    GameState r;
    srand(r, 1);
    EXPECT_EQ(rand(r), 130);
    EXPECT_EQ(rand(r), 10982);
    EXPECT_EQ(rand(r), 1090);
    EXPECT_EQ(rand(r), 11656);
    EXPECT_EQ(rand(r), 7117);
    srand(r, 0xFFFFFFFFu);
    EXPECT_EQ(rand(r), 561);
    EXPECT_EQ(rand(r), 22046);
}

TEST(RandomSource, SeedingThrowsOneValueAway) {
    GameState r;
    srand(r, 0);
    EXPECT_EQ(rand(r), 346);
    EXPECT_EQ(rand(r), 130); // the first value seen after srand(1)
}

TEST(RandomSource, EachGameDrawsFromItsOwn) {
    GameState one;
    GameState two;
    srand(one, 1);
    srand(two, 1);
    EXPECT_EQ(rand(one), 130);
    EXPECT_EQ(rand(one), 10982);
    EXPECT_EQ(rand(two), 130);
}

TEST(RandomSource, ValuesAreFifteenBitsAndNeverNegative) {
    GameState r;
    srand(r, 12345);
    int highest = 0;
    for (int i = 0; i < 200000; ++i) {
        const int v = rand(r);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
        highest = std::max(highest, v);
    }
    EXPECT_GT(highest, 32750);
}

// Finds a seed whose next two draws give this chain start and step.
std::uint32_t seedForChain(int startX, int step) {
    for (std::uint32_t seed = 0;; ++seed) {
        GameState r;
        srand(r, seed);
        const int x = rand(r) % 376;
        const int s = (rand(r) % 13 - 6) * 3;
        if (x == startX && s == step) {
            return seed;
        }
    }
}

std::array<int, kStoneCount> chainFor(int startX, int step) {
    GameState s;
    srand(s, seedForChain(startX, step));
    respawnStones(s);
    std::array<int, kStoneCount> xs{};
    for (int i = 0; i < kStoneCount; ++i) {
        EXPECT_EQ(s.stones[i].y, 500 + 50 * i);
        xs[static_cast<std::size_t>(i)] = s.stones[i].x;
    }
    return xs;
}

TEST(StoneChain, ZigzagsAndTurnsOnlyAfterPassingTheBound) {
    using Xs = std::array<int, kStoneCount>;
    EXPECT_EQ(chainFor(100, 18), (Xs{100, 118, 136, 154, 172, 190, 208, 226, 244}));
    EXPECT_EQ(chainFor(350, 18), (Xs{350, 368, 350, 332, 314, 296, 278, 260, 242}));
    EXPECT_EQ(chainFor(370, 18), (Xs{370, 388, 370, 388, 370, 388, 370, 388, 370}));
    EXPECT_EQ(chainFor(0, -18), (Xs{0, -18, 0, -18, 0, -18, 0, -18, 0}));
    // A stone exactly on a bound does not turn the chain.
    EXPECT_EQ(chainFor(329, 18), (Xs{329, 347, 365, 383, 365, 347, 329, 311, 293}));
    EXPECT_EQ(chainFor(46, -18), (Xs{46, 28, 10, -8, 10, 28, 46, 64, 82}));
    EXPECT_EQ(chainFor(211, 0), (Xs{211, 211, 211, 211, 211, 211, 211, 211, 211}));
}

TEST(Placement, StaysInItsRangesAndDrawsOneTargetInFourOfKindOne) {
    GameState s;
    srand(s, 99);
    int kindOne = 0;
    constexpr int kRounds = 40000;
    for (int i = 0; i < kRounds; ++i) {
        respawnBoulder(s);
        respawnTarget(s);
        respawnStones(s);
        ASSERT_GE(s.boulderY, 500);
        ASSERT_LE(s.boulderY, 599);
        ASSERT_GE(s.boulderX, 0);
        ASSERT_LE(s.boulderX, 349);
        ASSERT_GE(s.targetY, 1500);
        ASSERT_LE(s.targetY, 1999);
        ASSERT_GE(s.targetX, 0);
        ASSERT_LE(s.targetX, 374);
        for (const Stone& stone : s.stones) {
            ASSERT_GE(stone.x, -18);
            ASSERT_LE(stone.x, 393);
        }
        kindOne += s.targetKind;
    }
    EXPECT_NEAR(kindOne, kRounds / 4, kRounds / 40);
}

TEST(TargetDrift, BouncesOffTheLeftEdgeAndComesBack) {
    GameState s;
    s.targetKind = 1;
    s.targetX = 14;
    s.targetY = 1000;
    s.driftDir = -1;
    driftTarget(s);
    EXPECT_EQ(s.targetX, 8);
    EXPECT_EQ(s.driftDir, 1);
    driftTarget(s);
    EXPECT_EQ(s.targetX, 14);
}

TEST(TargetDrift, TurnsOnEveryFortyFirstCall) {
    GameState s;
    s.targetX = 200;
    s.targetY = 1000;
    for (int i = 0; i < 40; ++i) {
        driftTarget(s);
    }
    EXPECT_EQ(s.driftDir, 1);
    EXPECT_EQ(s.driftTicks, 40);
    EXPECT_EQ(s.targetX, 320);
    driftTarget(s);
    EXPECT_EQ(s.driftDir, -1);
    EXPECT_EQ(s.driftTicks, 0);
    EXPECT_EQ(s.targetX, 317);
}

TEST(TargetDrift, TimedTurnCanSendItBackToTheSameEdge) {
    GameState s;
    s.targetKind = 0;
    s.targetX = 12;
    s.targetY = 1000;
    s.driftDir = -1;
    s.driftTicks = 38;
    driftTarget(s); // 9: still inside, no bounce
    EXPECT_EQ(s.targetX, 9);
    driftTarget(s); // 6: bounce
    EXPECT_EQ(s.driftDir, 1);
    driftTarget(s); // the timed turn: back towards the edge
    EXPECT_EQ(s.targetX, 3);
    EXPECT_EQ(s.driftDir, 1); // and bounced again
}

} // namespace
} // namespace nuvalo::test
