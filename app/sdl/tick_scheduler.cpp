#include "app/sdl/tick_scheduler.h"

namespace nuvalo::sdl {

TickScheduler::TickScheduler(std::uint64_t counterFrequency)
    : frequency_(counterFrequency == 0 ? 1 : counterFrequency) {}

void TickScheduler::arm(std::uint64_t now) {
    origin_ = now;
    index_ = 1;
    armed_ = true;
}

std::uint64_t TickScheduler::offsetOf(std::uint64_t k) const {
    // k * frequency / 50 without overflow and without the rounding drift that
    // adding a truncated period each time would bring for odd frequencies.
    return (k / kTicksPerSecond) * frequency_ +
           (k % kTicksPerSecond) * frequency_ / kTicksPerSecond;
}

std::uint64_t TickScheduler::deadline() const {
    return origin_ + offsetOf(index_);
}

std::uint64_t TickScheduler::remaining(std::uint64_t now) const {
    const std::uint64_t next = deadline();
    return now >= next ? 0 : next - now;
}

void TickScheduler::advance(std::uint64_t now) {
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

} // namespace nuvalo::sdl
