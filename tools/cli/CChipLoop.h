#pragma once

#include <functional>
#include <optional>

// The chip-by-chip loop of a production run: wait until a chip answers, program it, count it as
// passed or failed, wait until it is taken out, and again, until enough chips passed or the run
// is stopped. The hooks do the work, so the loop knows nothing of programmers.
class CChipLoop {
public:
    enum class Presence { Present, Absent, Stopped };

    struct Hooks {
        std::function<Presence()> probe;  // is a chip in the socket now?
        // One chip's chain: whether it passed, nothing when the run was stopped during it.
        std::function<std::optional<bool>()> program;
        std::function<bool()> pause;         // waits before the next probe; false: stopped
        std::function<void()> awaitingChip;  // the loop starts waiting for a chip
        // A chip's result with the counts so far, this chip included.
        std::function<void(bool passed, int passedCount, int failedCount)> result;
    };

    // goodChips: stop after this many passed (0: until stopped).
    CChipLoop(Hooks hooks, int goodChips) : m_hooks(std::move(hooks)), m_nGoodChips(goodChips) {}

    // Runs until goodChips passed (true) or a hook said stop (false).
    bool Run();

    int Passed() const { return m_nPassed; }
    int Failed() const { return m_nFailed; }

private:
    // Probes until the chip's presence is the one wanted; false when stopped.
    bool WaitUntil(bool present);

    Hooks m_hooks;
    int m_nGoodChips;
    int m_nPassed = 0;
    int m_nFailed = 0;
};
