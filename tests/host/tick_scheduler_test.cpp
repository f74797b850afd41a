#include "host/tick_scheduler.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace nuvalo {
namespace {

constexpr std::uint64_t kNanos = 1'000'000'000; // SDL's counter on Linux
constexpr std::uint64_t kPeriod = kNanos / 50;

// A fake clock and a loop that polls it in small steps, as the game loop
// wakes up, taking every tick that is due.
struct FakeLoop {
    explicit FakeLoop(std::uint64_t frequency, std::uint64_t start = 123'456'789)
        : scheduler(frequency), now(start) {
        scheduler.arm(now);
    }

    // Runs the loop for `duration` counter units, waking every `step`;
    // returns the number of ticks taken.
    int runFor(std::uint64_t duration, std::uint64_t step) {
        const std::uint64_t end = now + duration;
        int ticks = 0;
        while (now < end) {
            now += step;
            if (scheduler.due(now)) {
                lateness = now - scheduler.deadline();
                scheduler.advance(now);
                ++ticks;
            }
        }
        return ticks;
    }

    TickScheduler scheduler;
    std::uint64_t now;
    std::uint64_t lateness = 0;
};

TEST(TickScheduler, FirstTickFallsOnePeriodAfterArming) {
    TickScheduler scheduler(kNanos);
    EXPECT_FALSE(scheduler.due(0));
    EXPECT_FALSE(scheduler.due(~std::uint64_t{0})) << "an unarmed timer never fires";
    scheduler.arm(1000);
    EXPECT_EQ(scheduler.deadline(), 1000 + kPeriod);
    EXPECT_FALSE(scheduler.due(1000 + kPeriod - 1));
    EXPECT_TRUE(scheduler.due(1000 + kPeriod));
    EXPECT_EQ(scheduler.remaining(1000), kPeriod);
    EXPECT_EQ(scheduler.remaining(1000 + kPeriod + 5), 0u);
}

TEST(TickScheduler, TenThousandLateTicksDoNotDrift) {
    // Every tick is taken up to 3 ms late; deadlines stay on the grid.
    TickScheduler scheduler(kNanos);
    const std::uint64_t origin = 5'000'000'000;
    scheduler.arm(origin);
    std::uint64_t state = 12345;
    for (int i = 1; i <= 10'000; ++i) {
        ASSERT_EQ(scheduler.deadline(), origin + static_cast<std::uint64_t>(i) * kPeriod);
        state = state * 6364136223846793005u + 1442695040888963407u;
        const std::uint64_t late = (state >> 33) % 3'000'000;
        scheduler.advance(scheduler.deadline() + late);
    }
    EXPECT_EQ(scheduler.deadline(), origin + 10'001 * kPeriod);
    EXPECT_EQ(scheduler.skipped(), 0u);
}

TEST(TickScheduler, OddCounterFrequenciesDoNotDriftEither) {
    // 3.579545 MHz does not divide by 50; adding a rounded period would lose
    // a tick's worth every few hours.
    constexpr std::uint64_t kAcpi = 3'579'545;
    FakeLoop loop(kAcpi, 0);
    const int ticks = loop.runFor(200 * kAcpi, 997); // 200 s
    EXPECT_EQ(ticks, 10'000);
    EXPECT_EQ(loop.scheduler.deadline(), 10'001 * kAcpi / 50);
}

TEST(TickScheduler, PeriodHoldsOverTenThousandTicksOfAPolledLoop) {
    FakeLoop loop(kNanos);
    const std::uint64_t start = loop.now;
    const int ticks = loop.runFor(10'000 * kPeriod, 250'000); // wakes every 0.25 ms
    EXPECT_EQ(ticks, 10'000);
    EXPECT_EQ(loop.scheduler.deadline(), start + 10'001 * kPeriod);
    EXPECT_LT(loop.lateness, 250'000u);
}

TEST(TickScheduler, ResumesWithoutBurstAfterTwoSecondStall) {
    FakeLoop loop(kNanos);
    ASSERT_EQ(loop.runFor(10 * kPeriod, 100'000), 10);
    const std::uint64_t gridOrigin = loop.scheduler.deadline() - 11 * kPeriod;

    loop.now += 2 * kNanos + 7'000'000; // the window was dragged for 2 s
    ASSERT_TRUE(loop.scheduler.due(loop.now));
    loop.scheduler.advance(loop.now); // the one late tick
    // The next tick is on the original grid and within one period.
    EXPECT_GT(loop.scheduler.deadline(), loop.now);
    EXPECT_LE(loop.scheduler.deadline() - loop.now, kPeriod);
    EXPECT_EQ((loop.scheduler.deadline() - gridOrigin) % kPeriod, 0u);
    EXPECT_EQ(loop.scheduler.skipped(), 99u) << "deadlines 12 to 110 fell inside the stall";

    // No burst: the next 100 ms hold five ticks, as any other 100 ms do.
    EXPECT_EQ(loop.runFor(5 * kPeriod, 100'000), 5);
}

TEST(TickScheduler, PassingOverARestKeepsTheGridAndCountsNothingSkipped) {
    TickScheduler scheduler(kNanos);
    scheduler.arm(0);
    scheduler.passOver(kPeriod - 1); // nothing due yet: nothing moves
    EXPECT_EQ(scheduler.deadline(), kPeriod);
    scheduler.passOver(3 * kNanos + 5); // slept through 150 no-op ticks
    EXPECT_EQ(scheduler.deadline(), 151 * kPeriod);
    scheduler.passOver(151 * kPeriod); // a deadline reached exactly is passed too
    EXPECT_EQ(scheduler.deadline(), 152 * kPeriod);
    EXPECT_EQ(scheduler.skipped(), 0u);
}

TEST(TickScheduler, ATickLateByLessThanAPeriodKeepsTheNextDeadline) {
    TickScheduler scheduler(kNanos);
    scheduler.arm(0);
    scheduler.advance(kPeriod + kPeriod - 1); // 19.999 ms late
    EXPECT_EQ(scheduler.deadline(), 2 * kPeriod);
    EXPECT_EQ(scheduler.skipped(), 0u);
    scheduler.advance(2 * kPeriod + kPeriod); // exactly a period late
    EXPECT_EQ(scheduler.deadline(), 4 * kPeriod);
    EXPECT_EQ(scheduler.skipped(), 1u);
}

TEST(TickScheduler, ArmingAgainRestartsThePeriod) {
    FakeLoop loop(kNanos, 0);
    ASSERT_EQ(loop.runFor(3 * kPeriod + 7'000'000, 1'000'000), 3);
    loop.scheduler.arm(loop.now); // 7 ms into a period
    EXPECT_EQ(loop.scheduler.deadline(), loop.now + kPeriod);
    const std::uint64_t armedAt = loop.now;
    ASSERT_EQ(loop.runFor(10 * kPeriod, 1'000'000), 10);
    EXPECT_EQ(loop.scheduler.deadline(), armedAt + 11 * kPeriod);
}

} // namespace
} // namespace nuvalo
