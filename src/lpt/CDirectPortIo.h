#pragma once

#include <cstdint>

#include "lpt/IPortIo.h"

// Port access with the processor's in/out instructions after ioperm: needs CAP_SYS_RAWIO and
// exists only on x86; elsewhere Open fails.
class CDirectPortIo : public IPortIo {
public:
    // base: I/O address of the data register; status and control follow it.
    explicit CDirectPortIo(std::uint16_t base) : m_wBase(base) {}
    ~CDirectPortIo() override;

    bool Open() override;
    std::uint8_t ReadData() override { return In(0); }
    std::uint8_t ReadStatus() override { return In(1); }
    std::uint8_t ReadControl() override { return In(2); }
    void WriteData(std::uint8_t value) override { Out(0, value); }
    void WriteControl(std::uint8_t value) override { Out(2, value); }

private:
    std::uint8_t In(int offset);
    void Out(int offset, std::uint8_t value);

    std::uint16_t m_wBase;
    bool m_bOpen = false;
};
