#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/IClock.h"

// A watchdog for a command frame's reply: armed with the frame's sequence number when a frame
// that expects a reply is sent, disarmed when the reply arrives, and when it expires it calls its
// handler once, with that number, on its own thread. The number lets the handler tell whether
// the frame it fired for is still the one awaited. It keeps a silent or unplugged box from leaving
// the backend waiting for ever. Arm and Disarm may be called from any thread; Stop (or the
// destructor) joins the thread and returns with the handler no longer running. Time is the
// clock's, which outlives the watch.
class CReplyWatch {
public:
    CReplyWatch(platform::IClock& clock, std::function<void(std::uint64_t)> onExpiry);
    ~CReplyWatch();
    CReplyWatch(const CReplyWatch&) = delete;
    CReplyWatch& operator=(const CReplyWatch&) = delete;

    void Arm(std::chrono::milliseconds timeout, std::uint64_t sequence);
    void Disarm();
    void Stop();

private:
    void Run();

    platform::IClock& m_clock;
    std::function<void(std::uint64_t)> m_onExpiry;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::int64_t m_nDeadlineMs = 0;
    std::uint64_t m_nChanges = 0;  // counts Arm, Disarm and Stop, so the thread sees each one
    std::uint64_t m_nSequence = 0;
    bool m_bArmed = false;
    bool m_bStopping = false;
    std::thread m_thread;
};
