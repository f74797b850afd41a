// Measures the tick period of the real Windows game: runs the window exactly
// as nuvalo.exe does, starts a run, notes when each tick is delivered, closes
// the window after the asked number of ticks and prints the figures.
//   nuvalo_tick_probe [--ticks N]      (default 1000 ticks, i.e. 20 s)
// Exit status 0 when the mean period lies within 1% of 20 ms.
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
    int delivered = 0;
};

// The first two ticks are left out: the run started by the first one restarts
// the period, so the interval across it is not a period.
constexpr int kSkippedTicks = 2;

void afterTick(void* context, HWND window, std::int64_t counter) {
    auto& r = *static_cast<Record*>(context);
    ++r.delivered;
    if (r.delivered == 1) {
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        PostMessageA(window, WM_KEYUP, VK_SPACE, 0);
    }
    if (r.delivered <= kSkippedTicks || r.stamps.size() == r.wanted) {
        return;
    }
    r.stamps.push_back(counter);
    if (r.stamps.size() == r.wanted) {
        PostMessageA(window, WM_CLOSE, 0, 0);
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
            ticks = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: nuvalo_tick_probe [--ticks N]\n");
            return 2;
        }
    }
    if (ticks < 2 || ticks > 1'000'000) {
        std::fprintf(stderr, "nuvalo_tick_probe: --ticks needs 2 to 1000000\n");
        return 2;
    }

    Record record;
    record.wanted = static_cast<std::size_t>(ticks);
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
        return 1000.0 * static_cast<double>(counts) / static_cast<double>(clock.countsPerSecond());
    };
    const std::size_t intervals = record.stamps.size() - 1;
    const double meanMs =
        ms(record.stamps.back() - record.stamps.front()) / static_cast<double>(intervals);
    double shortest = 1e9;
    double longest = 0.0;
    std::size_t overRun = 0; // intervals more than 5 ms off
    for (std::size_t i = 1; i < record.stamps.size(); ++i) {
        const double d = ms(record.stamps[i] - record.stamps[i - 1]);
        shortest = d < shortest ? d : shortest;
        longest = d > longest ? d : longest;
        overRun += std::fabs(d - 20.0) > 5.0 ? 1 : 0;
    }
    const double errorPercent = (meanMs - 20.0) / 20.0 * 100.0;
    std::printf("timer: %s\n", kindName(clock.kind()));
    std::printf("ticks: %zu over %.3f s\n", record.stamps.size(),
                ms(record.stamps.back() - record.stamps.front()) / 1000.0);
    std::printf("mean period: %.4f ms (%+.3f%%)\n", meanMs, errorPercent);
    std::printf("shortest %.3f ms, longest %.3f ms, %zu of %zu more than 5 ms off\n", shortest,
                longest, overRun, intervals);
    return std::fabs(errorPercent) <= 1.0 ? 0 : 1;
}
