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
#include "app/rules.h"
#include "game/game.h"
#include "tests/support/doubles.h"

#include <benchmark/benchmark.h>

namespace {

// A prepared run started without touching the best-score file.
nuvalo::GameState startedRun() {
    nuvalo::GameState s;
    nuvalo::srand(1);
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
    nuvalo::test::QuietShell platform;
    nuvalo::GameState s = startedRun();
    s.steer = 1;
    for (auto _ : state) {
        nuvalo::gameTick(s, platform);
        s.crashTimer = 0;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_GameTickPlaying);

// A tick of the crash sequence: the world rises, no collision test.
void BM_GameTickCrash(benchmark::State& state) {
    nuvalo::test::QuietShell platform;
    nuvalo::GameState s = startedRun();
    s.speed = 12.5f;
    for (auto _ : state) {
        s.crashTimer = 6;
        nuvalo::gameTick(s, platform);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_GameTickCrash);

// One timer message and one paint through the message rules, as nuvalo-sim
// and the shells run them during play.
void BM_TimerAndPaintPlaying(benchmark::State& state) {
    nuvalo::test::QuietShell shell;
    nuvalo::App app;
    app.state = startedRun();
    for (auto _ : state) {
        nuvalo::onTimer(app, shell);
        nuvalo::onPaint(app, shell);
        app.state.crashTimer = 0;
        benchmark::DoNotOptimize(app.state);
    }
}
BENCHMARK(BM_TimerAndPaintPlaying);

} // namespace

BENCHMARK_MAIN();
