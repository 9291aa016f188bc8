#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace platform {

// Time as the hardware paths see it: the real program sleeps, reads the steady clock and waits
// on condition variables against it; tests substitute a clock that only counts, so that a
// time-out shows at once and can be tried at its exact edge. Any thread.
class IClock {
public:
    virtual ~IClock() = default;

    virtual void SleepMs(int ms) = 0;
    // Milliseconds on a monotonic scale.
    virtual std::int64_t NowMs() = 0;

    // Waits on cv (its mutex held through lock) until done() holds or NowMs() reaches deadlineMs;
    // returns done(). Whoever makes done() true notifies cv. This waits in real time for the
    // time this clock says is left, which suits every clock whose time passes as real time does.
    virtual bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                           std::int64_t deadlineMs, const std::function<bool()>& done);
};

// The steady clock and real sleeps; one object for the whole program.
IClock& SystemClock();

}  // namespace platform
