#include "sim/CChipInstructionAdapter.h"

std::array<std::uint8_t, 4> CChipInstructionAdapter::Exchange(const IspInstruction& instruction) {
    const std::uint8_t answer = m_chip.Execute(instruction);
    // Nothing drives MISO before the answer: an absent chip leaves it high there too.
    const std::uint8_t lead = m_chip.Absent() ? 0xFF : 0x00;
    return {lead, lead, lead, answer};
}

int CChipInstructionAdapter::Enter(const IspInstruction& enable) {
    m_chip.SetReset(false);
    m_chip.SetReset(true);
    return Exchange(enable)[3];
}

bool CChipInstructionAdapter::Transact(std::span<const IspInstruction> in,
                                       std::span<std::uint8_t> answers) {
    for (std::size_t i = 0; i < in.size() && i < answers.size(); ++i) {
        answers[i] = Exchange(in[i])[3];
    }
    return true;
}

bool CChipInstructionAdapter::ReadPage(std::uint8_t high, std::uint8_t* out) {
    m_chip.ReadPage(high, out);
    return true;
}
