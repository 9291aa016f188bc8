#include "platform/IClock.h"

#include <chrono>
#include <thread>

namespace platform {

bool IClock::WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                       std::int64_t deadlineMs, const std::function<bool()>& done) {
    while (!done()) {
        const std::int64_t left = deadlineMs - NowMs();
        if (left <= 0) return false;
        cv.wait_for(lock, std::chrono::milliseconds(left));
    }
    return true;
}

namespace {

class CSystemClock : public IClock {
public:
    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    std::int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace

IClock& SystemClock() {
    static CSystemClock clock;
    return clock;
}

}  // namespace platform
