#pragma once

#include "platform/IClock.h"

// The parallel backend's worker keeps its waits on the clock every hardware path shares.
using ILptClock = platform::IClock;

inline ILptClock& SystemLptClock() {
    return platform::SystemClock();
}
