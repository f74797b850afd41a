// Measures the real game loop's 20 ms tick: the window opens, the game plays
// itself (a new run is started whenever the last one has ended) and every
// tick's lateness against its deadline is recorded.
//
//   nuvalo-tick-timing [SECONDS [halted]]   (default 60; needs a display)
//
// With "halted" no run is ever started: the game stands on its opening frame,
// as it does between runs, and the figures are those of a game at rest, which
// sleeps until input instead of ticking.
//
// Reports the mean tick period, the deviation from the deadline (median, 99th
// percentile, worst), the ticks skipped after stalls, the frames put on the
// screen and the process's CPU use.
// Exit code 0 when the targets are met (mean period within 0.1 % of 20 ms,
// 99th percentile under 2 ms, CPU under 5 % of one core; at rest, CPU under
// 0.5 %), 3 when not, 1 when the window cannot be opened.

#include "app/sdl/game_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using nuvalo::sdl::GameWindow;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class Recorder final : public nuvalo::sdl::LoopObserver {
  public:
    Recorder(double seconds, bool halted)
        : haltedOnly_(halted), frequency_(static_cast<double>(SDL_GetPerformanceFrequency())),
          limit_(static_cast<std::uint64_t>(seconds * frequency_)) {
        const auto expected = static_cast<std::size_t>(seconds * 50.0) + 64;
        deadlines_.reserve(expected);
        taken_.reserve(expected);
        rearmedAfter_.reserve(expected / 50);
    }

    void tickTaken(std::uint64_t deadline, std::uint64_t taken) override {
        if (deadlines_.empty()) {
            start_ = taken;
        }
        if (deadlines_.size() < deadlines_.capacity()) {
            deadlines_.push_back(deadline);
            taken_.push_back(taken);
        }
    }

    bool keepRunning(nuvalo::Host& host) override {
        const std::uint64_t t = SDL_GetPerformanceCounter();
        // Play as a player who starts a new run a second after the last one ended.
        if (!haltedOnly_ && host.state().running == 0) {
            if (restingSince_ == 0) {
                restingSince_ = t;
            } else if (t - restingSince_ >= second()) {
                restingSince_ = 0;
                host.keyDown(nuvalo::kVkSpace);
                host.keyUp(nuvalo::kVkSpace);
                ++runs_;
                // The run start re-arms the timer: the next interval is not a period.
                rearmedAfter_.push_back(taken_.size());
            }
        }
        return t - start_ < limit_;
    }

    std::uint64_t wakeAtRest() override {
        if (haltedOnly_) {
            return start_ + limit_;
        }
        return (restingSince_ != 0 ? restingSince_ : SDL_GetPerformanceCounter()) + second();
    }

    int report(double cpu, double wall, std::uint64_t skipped, std::uint64_t presented) const {
        const std::size_t n = taken_.size();
        const double cpuShare = cpu / wall * 100.0;
        if (haltedOnly_) {
            std::printf("at rest for             %.1f s\n", wall);
            std::printf("ticks taken             %zu\n", n);
            std::printf("frames presented        %llu\n",
                        static_cast<unsigned long long>(presented));
            std::printf("process CPU             %.2f %% of one core (%.2f s of %.1f s)\n",
                        cpuShare, cpu, wall);
            const bool met = cpuShare < 0.5;
            std::printf("targets                 %s\n", met ? "met" : "missed");
            return met ? 0 : 3;
        }
        if (n < 2) {
            std::puts("too few ticks to measure");
            return 3;
        }
        const double toMs = 1000.0 / frequency_;
        // Mean over the intervals between ticks, leaving out those in which a
        // run start restarted the period (ticks skipped after a stall stay in).
        std::uint64_t spanned = 0;
        std::size_t intervals = 0;
        for (std::size_t i = 1; i < n; ++i) {
            if (std::find(rearmedAfter_.begin(), rearmedAfter_.end(), i) == rearmedAfter_.end()) {
                spanned += taken_[i] - taken_[i - 1];
                ++intervals;
            }
        }
        const double meanPeriod = static_cast<double>(spanned) * toMs /
                                  static_cast<double>(std::max<std::size_t>(intervals, 1));
        std::vector<double> late(n);
        for (std::size_t i = 0; i < n; ++i) {
            late[i] = static_cast<double>(taken_[i] - deadlines_[i]) * toMs;
        }
        std::sort(late.begin(), late.end());
        const auto at = [&](double q) {
            return late[std::min(n - 1, static_cast<std::size_t>(q * static_cast<double>(n)))];
        };
        const double periodError = (meanPeriod - 20.0) / 20.0 * 100.0;
        std::printf("ticks measured          %zu over %.1f s (%d runs started)\n", n, wall, runs_);
        std::printf("mean tick period        %.4f ms (%+.4f %% from 20 ms)\n", meanPeriod,
                    periodError);
        std::printf(
            "deviation from deadline median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n",
            at(0.5), at(0.99), late.back());
        std::printf("ticks skipped           %llu\n", static_cast<unsigned long long>(skipped));
        std::printf("frames presented        %llu\n", static_cast<unsigned long long>(presented));
        std::printf("process CPU             %.2f %% of one core (%.2f s of %.1f s)\n", cpuShare,
                    cpu, wall);
        const bool met = std::abs(periodError) <= 0.1 && at(0.99) < 2.0 && cpuShare < 5.0;
        std::printf("targets                 %s\n", met ? "met" : "missed");
        return met ? 0 : 3;
    }

  private:
    std::uint64_t second() const { return static_cast<std::uint64_t>(frequency_); }

    bool haltedOnly_;
    double frequency_;
    std::uint64_t limit_;
    std::vector<std::uint64_t> deadlines_;
    std::vector<std::uint64_t> taken_;
    std::vector<std::size_t> rearmedAfter_; // tick counts after which a run start re-armed
    std::uint64_t start_ = 0;
    std::uint64_t restingSince_ = 0; // when the last run ended, 0 while one goes on
    int runs_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    double seconds = 60.0;
    if (argc > 1) {
        seconds = std::atof(argv[1]);
    }
    const bool halted = argc > 2 && std::string_view(argv[2]) == "halted";
    if (!(seconds >= 1.0 && seconds <= 86400.0) || argc > 3 || (argc > 2 && !halted)) {
        std::fputs("usage: nuvalo-tick-timing [SECONDS from 1 to 86400 [halted]]\n", stderr);
        return 2;
    }
    // The game keeps its best score in the working directory: use a scratch one.
    std::error_code error;
    const auto scratch = std::filesystem::temp_directory_path(error) /
                         ("nuvalo-tick-timing-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch, error);
    std::filesystem::current_path(scratch, error);
    if (error) {
        std::fprintf(stderr, "nuvalo-tick-timing: cannot use %s: %s\n", scratch.c_str(),
                     error.message().c_str());
        return 1;
    }

    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "nuvalo-tick-timing: cannot open a display (%s)\n", SDL_GetError());
        return 1;
    }
    int status = 1;
    {
        GameWindow game;
        if (game.create(1)) {
            Recorder recorder(seconds, halted);
            const double cpuBefore = cpuSeconds();
            const std::uint64_t wallBefore = SDL_GetPerformanceCounter();
            game.run(&recorder);
            const double wall = static_cast<double>(SDL_GetPerformanceCounter() - wallBefore) /
                                static_cast<double>(SDL_GetPerformanceFrequency());
            status = recorder.report(cpuSeconds() - cpuBefore, wall, game.host().droppedTicks(),
                                     game.presentedFrames());
        }
    }
    SDL_Quit();
    std::filesystem::remove_all(scratch, error);
    return status;
}
