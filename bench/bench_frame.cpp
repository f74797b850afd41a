// Cost of composing one frame, against the cost of merely copying one.
// Each compose benchmark reports "x_copy": its time per frame divided by the
// time of a plain copy of a 600 x 450 x 4-byte frame measured in the same run.
// The budget is 2 (composing costs at most twice the copy).

#include "render/render.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace nuvalo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFrameBytes = std::size_t{kFrameWidth} * kFrameHeight * sizeof(Pixel);

class SilentPlatform final : public Platform {
  public:
    void armTimer() override {}
    void playSound(const char*) override {}
};

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

// The copy's time in ns, the median of several timed batches.
double copyNanoseconds() {
    static const double ns = [] {
        CopyBuffers b;
        constexpr int kBatch = 200;
        std::vector<double> samples;
        for (int i = 0; i < 15; ++i) {
            const auto t0 = Clock::now();
            for (int k = 0; k < kBatch; ++k) {
                copyOnce(b);
            }
            const std::chrono::duration<double, std::nano> d = Clock::now() - t0;
            samples.push_back(d.count() / kBatch);
        }
        std::nth_element(samples.begin(), samples.begin() + 7, samples.end());
        return samples[7];
    }();
    return ns;
}

GameState playing() {
    GameState s;
    s.running = 1;
    s.starX = 212;
    s.starY = 80;
    s.distance = 1234.56f;
    s.speed = 12.34f;
    s.bestScore = 20345.0f;
    s.targetsDown[0] = 2;
    s.targetsDown[1] = 1;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = Stone{60 + (i % 4) * 70, 40 + 50 * i};
    }
    s.targetX = 250;
    s.targetY = 150;
    s.targetKind = 1;
    s.boulderX = 300;
    s.boulderY = 330;
    return s;
}

void composeLoop(benchmark::State& state, GameState s) {
    GdiResources& gdi = resources();
    SilentPlatform platform;
    const double copyNs = copyNanoseconds();
    const GameState start = s;
    const auto t0 = Clock::now();
    for (auto _ : state) {
        composeFrame(gdi, s, platform);
        benchmark::DoNotOptimize(gdi.backBufferBitmap.pixels.get());
        benchmark::ClobberMemory();
        if (s.resultPhase == 1 && s.resultTicks > 170) {
            s = start; // keep a tally frame from reaching the save
        }
    }
    const std::chrono::duration<double, std::nano> d = Clock::now() - t0;
    const double perFrame = d.count() / static_cast<double>(state.iterations());
    state.counters["x_copy"] = perFrame / copyNs;
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
    composeLoop(state, playing());
}
BENCHMARK(BM_ComposePlayfield);

// The heaviest crash frame: the white flash over the background.
void BM_ComposeCrashFlash(benchmark::State& state) {
    GameState s = playing();
    s.crashTimer = 2;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeCrashFlash);

void BM_ComposeCrashCurtain(benchmark::State& state) {
    GameState s = playing();
    s.crashTimer = 300;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeCrashCurtain);

void BM_ComposeResultTally(benchmark::State& state) {
    GameState s = playing();
    s.crashTimer = 600;
    s.resultPhase = 1;
    s.resultTicks = 155;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeResultTally);

void BM_ComposeResultComplete(benchmark::State& state) {
    GameState s = playing();
    s.crashTimer = 600;
    s.resultPhase = 2;
    s.running = 0;
    composeLoop(state, s);
}
BENCHMARK(BM_ComposeResultComplete);

} // namespace

BENCHMARK_MAIN();
