#include "serial/CReplySignal.h"

#include <algorithm>

void CReplySignal::Set(const std::uint8_t* bytes, int count) {
    std::lock_guard lock(m_mutex);
    if (m_replies.size() == kMaxQueued) return;
    Reply& reply = m_replies.emplace_back();
    reply.count = std::max(count, 0);
    std::copy_n(bytes, std::min(reply.count, kMaxBytes), reply.bytes.begin());
}

void CReplySignal::Reset() {
    std::lock_guard lock(m_mutex);
    m_replies.clear();
}

void CReplySignal::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_bCancelled = true;
    }
    m_cv.notify_all();
}

CReplySignal::WaitResult CReplySignal::Wait(std::chrono::milliseconds timeout, Reply& out) {
    std::unique_lock lock(m_mutex);
    const std::int64_t deadline = m_clock.NowMs() + timeout.count();
    if (!m_clock.WaitUntil(m_cv, lock, deadline,
                           [this] { return !m_replies.empty() || m_bCancelled; })) {
        return WaitResult::TimedOut;
    }
    if (m_bCancelled) return WaitResult::Cancelled;
    out = m_replies.front();
    m_replies.pop_front();
    return WaitResult::Signalled;
}
