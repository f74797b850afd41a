#pragma once
// When the 20 ms game ticks fall due, on a fixed grid of deadlines.
//
// Windows' own message timer rounds every period up to the system timer
// granularity (15.6 ms by default), so a 20 ms timer fires about every 31 ms
// and the game would run a third too slow. The shell therefore keeps its own
// deadlines on an absolute grid: a late wake-up shortens the next wait instead
// of pushing every later tick back, so the mean period stays exactly 20 ms
// whatever the wake-up latency.

#include <cstdint>

namespace nuvalo::win32 {

class TickSchedule {
  public:
    // `period` and `maxBacklog` in the units of the clock passed in later (for
    // instance performance-counter counts). A backlog beyond `maxBacklog` (the
    // program was stopped, or the system slept) is dropped rather than caught
    // up in a burst of ticks.
    TickSchedule(std::int64_t period, std::int64_t maxBacklog);

    // (Re)starts the grid: the first tick falls due one period after `now`.
    void start(std::int64_t now);
    void stop() { armed_ = false; }
    bool armed() const { return armed_; }

    // True when a tick is due at `now`; it is then consumed and the deadline
    // moves on by one period. At most one tick per call.
    bool take(std::int64_t now);

    // Time from `now` to the next deadline (zero or negative when one is due).
    std::int64_t remaining(std::int64_t now) const { return next_ - now; }
    std::int64_t period() const { return period_; }

  private:
    std::int64_t period_;
    std::int64_t maxBacklog_;
    std::int64_t next_ = 0;
    bool armed_ = false;
};

} // namespace nuvalo::win32
