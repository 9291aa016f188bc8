#pragma once

#include <signal.h>

#include <atomic>
#include <thread>

#include "core/IProgrammerOwner.h"

// Turns SIGINT and SIGTERM into an orderly stop. The signals are blocked in the creating thread
// and in every thread started after it, and taken by a thread of its own, which records the
// signal and wakes the owner's loop with kInterruptEvent. The loop then lets the backend stop and
// release the port, prints its line and leaves. Should the loop not leave within kGraceMs (it may
// be reading a stream that never ends), the watch prints the line and ends the process itself.
// Make it on the main thread before any other thread starts; it must outlive the owner's use.
class CInterruptWatch {
public:
    static constexpr int kInterruptEvent = -1;
    static constexpr int kGraceMs = 3000;

    explicit CInterruptWatch(IProgrammerOwner& owner);
    ~CInterruptWatch();
    CInterruptWatch(const CInterruptWatch&) = delete;
    CInterruptWatch& operator=(const CInterruptWatch&) = delete;

    // The signal taken, 0 while none came.
    int Signal() const { return m_nSignal.load(); }

    // Prints the interrupted line once and returns the exit status (128 + signal); the caller
    // returns it. Only after Signal() is nonzero.
    int Finish();

private:
    void Run();
    bool WaitForSignal(int& signal);

    IProgrammerOwner& m_owner;
    sigset_t m_set{};
    std::atomic<int> m_nSignal{0};
    std::atomic<bool> m_bDone{false};
    std::atomic<bool> m_bLinePrinted{false};
    std::thread m_thread;
};
