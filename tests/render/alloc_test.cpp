// Composing a frame allocates nothing: every operator new of this program is
// counted.

#include "render/render.h"
#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> newCalls{0};

void* counted(std::size_t size) {
    ++newCalls;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++newCalls;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    ++newCalls;
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

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

    const long before = newCalls.load();
    composeFrame(gdi, playing);
    composeFrame(gdi, crash);
    composeFrame(gdi, tally);
    composeFrame(gdi, complete);
    EXPECT_EQ(newCalls.load() - before, 0);

    // The counter does see allocations (through a volatile, or clang drops
    // the new and delete pair altogether).
    int* volatile seen = new int(1);
    delete seen;
    EXPECT_EQ(newCalls.load() - before, 1);
}

} // namespace
} // namespace nuvalo
