#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/IIspLink.h"
#include "sim/CTargetChip.h"

// The simulated chip as a programmer sees it at instruction level: each 4-byte instruction in,
// the 4 bytes the chip shifts out back, and RST driven directly. It is also a complete ISP link
// (it never fails), so the command set and the backends can run over the simulated chip without a
// simulated cable; the emulators of other programmers use Exchange for what their devices clock.
// The chip is not owned and must outlive the adapter; one thread drives it at a time.
class CChipInstructionAdapter : public IIspLink {
public:
    explicit CChipInstructionAdapter(CTargetChip& chip) : m_chip(chip) {}

    // The bytes the chip shifts out while the instruction's four bytes go in: nothing before the
    // fourth byte, then the instruction's answer; all ones from an absent chip.
    std::array<std::uint8_t, 4> Exchange(const IspInstruction& instruction);
    // RST at the chip; low leaves programming mode.
    void SetReset(bool high) { m_chip.SetReset(high); }
    CTargetChip& Chip() const { return m_chip; }

    bool Open() override { return true; }
    int Enter(const IspInstruction& enable) override;
    bool Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) override;
    bool ReadPage(std::uint8_t high, std::uint8_t* out) override;
    void Leave() override { m_chip.SetReset(false); }
    std::string Reason() const override { return {}; }

private:
    CTargetChip& m_chip;
};
