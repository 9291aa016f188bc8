#include "serial/CReplyWatch.h"

CReplyWatch::CReplyWatch(platform::IClock& clock, std::function<void(std::uint64_t)> onExpiry)
    : m_clock(clock), m_onExpiry(std::move(onExpiry)), m_thread([this] { Run(); }) {}

CReplyWatch::~CReplyWatch() {
    Stop();
}

void CReplyWatch::Arm(std::chrono::milliseconds timeout, std::uint64_t sequence) {
    {
        std::lock_guard lock(m_mutex);
        m_bArmed = true;
        m_nSequence = sequence;
        m_nDeadlineMs = m_clock.NowMs() + timeout.count();
        ++m_nChanges;
    }
    m_cv.notify_all();
}

void CReplyWatch::Disarm() {
    std::lock_guard lock(m_mutex);
    m_bArmed = false;
    ++m_nChanges;
}

void CReplyWatch::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
        ++m_nChanges;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CReplyWatch::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_bStopping) {
        const std::uint64_t seen = m_nChanges;
        const auto changed = [this, seen] { return m_nChanges != seen; };
        if (!m_bArmed) {
            m_cv.wait(lock, changed);
        } else if (!m_clock.WaitUntil(m_cv, lock, m_nDeadlineMs, changed)) {
            m_bArmed = false;
            const std::uint64_t sequence = m_nSequence;
            lock.unlock();
            m_onExpiry(sequence);
            lock.lock();
        }
    }
}
