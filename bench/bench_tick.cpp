// Nanoseconds per simulation tick, and per timer message with its paint as the
// shells deliver them.
//
// nuvalo-sim throughput (it must manage at least 5 million ticks a second) is
// measured on whole games, since a crash ends play and a halted tick does
// nothing. In an empty directory, with B the build folder:
//   printf 'keyup 32\ntimer 1000\n%.0s' $(seq 20000) > runs.txt   # 20 M ticks
//   printf '2147483647\n' > save.dat                               # or none: a save per run
//   time $B/app/sim/nuvalo-sim --seed 1 --quiet runs.txt
// Each 1000-tick slice holds one whole game: about 27 % play, 8 % crash,
// 17 % tally and 48 % halted. On the 2-core development machine (RelWithDebInfo)
// this takes 0.44-0.57 s without the saves and 0.51-0.63 s with them: 35 to
// 45 M ticks/s. Restarting on every tick ("keyup 32" and "timer 1" 5 M times:
// 53 % play) takes 0.61-0.64 s, about 8 M ticks/s, most of it spent reading
// the two script lines a tick.
#include "game/game.h"
#include "host/host.h"
#include "host/replay.h"
#include "tests/support/doubles.h"

#include <benchmark/benchmark.h>

namespace {

// A prepared run started without touching the best-score file.
nuvalo::GameState startedRun() {
    nuvalo::GameState s;
    nuvalo::srand(s, 1);
    nuvalo::respawnBoulder(s);
    nuvalo::respawnTarget(s);
    nuvalo::respawnStones(s);
    s.starX = 200;
    s.starY = -20;
    s.speed = 5.0f;
    s.running = 1;
    return s;
}

// The full playing tick: fall, steering, rise, recycling, drift and the
// collision test. Hits are forgiven so that the run never leaves play; the
// speed soon reaches its cap, as it does in a long run.
void BM_GameTickPlaying(benchmark::State& state) {
    nuvalo::Effects out;
    nuvalo::GameState s = startedRun();
    s.steer = 1;
    for (auto _ : state) {
        out.clear();
        nuvalo::gameTick(s, out);
        s.crashTimer = 0;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_GameTickPlaying);

// A tick of the crash sequence: the world rises, no collision test.
void BM_GameTickCrash(benchmark::State& state) {
    nuvalo::Effects out;
    nuvalo::GameState s = startedRun();
    s.speed = 12.5f;
    for (auto _ : state) {
        s.crashTimer = 6;
        nuvalo::gameTick(s, out);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_GameTickCrash);

// One timer message and its paint through the host, as nuvalo-sim runs them
// (the shells add the frame, measured by bench_frame): a run started by
// Space and held in play by a stick that never lets go.
void BM_HostTickPlaying(benchmark::State& state) {
    nuvalo::test::QuietShell shell;
    nuvalo::Host host(shell, 1'000'000, false);
    host.create(1);
    host.keyDown(nuvalo::kVkSpace);
    host.keyUp(nuvalo::kVkSpace);
    std::int64_t ticks = 0;
    for (auto _ : state) {
        host.tick();
        if (host.state().running == 0) {
            host.keyDown(nuvalo::kVkSpace);
            host.keyUp(nuvalo::kVkSpace);
        }
        ++ticks;
    }
    benchmark::DoNotOptimize(host.state());
    state.SetItemsProcessed(ticks);
}
BENCHMARK(BM_HostTickPlaying);

// Verifying a run from its record: the rules alone, tick after tick, with no
// frames. Items are ticks, so a 60-second record (3000 ticks) takes 3000
// divided by the rate shown.
void BM_VerifyRun(benchmark::State& state) {
    nuvalo::test::FakeShell shell;
    nuvalo::Host host(shell, nuvalo::test::FakeShell::kFrequency, false);
    host.create(1);
    host.keyDown(nuvalo::kVkSpace);
    host.keyUp(nuvalo::kVkSpace);
    for (int i = 0; i < 100000 && shell.runs.empty(); ++i) {
        host.keyDown(i / 40 % 2 == 0 ? nuvalo::kVkLeft : nuvalo::kVkRight);
        host.tick();
        host.keyUp(i / 40 % 2 == 0 ? nuvalo::kVkLeft : nuvalo::kVkRight);
    }
    const nuvalo::RunRecord run = shell.runs.at(0);
    for (auto _ : state) {
        const nuvalo::ReplayVerdict verdict = nuvalo::replayRun(
            run, [](std::uint32_t, const nuvalo::GameState&, const nuvalo::Effects&) {});
        benchmark::DoNotOptimize(verdict.verified);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(run.ticks));
}
BENCHMARK(BM_VerifyRun);

} // namespace

BENCHMARK_MAIN();
