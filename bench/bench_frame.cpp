// Cost of composing one frame, against the cost of merely copying one.
// Each compose benchmark reports "x_copy": its time per frame divided by the
// time of a plain copy of a 600 x 450 x 4-byte frame measured right after it.
// The budget is 2 (composing costs at most twice the copy).

#include "render/render.h"
#include "tests/support/states.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace {

using namespace nuvalo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFrameBytes = std::size_t{kFrameWidth} * kFrameHeight * sizeof(Pixel);

GdiResources& resources() {
    static GdiResources gdi = [] {
        GdiResources g;
        createDrawingResources(g);
        return g;
    }();
    return gdi;
}

// Two frame-sized buffers; copying between them is the baseline.
struct CopyBuffers {
    std::unique_ptr<Pixel[]> from = std::make_unique<Pixel[]>(kFrameBytes / sizeof(Pixel));
    std::unique_ptr<Pixel[]> to = std::make_unique<Pixel[]>(kFrameBytes / sizeof(Pixel));
};

void copyOnce(CopyBuffers& b) {
    std::memcpy(b.to.get(), b.from.get(), kFrameBytes);
    benchmark::DoNotOptimize(b.to.get());
    benchmark::ClobberMemory();
}

// Right after the frames, as many plain copies (up to a limit) are timed the
// same way, so that the ratio compares the two under the same machine load.
void composeLoop(benchmark::State& state, const GameState& s) {
    GdiResources& gdi = resources();
    const auto t0 = Clock::now();
    for (auto _ : state) {
        composeFrame(gdi, s);
        benchmark::DoNotOptimize(gdi.backBufferBitmap.pixels.get());
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double> composing = Clock::now() - t0;

    CopyBuffers copy;
    copyOnce(copy); // touch both buffers once, as the frames above were
    const auto copies = std::min<std::int64_t>(state.iterations(), 5000);
    const auto t1 = Clock::now();
    for (std::int64_t i = 0; i < copies; ++i) {
        copyOnce(copy);
    }
    const std::chrono::duration<double> copying = Clock::now() - t1;
    state.counters["x_copy"] = (composing.count() / static_cast<double>(state.iterations())) /
                               (copying.count() / static_cast<double>(copies));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kFrameBytes));
}

void BM_CopyFrame(benchmark::State& state) {
    CopyBuffers b;
    for (auto _ : state) {
        copyOnce(b);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kFrameBytes));
}
BENCHMARK(BM_CopyFrame);

void BM_ComposePlayfield(benchmark::State& state) {
    composeLoop(state, test::midRun());
}
BENCHMARK(BM_ComposePlayfield);

// The heaviest crash frame: the white flash over the background.
void BM_ComposeCrashFlash(benchmark::State& state) {
    GameState s = test::midRun();
    s.crashTimer = 2;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeCrashFlash);

void BM_ComposeCrashCurtain(benchmark::State& state) {
    GameState s = test::midRun();
    s.crashTimer = 300;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeCrashCurtain);

void BM_ComposeResultTally(benchmark::State& state) {
    GameState s = test::midRun();
    s.crashTimer = 600;
    s.resultPhase = 1;
    s.resultTicks = 155;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeResultTally);

void BM_ComposeResultComplete(benchmark::State& state) {
    GameState s = test::midRun();
    s.crashTimer = 600;
    s.resultPhase = 2;
    s.running = 0;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeResultComplete);

} // namespace

BENCHMARK_MAIN();
