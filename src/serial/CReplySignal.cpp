#include "serial/CReplySignal.h"

#include <algorithm>

void CReplySignal::Set(const std::uint8_t* bytes, int count) {
    {
        std::lock_guard lock(m_mutex);
        std::copy_n(bytes, std::clamp(count, 0, kMaxBytes), m_bytes.begin());
        m_bSet = true;
    }
    m_cv.notify_all();
}

void CReplySignal::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSet = false;
}

void CReplySignal::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_bCancelled = true;
    }
    m_cv.notify_all();
}

CReplySignal::WaitResult CReplySignal::Wait(std::chrono::milliseconds timeout,
                                            std::array<std::uint8_t, kMaxBytes>& out) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_bSet || m_bCancelled; })) {
        return WaitResult::TimedOut;
    }
    if (m_bCancelled) return WaitResult::Cancelled;
    out = m_bytes;
    m_bSet = false;
    return WaitResult::Signalled;
}
