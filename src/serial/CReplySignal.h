#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// An auto-reset event that carries the bytes of the reply that set it, so the waiting transfer
// thread never reads the port's receive buffer while the comm thread may refill it. Set and
// Cancel from any thread; one thread waits.
class CReplySignal {
public:
    static constexpr int kMaxBytes = 16;

    enum class WaitResult { Signalled, TimedOut, Cancelled };

    // Stores up to kMaxBytes bytes and wakes the waiter.
    void Set(const std::uint8_t* bytes, int count);
    // Forgets an earlier Set that nobody waited for.
    void Reset();
    // Makes every wait, present and future, return Cancelled at once.
    void Cancel();

    // Waits for a Set at most timeout; on Signalled the bytes are copied into out and the event
    // is reset.
    WaitResult Wait(std::chrono::milliseconds timeout, std::array<std::uint8_t, kMaxBytes>& out);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::array<std::uint8_t, kMaxBytes> m_bytes{};
    bool m_bSet = false;
    bool m_bCancelled = false;
};
