#pragma once

#include "core/IIspLink.h"

class CParallelIsp;

// The parallel cable as an ISP link: instructions clocked bit by bit through the backend's bit
// layer (whatever port access it opened: ppdev, direct I/O, GPIO lines, simulated). The port is
// opened by the backend, so Open only confirms; the link never fails on its own and its waits
// are the backend's, ended early by its stop request.
class CBitBangLink : public IIspLink {
public:
    // The backend outlives the link.
    explicit CBitBangLink(CParallelIsp& port) : m_port(port) {}

    bool Open() override { return true; }
    // RST, MOSI and SCK low, 10 ms, RST high, 10 ms, then the instruction.
    int Enter(const IspInstruction& enable) override;
    bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) override;
    // 0x30 and the high byte, then the page clocked in with MOSI left as it is.
    bool ReadPage(std::uint8_t high, std::uint8_t* out) override;
    // RST low, MOSI and SCK high.
    void Leave() override;
    std::string Reason() const override { return {}; }

private:
    std::uint8_t Send(const IspInstruction& instruction);

    CParallelIsp& m_port;
};
