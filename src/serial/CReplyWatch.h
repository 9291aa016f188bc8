#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A watchdog for a command frame's reply: armed when a frame that expects a reply is sent,
// disarmed when any reply arrives, and when it expires it calls its handler once on its own
// thread. It keeps a silent or unplugged box from leaving the backend waiting for ever.
// Arm and Disarm may be called from any thread; Stop (or the destructor) joins the thread and
// returns with the handler no longer running.
class CReplyWatch {
public:
    explicit CReplyWatch(std::function<void()> onExpiry);
    ~CReplyWatch();
    CReplyWatch(const CReplyWatch&) = delete;
    CReplyWatch& operator=(const CReplyWatch&) = delete;

    void Arm(std::chrono::milliseconds timeout);
    void Disarm();
    void Stop();

private:
    void Run();

    std::function<void()> m_onExpiry;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_bArmed = false;
    bool m_bStopping = false;
    std::thread m_thread;
};
