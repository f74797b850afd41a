#pragma once
// The 20 ms game timer of the desktop shell, kept free of SDL so that it can be
// driven by a fake clock. Times are counts of a monotonic counter running at a
// fixed frequency (SDL_GetPerformanceCounter in the game).

#include <cstdint>

namespace nuvalo::sdl {

class TickScheduler {
  public:
    static constexpr std::uint64_t kTicksPerSecond = 50; // one tick every 20 ms

    explicit TickScheduler(std::uint64_t counterFrequency);

    // Starts the period afresh: the next tick falls one period after `now`.
    // Arming again while running replaces the old timer, as SetTimer does.
    void arm(std::uint64_t now);
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

} // namespace nuvalo::sdl
