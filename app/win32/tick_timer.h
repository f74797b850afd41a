#pragma once
// The Windows game's clock and its wait for the next tick: the performance
// counter is the host's clock, and a waitable timer ends the wait for messages
// at a tick's deadline. A message timer would round every wait up to the
// system timer's 15.6 ms and run the game a third too slow.

#include <windows.h>

#include <cstdint>

namespace nuvalo::win32 {

class TickTimer {
  public:
    // A deadline that never comes: only a message ends the wait.
    static constexpr std::uint64_t kNever = UINT64_MAX;

    TickTimer();
    ~TickTimer();
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    // The performance counter, and its counts per second.
    std::uint64_t now() const;
    std::uint64_t frequency() const { return frequency_; }

    // Sleeps until a message comes in or the counter reaches `at`. A wake-up
    // may still come a hair early: the host then finds nothing due, and the
    // loop waits again for the rest.
    void waitUntil(std::uint64_t at);

    // Which kind of system timer serves the deadlines.
    enum class Kind { HighResolution, RaisedResolution, Polled };
    Kind kind() const { return kind_; }

  private:
    std::uint64_t frequency_;
    HANDLE timer_ = nullptr;
    Kind kind_ = Kind::Polled;
    bool periodRaised_ = false;
};

} // namespace nuvalo::win32
