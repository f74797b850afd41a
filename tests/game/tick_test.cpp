#include "tests/support/fixtures.h"

#include <cstdlib>
#include <cstring>

namespace nuvalo::test {
namespace {

TEST(RunStart, DrawsSevenValuesInTheFixedOrder) {
    GameState s;
    srand(s, 7);
    GameState drawn = s;
    int d[8];
    for (int& v : d) {
        v = rand(drawn);
    }
    Effects out;
    startRun(s, 0.0f, out);
    EXPECT_EQ(s.boulderY, 500 + d[0] % 100);
    EXPECT_EQ(s.boulderX, d[1] % 350);
    EXPECT_EQ(s.targetY, 1500 + d[2] % 500);
    EXPECT_EQ(s.targetX, d[3] % 375);
    EXPECT_EQ(s.targetKind, d[4] % 4 == 0 ? 1 : 0);
    EXPECT_EQ(s.stones[0].x, d[5] % 376);
    EXPECT_EQ(s.stones[1].x - s.stones[0].x, (d[6] % 13 - 6) * 3);
    EXPECT_EQ(rand(s), d[7]);
}

TEST(RunStart, ResetsTheRunButKeepsDriftTallyCounterAndInput) {
    GameState s = quietRun();
    s.crashTimer = 505;
    s.resultPhase = 2;
    s.running = 0;
    s.targetsDown[0] = 3;
    s.targetsDown[1] = 2;
    s.driftTicks = 23;
    s.driftDir = -1;
    s.resultTicks = 9;
    s.leftHeld = 1;
    s.steer = -1;
    s.mouseX = 470;
    s.mouseY = 60;
    Effects out;
    startRun(s, 777.0f, out);
    EXPECT_EQ(s.running, 1);
    EXPECT_EQ(s.crashTimer, 0);
    EXPECT_EQ(s.resultPhase, 0);
    EXPECT_EQ(s.starX, 200);
    EXPECT_EQ(s.starY, -20);
    EXPECT_EQ(s.targetsDown[0], 0);
    EXPECT_EQ(s.targetsDown[1], 0);
    EXPECT_EQ(s.distance, 0.0f);
    EXPECT_EQ(s.speed, 5.0f);
    EXPECT_EQ(s.bestScore, 777.0f);
    EXPECT_EQ(s.driftTicks, 23);
    EXPECT_EQ(s.driftDir, -1);
    EXPECT_EQ(s.resultTicks, 9);
    EXPECT_EQ(s.leftHeld, 1);
    EXPECT_EQ(s.steer, -1);
    EXPECT_EQ(s.mouseX, 470);
    EXPECT_EQ(s.mouseY, 60);
    EXPECT_TRUE(out.timerArmed);
    for (int i = 0; i < kStoneCount; ++i) {
        EXPECT_EQ(s.stones[i].y, 500 + 50 * i);
    }
}

TEST(RunStart, FirstTicksFallIntoView) {
    GameState s;
    srand(s, 3);
    Effects out;
    startRun(s, 0.0f, out);
    const GameState placed = s;
    gameTick(s, out);
    EXPECT_EQ(s.distance, 5.0f);
    EXPECT_EQ(s.speed, static_cast<float>(5.0 + 0.01));
    EXPECT_EQ(s.starY, -15);
    EXPECT_EQ(s.boulderY, placed.boulderY - 5);
    EXPECT_EQ(s.targetY, placed.targetY - 5);
    EXPECT_EQ(s.stones[8].y, placed.stones[8].y - 5);
    gameTick(s, out);
    EXPECT_EQ(s.distance, 5.0f + static_cast<float>(5.0 + 0.01));
    EXPECT_FLOAT_EQ(s.distance, 10.01f);
    EXPECT_EQ(s.starY, -9); // trunc(-9.99) toward zero
    for (int tick = 3; tick < 20; ++tick) {
        gameTick(s, out);
        ASSERT_LT(s.starY, 80) << "tick " << tick;
    }
    gameTick(s, out);
    EXPECT_EQ(s.starY, 80);
    EXPECT_NEAR(s.distance, 101.9f, 1e-3);
    EXPECT_TRUE(out.cueCount == 0);
}

TEST(Tick, DoesNothingWhileHalted) {
    GameState s = quietRun();
    s.running = 0;
    s.steer = 1;
    const GameState before = s;
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
}

TEST(Tick, SpeedFirstPassesTwentyInTick1500AndIsCappedAfterTheRise) {
    GameState s = quietRun();
    Effects out;
    for (int tick = 1; tick < 1500; ++tick) {
        gameTick(s, out);
        ASSERT_LT(s.speed, 20.0f) << "tick " << tick;
    }
    int y = s.stones[0].y;
    gameTick(s, out);
    EXPECT_EQ(y - s.stones[0].y, 20);
    EXPECT_EQ(s.speed, 20.0f);
    const float distance = s.distance;
    y = s.stones[0].y;
    gameTick(s, out);
    EXPECT_EQ(y - s.stones[0].y, 20);
    EXPECT_EQ(s.distance, distance + 20.0f);
    EXPECT_EQ(s.speed, 20.0f);
}

TEST(Tick, SteeringStopsAtThePlayfieldEdges) {
    GameState s = quietRun();
    Effects out;
    s.steer = -1;
    s.starX = 13;
    gameTick(s, out);
    EXPECT_EQ(s.starX, 12);
    gameTick(s, out);
    EXPECT_EQ(s.starX, 12);
    s.steer = 1;
    s.starX = 386;
    gameTick(s, out);
    EXPECT_EQ(s.starX, 388);
    s.steer = 0;
    gameTick(s, out);
    EXPECT_EQ(s.starX, 388);
}

TEST(Collision, BoxEdgesAreOutside) {
    GameState s = quietRun();
    s.stones[4] = {100, 300};
    const struct {
        int x, y, expected;
    } stonePoints[] = {{125, 310, kNothing},  {124, 310, kObstacle}, {100, 310, kNothing},
                       {101, 310, kObstacle}, {110, 300, kNothing},  {110, 301, kObstacle},
                       {110, 325, kNothing},  {110, 324, kObstacle}};
    for (const auto& p : stonePoints) {
        s.starX = p.x;
        s.starY = p.y;
        EXPECT_EQ(checkCollision(s), p.expected) << p.x << "," << p.y;
    }
    s.boulderX = 200;
    s.boulderY = 100;
    s.starX = 249;
    s.starY = 149;
    EXPECT_EQ(checkCollision(s), kObstacle);
    s.starX = 250;
    EXPECT_EQ(checkCollision(s), kNothing);
    s.targetX = 20;
    s.targetY = 20;
    s.starX = 44;
    s.starY = 21;
    EXPECT_EQ(checkCollision(s), kTarget);
    s.starY = 20;
    EXPECT_EQ(checkCollision(s), kNothing);
}

TEST(Collision, ObstacleWinsOverTheTarget) {
    GameState s = quietRun();
    s.stones[2] = {190, 70 + 5};
    s.targetX = 190;
    s.targetY = 70 + 5;
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(cueFiles(out), std::vector<std::string>{"Ton/ball01.wav"});
    EXPECT_EQ(s.crashTimer, 1);
    EXPECT_EQ(s.targetsDown[0], 0);
    EXPECT_EQ(s.targetsDown[1], 0);
    EXPECT_EQ(s.targetY, 70); // not taken, so not put back
}

TEST(Collision, TakingATargetSlowsTheStarAndPlacesANewOne) {
    GameState s = quietRun();
    s.speed = 8.49f;
    s.targetX = 190;
    s.targetY = 70 + 8;
    srand(s, 42);
    GameState drawn = s;
    const int y = rand(drawn);
    const int x = rand(drawn);
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(cueFiles(out), std::vector<std::string>{"Ton/magic01.wav"});
    EXPECT_EQ(s.speed, static_cast<float>(static_cast<double>(8.49f) + 0.01) - 3.0f);
    EXPECT_NEAR(s.speed, 5.5f, 1e-5);
    EXPECT_EQ(s.targetsDown[0], 1);
    EXPECT_EQ(s.crashTimer, 0);
    // Placed at once, undrifted; it drifts from the next tick on.
    EXPECT_EQ(s.targetY, 1500 + y % 500);
    EXPECT_EQ(s.targetX, x % 375);
    gameTick(s, out);
    EXPECT_EQ(std::abs(s.targetX - x % 375), 3 * (s.targetKind + 1));
}

TEST(Collision, KindOneTargetCostsSixAndCountsSeparately) {
    GameState s = quietRun();
    s.speed = 5.49f;
    s.targetX = 190;
    s.targetY = 70 + 5;
    s.targetKind = 1;
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(s.targetsDown[1], 1);
    EXPECT_EQ(s.targetsDown[0], 0);
    EXPECT_NEAR(s.speed, -0.5f, 1e-5);
}

TEST(LowSpeed, WorldStandsStillFor150TicksWhileTheDistanceShrinksThenGrows) {
    GameState s = quietRun();
    s.speed = -0.5f;
    s.targetKind = 1;
    s.targetY = 300; // in view: it keeps climbing
    s.boulderY = 400;
    s.boulderX = 0;
    Effects out;
    const float start = s.distance;
    float previous = s.distance;
    for (int tick = 1; tick <= 150; ++tick) {
        gameTick(s, out);
        ASSERT_EQ(s.boulderY, 400) << "tick " << tick;
        ASSERT_EQ(s.targetY, 300 - 2 * tick) << "tick " << tick;
        if (tick <= 50) {
            ASSERT_LT(s.distance, previous) << "tick " << tick;
        }
        if (tick == 50) {
            EXPECT_NEAR(s.distance, start - 12.75f, 5e-3);
            // Each step adds the double 0.01 and rounds once to float; adding
            // a float 0.01 would have drifted to -0x1.ap-23 by now.
            EXPECT_EQ(s.speed, -0x1.87851ep-23f);
        }
        if (tick > 52) {
            ASSERT_GT(s.distance, previous) << "tick " << tick;
        }
        previous = s.distance;
    }
    gameTick(s, out);
    EXPECT_EQ(s.boulderY, 399);
    EXPECT_TRUE(out.cueCount == 0);
}

TEST(LowSpeed, NegativeRiseMovesEverythingDown) {
    GameState s = quietRun();
    s.speed = -3.5f;
    s.stones[8].y = -29;
    s.boulderY = 200;
    s.targetY = 1000;
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(s.boulderY, 203); // speed -3.49 rises by trunc = -3
    EXPECT_EQ(s.targetY, 1003);
    EXPECT_EQ(s.stones[8].y, -26);
    EXPECT_LT(s.distance, 1000.0f);
}

TEST(Recycling, HappensOnlyAboveMinusThirtyInTheFixedDrawOrder) {
    GameState s = quietRun();
    s.boulderY = -25; // rises to -30: stays
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(s.boulderY, -30);

    s = quietRun();
    s.speed = 4.995f; // grows to 5.005: a rise of 5
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i].y = -426 + 50 * i; // the lowest reaches -31
    }
    s.boulderY = -26;
    s.targetY = -26;
    srand(s, 11);
    GameState drawn = s;
    int d[7];
    for (int& v : d) {
        v = rand(drawn);
    }
    gameTick(s, out);
    EXPECT_EQ(s.stones[0].x, d[0] % 376);
    EXPECT_EQ(s.stones[0].y, 500);
    EXPECT_EQ(s.boulderY, 500 + d[2] % 100);
    EXPECT_EQ(s.boulderX, d[3] % 350);
    EXPECT_EQ(s.targetY, 1500 + d[4] % 500);
    EXPECT_EQ(s.targetKind, d[6] % 4 == 0 ? 1 : 0);
}

TEST(Recycling, KindOneClimbIsTestedOnThePositionLeftByTheRise) {
    GameState s = quietRun();
    s.targetKind = 1;
    s.targetY = 455;
    s.speed = 4.995f; // rise 5
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(s.targetY, 450);
    s = quietRun();
    s.targetKind = 1;
    s.targetY = 455;
    s.speed = 5.995f; // rise 6
    gameTick(s, out);
    EXPECT_EQ(s.targetY, 447);
}

// Ticks from the hit until the result tally begins.
int ticksToResult(float speed, GameState* after = nullptr) {
    GameState s = quietRun();
    s.crashTimer = 1;
    s.speed = speed;
    s.steer = 1;
    Effects out;
    int ticks = 0;
    while (s.resultPhase == 0 && ticks < 100000) {
        gameTick(s, out);
        ++ticks;
    }
    if (after != nullptr) {
        *after = s;
    }
    return ticks;
}

TEST(Crash, SequenceLengthFollowsTheFrozenSpeed) {
    GameState after;
    EXPECT_EQ(ticksToResult(10.5f, &after), 54);
    EXPECT_EQ(after.crashTimer, 505);
    EXPECT_EQ(ticksToResult(10.0f), 54);
    EXPECT_EQ(ticksToResult(20.0f, &after), 29);
    EXPECT_EQ(after.crashTimer, 505);
}

TEST(Crash, FreezesTheStarAndSkipsTheCollisionTest) {
    GameState s = quietRun();
    s.crashTimer = 1;
    s.speed = 7.25f;
    s.steer = -1;
    s.targetX = 190;
    s.targetY = 70 + 7; // the star's point would be inside after the rise
    Effects out;
    gameTick(s, out);
    EXPECT_EQ(s.crashTimer, 2);
    EXPECT_EQ(s.starX, 200);
    EXPECT_EQ(s.distance, 1000.0f);
    EXPECT_EQ(s.speed, 7.25f);
    EXPECT_EQ(s.targetY, 70);
    EXPECT_EQ(s.targetsDown[0], 0);
    EXPECT_TRUE(out.cueCount == 0);
    for (int i = 0; i < 4; ++i) {
        gameTick(s, out);
    }
    EXPECT_EQ(s.crashTimer, 12); // 5, then trunc(5 + 7.25)
}

TEST(Crash, EndsEvenWhenTheSpeedIsBelowOne) {
    // Such a crash runs like one at speed 1: 4 ticks to reach 5, then 496 more.
    EXPECT_EQ(ticksToResult(1.0f), 500);
    EXPECT_EQ(ticksToResult(0.5f), 500);
    EXPECT_EQ(ticksToResult(0.0f), 500);
    EXPECT_EQ(ticksToResult(-4.0f), 500);
}

} // namespace
} // namespace nuvalo::test
