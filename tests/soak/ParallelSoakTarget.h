#pragma once

#include "SoakTarget.h"
#include "lpt/ILptClock.h"
#include "sim/CSimCable.h"

// The parallel backend on the Kestavo cable at the fastest cable speed, on a simulated cable with
// an AT89S52. Faults: an address that never finishes programming, and no chip on the cable.
class ParallelSoakTarget : public ISoakTarget {
public:
    const char* Name() const override { return "parallel"; }
    void Configure(SettingsRecord& settings) override;
    BackendFactory Factory() override;
    CycleFault Arrange(int cycle, int imageLength) override;

private:
    // The steady clock, with every wait cut to a tenth: the simulated chip needs no erase or
    // reset time, and the soak counts resources, not time. Worker thread.
    class BriskClock : public ILptClock {
    public:
        void SleepMs(int ms) override { SystemLptClock().SleepMs(ms / 10); }
        std::int64_t NowMs() override { return SystemLptClock().NowMs(); }
    };

    BriskClock m_clock;
    CSimCable* m_pCable = nullptr;  // owned by the backend, which the session keeps
};
