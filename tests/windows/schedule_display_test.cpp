// The shell's platform-neutral arithmetic: tick deadlines and frame scaling.
#include "app/tick_scheduler.h"
#include "app/win32/display.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace nuvalo::win32 {
namespace {

constexpr std::uint64_t kCounts = 1'000'000; // a counter of microseconds
constexpr std::uint64_t kPeriod = 20'000;    // 20 ms
constexpr std::uint64_t kMs = 1'000;

TEST(TickSchedule, FirstTickFallsDueOnePeriodAfterArmingAndNeverEarly) {
    TickScheduler s(kCounts);
    EXPECT_FALSE(s.armed());
    EXPECT_FALSE(s.take(1'000'000)); // not armed: no tick at all

    s.arm(1'000'000);
    EXPECT_TRUE(s.armed());
    EXPECT_EQ(s.remaining(1'000'000), kPeriod);
    EXPECT_FALSE(s.take(1'000'000 + kPeriod - 1));
    EXPECT_TRUE(s.take(1'000'000 + kPeriod));
    EXPECT_FALSE(s.take(1'000'000 + kPeriod)); // one tick per deadline
    EXPECT_EQ(s.remaining(1'000'000 + kPeriod), kPeriod);
}

TEST(TickSchedule, LateWakeUpsShortenTheNextWaitSoTheMeanStaysExact) {
    TickScheduler s(kCounts);
    s.arm(0);
    // Every wake-up comes 0 to 15.6 ms late, as with a coarse system timer;
    // the deadlines stay on the grid.
    std::uint64_t now = 0;
    int ticks = 0;
    for (std::uint64_t i = 0; i < 5000; ++i) {
        now += s.remaining(now) + (i * 7919) % 15'600;
        ASSERT_TRUE(s.take(now));
        ++ticks;
        ASSERT_GT(s.remaining(now), 0u) << "a late wake-up must not leave a tick due at once";
    }
    // 5000 ticks in 5000 periods, give or take the last wake-up's lateness.
    EXPECT_GE(now, 5000 * kPeriod);
    EXPECT_LT(now, 5000 * kPeriod + 15'600);
    EXPECT_EQ(ticks, 5000);
}

TEST(TickSchedule, AStallBringsOneLateTickAndTheGridGoesOn) {
    // The thread is held up right after the tick due at 100 ms, which came
    // 0.3 ms late (a save inside the paint, a sound system waking up, a
    // suspended machine). No catch-up burst: one late tick on waking, the
    // next on the next deadline of the grid that has not passed.
    struct Stall {
        std::uint64_t ms;
        int ticksOnWaking;
        std::uint64_t nextTickMs;
    };
    const Stall stalls[] = {
        {5, 0, 120}, // within the period: nothing is late
        {25, 1, 140},
        {90, 1, 200},
        {300, 1, 420},
    };
    for (const Stall& stall : stalls) {
        SCOPED_TRACE(stall.ms);
        TickScheduler s(kCounts);
        s.arm(0);
        std::uint64_t now = 0;
        for (int i = 0; i < 5; ++i) {
            now += s.remaining(now) + 3 * kMs / 10;
            ASSERT_TRUE(s.take(now));
        }
        now += stall.ms * kMs;
        int onWaking = 0;
        while (s.take(now)) {
            ++onWaking;
        }
        EXPECT_EQ(onWaking, stall.ticksOnWaking);
        EXPECT_EQ(s.deadline(), stall.nextTickMs * kMs);

        // Then one tick per period on the same grid, the loop waking every
        // quarter millisecond: 50 in the next second.
        int ticks = 0;
        for (const std::uint64_t end = now + kCounts; now < end;) {
            now += kMs / 4;
            ticks += s.take(now) ? 1 : 0;
        }
        EXPECT_EQ(ticks, 50);
        EXPECT_EQ(s.deadline() % kPeriod, 0u);
    }
}

TEST(TickSchedule, ArmingAgainRestartsThePeriodAndDisarmingEndsTicks) {
    TickScheduler s(kCounts);
    s.arm(0);
    EXPECT_TRUE(s.take(kPeriod));
    s.arm(kPeriod + 15'000); // a run starts 15 ms into a period
    EXPECT_FALSE(s.take(2 * kPeriod));
    EXPECT_EQ(s.remaining(kPeriod + 15'000), kPeriod);
    EXPECT_TRUE(s.take(2 * kPeriod + 15'000));

    s.disarm();
    EXPECT_FALSE(s.armed());
    EXPECT_FALSE(s.take(100 * kPeriod));
}

TEST(FrameScale, WholeFactorsFromTwoHundredPercentOnly) {
    EXPECT_EQ(frameScale(0), 1);
    EXPECT_EQ(frameScale(96), 1);  // 100%
    EXPECT_EQ(frameScale(144), 1); // 150%: sharp at 1:1 rather than blurred
    EXPECT_EQ(frameScale(191), 1);
    EXPECT_EQ(frameScale(192), 2); // 200%
    EXPECT_EQ(frameScale(240), 2); // 250% rounds down to a whole factor
    EXPECT_EQ(frameScale(288), 3); // 300%
    EXPECT_EQ(frameScale(480), 5); // 500%
}

std::uint32_t packed(int x, int y) {
    return (static_cast<std::uint32_t>(y) & 0xFFFFu) << 16 |
           (static_cast<std::uint32_t>(x) & 0xFFFFu);
}

TEST(FramePosition, MousePositionsAreMappedBackToFramePixels) {
    // At 1:1 the message's packing passes through untouched.
    EXPECT_EQ(framePosition(packed(460, 50), 1), packed(460, 50));
    EXPECT_EQ(framePosition(0xFFFFFFFFu, 1), 0xFFFFFFFFu);

    // Doubled: both pixels of a frame pixel map to it, the button's corners
    // included.
    EXPECT_EQ(framePosition(packed(920, 100), 2), packed(460, 50));
    EXPECT_EQ(framePosition(packed(921, 101), 2), packed(460, 50));
    EXPECT_EQ(framePosition(packed(1081, 141), 2), packed(540, 70));
    EXPECT_EQ(framePosition(packed(1082, 120), 2), packed(541, 60));
    EXPECT_EQ(framePosition(packed(1199, 899), 2), packed(599, 449));
    EXPECT_EQ(framePosition(packed(1799, 1349), 3), packed(599, 449));

    // Left of the client area (a signed -4) stays outside the frame.
    EXPECT_EQ(framePosition(packed(-4, 10), 2), packed(-2, 5));
}

} // namespace
} // namespace nuvalo::win32
