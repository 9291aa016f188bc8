#pragma once

#include <cstdint>

// Time as the parallel backend's worker sees it: the real program sleeps and reads the steady
// clock; tests substitute a clock that only counts. Called by the worker that owns the backend.
class ILptClock {
public:
    virtual ~ILptClock() = default;

    virtual void SleepMs(int ms) = 0;
    // Milliseconds on a monotonic scale.
    virtual std::int64_t NowMs() = 0;
};

// The steady clock and real sleeps; one object for the whole program, usable from any thread.
ILptClock& SystemLptClock();
