#pragma once
// The host's 20 ms game timer, kept free of any platform so that it can be
// driven by a fake clock. Times are counts of a monotonic counter running at
// a fixed frequency (SDL_GetPerformanceCounter on Linux,
// QueryPerformanceCounter on Windows, the page's clock in microseconds).
//
// A system's own message timer rounds every period up to its timer
// granularity (15.6 ms by default on Windows, so a 20 ms timer fires about
// every 31 ms and the game would run a third too slow). The host therefore
// keeps its own deadlines on an absolute grid: a late wake-up shortens the
// next wait instead of pushing every later tick back. The game counts on one
// tick per period, so a stall (a slow save, a sound system waking up, the
// window dragged) costs the ticks it covered instead of bringing them back to
// back, each with its own paint.

#include <cstdint>

namespace nuvalo {

class TickScheduler {
  public:
    static constexpr std::uint64_t kTicksPerSecond = 50; // one tick every 20 ms

    explicit TickScheduler(std::uint64_t counterFrequency);

    // Starts the period afresh: the next tick falls one period after `now`.
    // Arming again while running replaces the old timer, as SetTimer does.
    void arm(std::uint64_t now);
    // No further ticks until armed again.
    void disarm() { armed_ = false; }
    bool armed() const { return armed_; }

    // The counter value at which the next tick is due.
    std::uint64_t deadline() const;
    bool due(std::uint64_t now) const { return armed_ && now >= deadline(); }

    // Counter units from `now` until the next tick (0 when it is due already).
    std::uint64_t remaining(std::uint64_t now) const;

    // Takes the due tick and moves on to the next deadline. Deadlines are
    // absolute (period k after arming), so lateness never accumulates. A tick
    // taken a whole period or more late does not leave a backlog: the next one
    // falls on the first deadline after `now`.
    void advance(std::uint64_t now);
    // Takes the tick due at `now`, if any, and moves on: at most one per call.
    bool take(std::uint64_t now);

    // The game was at rest and the ticks due up to `now` would have changed
    // nothing: move on to the first deadline after `now`, on the same grid,
    // without counting them as skipped.
    void passOver(std::uint64_t now);

    // Ticks that were dropped because the loop was held up for longer than a
    // period (window dragged, machine suspended), since construction.
    std::uint64_t skipped() const { return skipped_; }

    std::uint64_t frequency() const { return frequency_; }

  private:
    // Counter offset of the k-th deadline after arming, exact for any frequency.
    std::uint64_t offsetOf(std::uint64_t k) const;

    std::uint64_t frequency_;
    std::uint64_t origin_ = 0;
    std::uint64_t index_ = 1; // the pending deadline is origin_ + offsetOf(index_)
    std::uint64_t skipped_ = 0;
    bool armed_ = false;
};

inline TickScheduler::TickScheduler(std::uint64_t counterFrequency)
    : frequency_(counterFrequency == 0 ? 1 : counterFrequency) {}

inline void TickScheduler::arm(std::uint64_t now) {
    origin_ = now;
    index_ = 1;
    armed_ = true;
}

inline std::uint64_t TickScheduler::offsetOf(std::uint64_t k) const {
    // k * frequency / 50 without overflow and without the rounding drift that
    // adding a truncated period each time would bring for odd frequencies.
    return (k / kTicksPerSecond) * frequency_ +
           (k % kTicksPerSecond) * frequency_ / kTicksPerSecond;
}

inline std::uint64_t TickScheduler::deadline() const {
    return origin_ + offsetOf(index_);
}

inline std::uint64_t TickScheduler::remaining(std::uint64_t now) const {
    const std::uint64_t next = deadline();
    return now >= next ? 0 : next - now;
}

inline bool TickScheduler::take(std::uint64_t now) {
    if (!due(now)) {
        return false;
    }
    advance(now);
    return true;
}

inline void TickScheduler::passOver(std::uint64_t now) {
    if (now < deadline()) {
        return;
    }
    const std::uint64_t before = skipped_;
    advance(now);
    skipped_ = before;
}

inline void TickScheduler::advance(std::uint64_t now) {
    ++index_;
    if (now < deadline()) {
        return;
    }
    // Held up for a period or more: resume on the grid after `now` instead of
    // firing the missed ticks back to back.
    const std::uint64_t elapsed = now - origin_;
    const std::uint64_t passed = (elapsed / frequency_) * kTicksPerSecond +
                                 (elapsed % frequency_) * kTicksPerSecond / frequency_;
    std::uint64_t next = passed + 1;
    while (origin_ + offsetOf(next) <= now) {
        ++next;
    }
    skipped_ += next - index_;
    index_ = next;
}

} // namespace nuvalo
