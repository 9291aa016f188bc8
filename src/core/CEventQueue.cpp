#include "core/CEventQueue.h"

#include <algorithm>

void CEventQueue::PostProgrammerEvent(int code) {
    if (m_bClosed) return;
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(code);
    }
    m_cv.notify_all();
}

void CEventQueue::InsertChipItem(int index, const std::string& name) {
    std::lock_guard lock(m_mutex);
    const auto pos = static_cast<size_t>(std::max(0, index));
    if (pos >= m_items.size()) m_items.resize(pos + 1);
    m_items[pos] = name;
}

void CEventQueue::SelectChipItem(int index) {
    if (!m_bClosed) m_nSelected = index;
}

std::optional<int> CEventQueue::WaitEvent(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return !m_events.empty(); })) return std::nullopt;
    int code = m_events.front();
    m_events.pop_front();
    return code;
}

std::vector<int> CEventQueue::TakeAll() {
    std::lock_guard lock(m_mutex);
    std::vector<int> out(m_events.begin(), m_events.end());
    m_events.clear();
    return out;
}

void CEventQueue::Close() {
    m_bClosed = true;
}

std::vector<std::string> CEventQueue::Items() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}
