#include "serial/CReplyWatch.h"

CReplyWatch::CReplyWatch(std::function<void(std::uint64_t)> onExpiry)
    : m_onExpiry(std::move(onExpiry)), m_thread([this] { Run(); }) {}

CReplyWatch::~CReplyWatch() {
    Stop();
}

void CReplyWatch::Arm(std::chrono::milliseconds timeout, std::uint64_t sequence) {
    {
        std::lock_guard lock(m_mutex);
        m_bArmed = true;
        m_nSequence = sequence;
        m_deadline = std::chrono::steady_clock::now() + timeout;
    }
    m_cv.notify_all();
}

void CReplyWatch::Disarm() {
    std::lock_guard lock(m_mutex);
    m_bArmed = false;
}

void CReplyWatch::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CReplyWatch::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_bStopping) {
        if (!m_bArmed) {
            m_cv.wait(lock);
        } else if (std::chrono::steady_clock::now() < m_deadline) {
            m_cv.wait_until(lock, m_deadline);
        } else {
            m_bArmed = false;
            const std::uint64_t sequence = m_nSequence;
            lock.unlock();
            m_onExpiry(sequence);
            lock.lock();
        }
    }
}
