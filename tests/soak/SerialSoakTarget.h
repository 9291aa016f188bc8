#pragma once

#include "SoakTarget.h"
#include "sim/CBoxEmulator.h"

// The serial backend at 57600 baud on COM1, which names the pseudo-terminal of a box emulator
// this target runs (unpaced, an AT89S52 inside). The backend's time-outs are shortened so that
// the cycles with a missing reply end quickly. Faults: a rejected block, a lost acknowledge, a
// read block lost once (the retry recovers it) and twice, and an erase reply cut short.
class SerialSoakTarget : public ISoakTarget {
public:
    SerialSoakTarget();
    ~SerialSoakTarget() override;

    // False when no pseudo-terminal could be had.
    bool Started() const { return m_bStarted; }

    const char* Name() const override { return "serial"; }
    void Configure(SettingsRecord& settings) override;
    BackendFactory Factory() override;
    CycleFault Arrange(int cycle, int imageLength) override;

private:
    CBoxEmulator m_box;
    bool m_bStarted = false;
};
