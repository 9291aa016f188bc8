#include "lpt/CBitBangLink.h"

#include <algorithm>

#include "lpt/CParallelIsp.h"

namespace {

constexpr int kResetSettleMs = 10;  // each step of the reset sequence before programming enable
constexpr std::uint8_t kPageReadOpcode = 0x30;

}  // namespace

std::uint8_t CBitBangLink::Send(const IspInstruction& instruction) {
    std::copy(instruction.begin(), instruction.end(), m_port.m_TxBuf.begin());
    m_port.Transfer(4);
    return m_port.m_RxBuf[3];
}

int CBitBangLink::Enter(const IspInstruction& enable) {
    m_port.SetRST(0);
    m_port.SetMOSI(0);
    m_port.SetSCK(0);
    m_port.Wait(kResetSettleMs);
    m_port.SetRST(1);
    m_port.Wait(kResetSettleMs);
    return Send(enable);
}

bool CBitBangLink::Transact(std::span<const IspInstruction> in, std::span<std::uint8_t> answers) {
    for (std::size_t i = 0; i < in.size() && i < answers.size(); ++i) answers[i] = Send(in[i]);
    return true;
}

bool CBitBangLink::ReadPage(std::uint8_t high, std::uint8_t* out) {
    m_port.m_TxBuf[0] = kPageReadOpcode;
    m_port.m_TxBuf[1] = high;
    m_port.Transfer(2);
    m_port.Receive(out, 256);
    return true;
}

void CBitBangLink::Leave() {
    m_port.SetRST(0);
    m_port.SetMOSI(1);
    m_port.SetSCK(1);
}
