#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/IProgrammerOwner.h"

// A thread-safe controller owner for the command line and for tests: events are queued in posting
// order and taken by the owning thread with WaitEvent; the chip list is a plain list of names.
class CEventQueue : public IProgrammerOwner {
public:
    void PostProgrammerEvent(int code) override;
    void InsertChipItem(int index, const std::string& name) override;
    void SelectChipItem(int index) override;

    // The next event, or nothing when none arrives within the timeout.
    std::optional<int> WaitEvent(std::chrono::milliseconds timeout);

    // The events queued so far, without waiting; the queue is emptied.
    std::vector<int> TakeAll();

    // After Close, posts and selections are ignored (the owner is going away).
    void Close();

    std::vector<std::string> Items() const;
    int SelectedItem() const { return m_nSelected.load(); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<int> m_events;
    std::vector<std::string> m_items;
    std::atomic<int> m_nSelected{-1};
    std::atomic<bool> m_bClosed{false};
};
