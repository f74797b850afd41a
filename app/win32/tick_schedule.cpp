#include "app/win32/tick_schedule.h"

namespace nuvalo::win32 {

TickSchedule::TickSchedule(std::int64_t period, std::int64_t maxBacklog)
    : period_(period > 0 ? period : 1), maxBacklog_(maxBacklog > 0 ? maxBacklog : 0) {}

void TickSchedule::start(std::int64_t now) {
    next_ = now + period_;
    armed_ = true;
}

bool TickSchedule::take(std::int64_t now) {
    if (!armed_ || now < next_) {
        return false;
    }
    next_ += period_;
    // Still due again after this tick by more than the allowed backlog: start a
    // fresh grid from now rather than firing the missed ticks back to back.
    if (now - next_ > maxBacklog_) {
        next_ = now + period_;
    }
    return true;
}

} // namespace nuvalo::win32
