#include "app/win32/tick_timer.h"

#include <mmsystem.h>

namespace nuvalo::win32 {

namespace {

// Windows 10 1803 and later; older systems refuse the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

std::int64_t counterFrequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
}

} // namespace

TickTimer::TickTimer()
    : frequency_(counterFrequency()), schedule_(static_cast<std::uint64_t>(frequency_)) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (timer_ != nullptr) {
        kind_ = Kind::HighResolution;
        return;
    }
    // An ordinary waitable timer wakes on the system timer's interrupt, so ask
    // for a 1 ms interrupt for as long as the program runs.
    periodRaised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    timer_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    kind_ = timer_ != nullptr ? Kind::RaisedResolution : Kind::Polled;
}

TickTimer::~TickTimer() {
    if (timer_ != nullptr) {
        CancelWaitableTimer(timer_);
        CloseHandle(timer_);
    }
    if (periodRaised_) {
        timeEndPeriod(1);
    }
}

std::int64_t TickTimer::now() const {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

std::uint64_t TickTimer::counter() const {
    // The scheduler counts unsigned; the performance counter is never negative.
    const std::int64_t c = now();
    return c > 0 ? static_cast<std::uint64_t>(c) : 0;
}

void TickTimer::arm() {
    schedule_.arm(counter());
}

bool TickTimer::takeDue() {
    return schedule_.take(counter());
}

HANDLE TickTimer::prepareWait(DWORD& timeoutMs) {
    timeoutMs = INFINITE;
    if (!schedule_.armed()) {
        return nullptr;
    }
    const auto left = static_cast<std::int64_t>(schedule_.remaining(counter()));
    if (left <= 0) {
        timeoutMs = 0;
        return nullptr;
    }
    if (timer_ == nullptr) {
        // Whole milliseconds, rounded up so that the wait never ends early.
        timeoutMs = static_cast<DWORD>((left * 1000 + frequency_ - 1) / frequency_);
        return nullptr;
    }
    // Relative due time in 100 ns units (negative), rounded up. A wake-up that
    // still comes a little early is harmless: takeDue says no and the loop
    // waits again for the remainder.
    LARGE_INTEGER due;
    due.QuadPart = -((left * 10'000'000 + frequency_ - 1) / frequency_);
    SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
    return timer_;
}

} // namespace nuvalo::win32
