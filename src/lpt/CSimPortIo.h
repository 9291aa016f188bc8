#pragma once

#include <memory>

#include "lpt/IPortIo.h"
#include "sim/CSimCable.h"

// Port access that drives a simulated cable (and whatever hangs on it) instead of hardware.
class CSimPortIo : public IPortIo {
public:
    // Takes ownership of the cable.
    explicit CSimPortIo(std::unique_ptr<CSimCable> cable) : m_pCable(std::move(cable)) {}

    bool Open() override { return true; }
    std::uint8_t ReadData() override { return m_pCable->ReadData(); }
    std::uint8_t ReadStatus() override { return m_pCable->ReadStatus(); }
    std::uint8_t ReadControl() override { return m_pCable->ReadControl(); }
    void WriteData(std::uint8_t value) override { m_pCable->WriteData(value); }
    void WriteControl(std::uint8_t value) override { m_pCable->WriteControl(value); }

    CSimCable& Cable() const { return *m_pCable; }

private:
    std::unique_ptr<CSimCable> m_pCable;
};
