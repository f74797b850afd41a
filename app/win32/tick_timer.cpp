#include "app/win32/tick_timer.h"

#include <mmsystem.h>

namespace nuvalo::win32 {

namespace {

// Windows 10 1803 and later; older systems refuse the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

std::uint64_t counterFrequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? static_cast<std::uint64_t>(f.QuadPart) : 1;
}

} // namespace

TickTimer::TickTimer() : frequency_(counterFrequency()) {
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

std::uint64_t TickTimer::now() const {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    // The host's clock counts unsigned; the performance counter is never negative.
    return c.QuadPart > 0 ? static_cast<std::uint64_t>(c.QuadPart) : 0;
}

void TickTimer::waitUntil(std::uint64_t at) {
    DWORD timeoutMs = INFINITE;
    bool timed = false;
    if (at != kNever) {
        const std::uint64_t t = now();
        if (t >= at) {
            return;
        }
        // Less than a period, or the quarter second of a search for pads.
        const auto left = static_cast<std::int64_t>(at - t);
        const auto f = static_cast<std::int64_t>(frequency_);
        // Relative due time in 100 ns units (negative), rounded up so that
        // the wait does not end early by the rounding.
        LARGE_INTEGER due;
        due.QuadPart = -((left * 10'000'000 + f - 1) / f);
        timed = timer_ != nullptr && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
        if (!timed) {
            timeoutMs = static_cast<DWORD>((left * 1000 + f - 1) / f);
        }
    }
    MsgWaitForMultipleObjectsEx(timed ? 1 : 0, timed ? &timer_ : nullptr, timeoutMs, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
}

} // namespace nuvalo::win32
