// Composing a frame allocates nothing: every operator new of this program is
// counted.

#include "render/render.h"
#include "support.h"
#include "tests/support/alloc_count.h"

#include <gtest/gtest.h>

namespace nuvalo {
namespace {

TEST(Allocation, ComposingFramesAllocatesNothing) {
    GdiResources& gdi = test::resources(); // created before counting

    GameState playing = test::emptyField();
    playing.starY = 80;
    playing.stones[0] = Stone{100, 200};
    playing.distance = 4321.0f;
    playing.speed = 13.5f;
    GameState crash = playing;
    crash.crashTimer = 300;
    GameState tally = playing;
    tally.crashTimer = 600;
    tally.resultPhase = 1;
    tally.resultTicks = 130;
    GameState complete = tally;
    complete.resultPhase = 2;
    complete.running = 0;
    complete.resultTicks = 0;

    const std::uint64_t before = test::allocationCount();
    composeFrame(gdi, playing);
    composeFrame(gdi, crash);
    composeFrame(gdi, tally);
    composeFrame(gdi, complete);
    EXPECT_EQ(test::allocationCount() - before, 0u);

    // The counter does see allocations (through a volatile, or clang drops
    // the new and delete pair altogether).
    int* volatile seen = new int(1);
    delete seen;
    EXPECT_EQ(test::allocationCount() - before, 1u);
}

} // namespace
} // namespace nuvalo
