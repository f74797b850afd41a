// Measures the tick period of the real Windows game: runs the window exactly
// as nuvalo.exe does, starts a run, notes when each tick is delivered, closes
// the window after the asked number of ticks and prints the figures.
//   nuvalo_tick_probe [--ticks N] [--stall MS]   (default 1000 ticks, i.e. 20 s)
// With --stall the window's thread is held up once, inside a tick, for MS
// milliseconds, as a slow save or the first sound can hold it up. The mean
// period counts the ticks that stalls dropped as periods.
// Exit status 0 when the mean period lies within 1% of 20 ms and no tick came
// in a burst: a late wake-up brings one late tick, and the next comes on the
// grid, so no three ticks ever fall within 10 ms (two may, when a wake-up came
// late by more than half a period).
#include "app/win32/program.h"
#include "app/win32/tick_timer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Record {
    std::vector<std::int64_t> stamps; // reserved up front: no allocation while ticking
    std::size_t wanted = 0;
    std::size_t stallAt = 0; // index of the recorded tick that holds the thread up
    DWORD stallMs = 0;
    std::uint64_t droppedBefore = 0; // ticks dropped before the first recorded one
    std::uint64_t dropped = 0;       // ... and before the last
    int delivered = 0;
};

// The first two ticks are left out: the run started by the first one restarts
// the period, so the interval across it is not a period.
constexpr int kSkippedTicks = 2;

void afterTick(void* context, HWND window, std::int64_t counter, std::uint64_t dropped) {
    auto& r = *static_cast<Record*>(context);
    ++r.delivered;
    if (r.delivered == 1) {
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        PostMessageA(window, WM_KEYUP, VK_SPACE, 0);
    }
    // A pointer moving over the window, as a player's would, keeps the game
    // awake once the run has ended: at rest its ticks would stop.
    PostMessageA(window, WM_MOUSEMOVE, 0, 0);
    if (r.delivered <= kSkippedTicks || r.stamps.size() == r.wanted) {
        return;
    }
    r.stamps.push_back(counter);
    if (r.stamps.size() == 1) {
        r.droppedBefore = dropped;
    }
    r.dropped = dropped;
    if (r.stamps.size() == r.wanted) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (r.stallMs > 0 && r.stamps.size() == r.stallAt + 1) {
        Sleep(r.stallMs);
    }
}

const char* kindName(nuvalo::win32::TickTimer::Kind kind) {
    switch (kind) {
    case nuvalo::win32::TickTimer::Kind::HighResolution:
        return "high-resolution waitable timer";
    case nuvalo::win32::TickTimer::Kind::RaisedResolution:
        return "waitable timer with a 1 ms system timer";
    case nuvalo::win32::TickTimer::Kind::Polled:
        break;
    }
    return "timed message waits";
}

} // namespace

int main(int argc, char** argv) {
    long ticks = 1000;
    long stallMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
            ticks = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--stall") == 0 && i + 1 < argc) {
            stallMs = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: nuvalo_tick_probe [--ticks N] [--stall MS]\n");
            return 2;
        }
    }
    if (ticks < 2 || ticks > 1'000'000) {
        std::fprintf(stderr, "nuvalo_tick_probe: --ticks needs 2 to 1000000\n");
        return 2;
    }
    // A second into the run.
    constexpr long kStallAt = 50;
    if (stallMs < 0 || stallMs > 10'000 || (stallMs > 0 && ticks < kStallAt + 4)) {
        std::fprintf(stderr, "nuvalo_tick_probe: --stall needs 0 to 10000 ms and 54 ticks\n");
        return 2;
    }

    Record record;
    record.wanted = static_cast<std::size_t>(ticks);
    record.stallAt = static_cast<std::size_t>(kStallAt);
    record.stallMs = static_cast<DWORD>(stallMs);
    record.stamps.reserve(record.wanted);
    nuvalo::win32::ProgramHooks hooks;
    hooks.afterTick = afterTick;
    hooks.context = &record;

    const nuvalo::win32::TickTimer clock; // the same choice of timer the window makes
    const int exitCode = nuvalo::win32::runProgram(GetModuleHandleA(nullptr), &hooks);
    if (exitCode != 0 || record.stamps.size() != record.wanted) {
        std::fprintf(stderr, "nuvalo_tick_probe: the game ended with %d after %zu ticks\n",
                     exitCode, record.stamps.size());
        return 1;
    }

    const auto ms = [&](std::int64_t counts) {
        return 1000.0 * static_cast<double>(counts) / static_cast<double>(clock.frequency());
    };
    const std::vector<std::int64_t>& t = record.stamps;
    const std::size_t intervals = t.size() - 1;
    const std::uint64_t dropped = record.dropped - record.droppedBefore;
    const double meanMs = ms(t.back() - t.front()) /
                          static_cast<double>(intervals + static_cast<std::size_t>(dropped));
    const std::size_t stall = record.stallAt;
    double shortest = 1e9;
    double longest = 0.0;
    double shortestPair = 1e9; // the shortest span of two intervals in a row
    std::size_t overRun = 0;   // intervals more than 5 ms off
    for (std::size_t i = 1; i < t.size(); ++i) {
        const double d = ms(t[i] - t[i - 1]);
        shortest = d < shortest ? d : shortest;
        longest = d > longest ? d : longest;
        overRun += std::fabs(d - 20.0) > 5.0 ? 1 : 0;
        if (i >= 2) {
            const double pair = ms(t[i] - t[i - 2]);
            shortestPair = pair < shortestPair ? pair : shortestPair;
        }
    }
    const double errorPercent = (meanMs - 20.0) / 20.0 * 100.0;
    std::printf("timer: %s\n", kindName(clock.kind()));
    std::printf("ticks: %zu over %.3f s\n", t.size(), ms(t.back() - t.front()) / 1000.0);
    if (stallMs > 0) {
        std::printf(
            "stall of %ld ms in tick %zu; the next ticks came %.3f, %.3f and %.3f ms apart\n",
            stallMs, stall, ms(t[stall + 1] - t[stall]), ms(t[stall + 2] - t[stall + 1]),
            ms(t[stall + 3] - t[stall + 2]));
    }
    std::printf("mean period: %.4f ms (%+.3f%%), %llu ticks dropped after stalls\n", meanMs,
                errorPercent, static_cast<unsigned long long>(dropped));
    std::printf("shortest %.3f ms, longest %.3f ms, %zu of %zu more than 5 ms off\n", shortest,
                longest, overRun, intervals);
    std::printf("shortest two intervals in a row: %.3f ms\n", shortestPair);
    const bool periodHolds = std::fabs(errorPercent) <= 1.0;
    const bool noBurst = shortestPair >= 10.0;
    if (!noBurst) {
        std::fprintf(stderr, "nuvalo_tick_probe: three ticks within %.3f ms: a burst\n",
                     shortestPair);
    }
    return periodHolds && noBurst ? 0 : 1;
}
