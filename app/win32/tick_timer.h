#pragma once
// The game's 20 ms tick on Windows: deadlines on a fixed grid (TickScheduler)
// measured with the performance counter and waited for with a waitable timer
// in the message loop.

#include "app/tick_scheduler.h"

#include <windows.h>

namespace nuvalo::win32 {

class TickTimer {
  public:
    static constexpr int kPeriodMs = 20;

    TickTimer();
    ~TickTimer();
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    // (Re)starts the period: the next tick falls due 20 ms from now.
    void arm();
    // The timer ends with the window.
    void disarm() { schedule_.disarm(); }
    bool armed() const { return schedule_.armed(); }

    // True, once, when a tick has fallen due. However late it is taken, the
    // next one falls due on the grid, never at once.
    bool takeDue();
    // The game was at rest through the deadlines up to now: the next tick
    // falls on the same grid, and the ticks slept through count as dropped
    // no more than they count as taken.
    void passOver() { schedule_.passOver(counter()); }

    // Readies the wait for the next deadline: returns the handle that becomes
    // signalled by then (null when the timer is not armed) and sets `timeoutMs`
    // to the wait's time limit (INFINITE when the handle alone decides).
    HANDLE prepareWait(DWORD& timeoutMs);

    // Which kind of system timer serves the deadlines.
    enum class Kind { HighResolution, RaisedResolution, Polled };
    Kind kind() const { return kind_; }

    // Ticks dropped after stalls of a period or more, since construction.
    std::uint64_t dropped() const { return schedule_.skipped(); }

    std::int64_t now() const;
    std::int64_t countsPerSecond() const { return frequency_; }

  private:
    std::uint64_t counter() const;

    std::int64_t frequency_;
    TickScheduler schedule_;
    HANDLE timer_ = nullptr;
    Kind kind_ = Kind::Polled;
    bool periodRaised_ = false;
};

} // namespace nuvalo::win32
