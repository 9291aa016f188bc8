#include "lpt/ILptClock.h"

#include <chrono>
#include <thread>

namespace {

class CSystemLptClock : public ILptClock {
public:
    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    std::int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace

ILptClock& SystemLptClock() {
    static CSystemLptClock clock;
    return clock;
}
