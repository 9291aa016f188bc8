#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/IClock.h"

// The replies handed from the comm thread to the waiting transfer thread, each with its bytes, so
// the transfer thread never reads the port's receive buffer while the comm thread may refill it.
// Replies queue up in arrival order (a few at most; more are dropped), so a second reply to one
// request is seen, not lost under the first. Waits run on the clock given, which outlives this.
// Set and Cancel from any thread; one thread waits.
class CReplySignal {
public:
    explicit CReplySignal(platform::IClock& clock) : m_clock(clock) {}

    static constexpr int kMaxBytes = 18;
    static constexpr std::size_t kMaxQueued = 4;

    struct Reply {
        std::array<std::uint8_t, kMaxBytes> bytes{};
        int count = 0;  // bytes that arrived (more than kMaxBytes are cut)
    };

    enum class WaitResult { Signalled, TimedOut, Cancelled };

    // Queues a reply of count bytes; the waiter wakes at the next Notify, so a caller that
    // queues under a lock of its own can wake the waiter once that lock is released.
    void Set(const std::uint8_t* bytes, int count);
    void Notify() { m_cv.notify_all(); }
    // Forgets the replies nobody took.
    void Reset();
    // Makes every wait, present and future, return Cancelled at once.
    void Cancel();

    // Waits for a reply at most timeout; on Signalled the oldest one is taken into out.
    WaitResult Wait(std::chrono::milliseconds timeout, Reply& out);

private:
    platform::IClock& m_clock;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Reply> m_replies;
    bool m_bCancelled = false;
};
