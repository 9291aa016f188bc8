#include "CChipLoop.h"

bool CChipLoop::Run() {
    for (;;) {
        m_hooks.awaitingChip();
        if (!WaitUntil(true)) return false;
        const std::optional<bool> passed = m_hooks.program();
        if (!passed) return false;
        ++(*passed ? m_nPassed : m_nFailed);
        m_hooks.result(*passed, m_nPassed, m_nFailed);
        if (m_nGoodChips > 0 && m_nPassed >= m_nGoodChips) return true;
        // A chip that is still in the socket is the one just programmed, never the next one.
        if (!WaitUntil(false)) return false;
    }
}

bool CChipLoop::WaitUntil(bool present) {
    for (;;) {
        const Presence presence = m_hooks.probe();
        if (presence == Presence::Stopped) return false;
        if ((presence == Presence::Present) == present) return true;
        if (!m_hooks.pause()) return false;
    }
}
