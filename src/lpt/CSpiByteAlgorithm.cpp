#include "lpt/CSpiByteAlgorithm.h"

#include <algorithm>

#include "lpt/CParallelIsp.h"

namespace {

constexpr int kPollReads = 1000;          // data-polling reads before a byte counts as failed
constexpr int kPageSize = 256;            // bytes of one page-mode read
constexpr std::uint8_t kLockBit1 = 0x04;  // LB1 in the lock-bit byte; LB2, LB3 are the next bits
constexpr int kReadOutLockLevel = 2;      // from this level on the flash reads back as nothing
constexpr std::uint8_t kEnableAnswer = 0x69;  // a chip's echo to the programming enable

std::uint8_t High(int address) {
    return static_cast<std::uint8_t>(address >> 8);
}
std::uint8_t Low(int address) {
    return static_cast<std::uint8_t>(address);
}

}  // namespace

std::uint8_t CSpiByteAlgorithm::Instruction(std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), m_pPort->m_TxBuf.begin());
    m_pPort->Transfer(4);
    return m_pPort->m_RxBuf[3];
}

void CSpiByteAlgorithm::Begin() {
    m_pPort->SetRST(0);
    m_pPort->SetMOSI(0);
    m_pPort->SetSCK(0);
    m_pPort->Wait(10);
    m_pPort->SetRST(1);
    m_pPort->Wait(10);
    m_byEnableAnswer = Instruction({0xAC, 0x53});
}

void CSpiByteAlgorithm::ReadSignature(std::uint8_t* signature) {
    for (std::uint8_t i = 0; i < 3; ++i) signature[i] = Instruction({0x28, i, 0x00, 0x00});
}

void CSpiByteAlgorithm::Erase() {
    Instruction({0xAC, 0x80});
    m_pPort->Wait(500);
}

int CSpiByteAlgorithm::WriteByte(std::uint8_t data, int address) {
    Instruction({0x40, High(address), Low(address), data});
    for (int read = 0; read < kPollReads && !m_pPort->Stopping(); ++read) {
        if (ReadByte(address) == data) return 1;
    }
    return 0;
}

std::uint8_t CSpiByteAlgorithm::ReadByte(int address) {
    return Instruction({0x20, High(address), Low(address)});
}

int CSpiByteAlgorithm::ReadBlock(int address, int count, std::uint8_t* out) {
    if (!m_pPort->PageRead() || address % kPageSize != 0 || count < kPageSize)
        return CChipAlgorithm::ReadBlock(address, count, out);
    m_pPort->m_TxBuf[0] = 0x30;
    m_pPort->m_TxBuf[1] = High(address);
    m_pPort->Transfer(2);
    m_pPort->Receive(out, kPageSize);
    return kPageSize;
}

int CSpiByteAlgorithm::ReadLockLevel() {
    const std::uint8_t bits = Instruction({0x24, 0x00, 0x00, 0x00});
    // All ones is a line nobody drives, unless a chip answered the last programming enable.
    if (bits == 0xFF && m_byEnableAnswer != kEnableAnswer) return -1;
    int level = 0;
    for (int lb = 1; lb <= 3; ++lb) {
        if (bits & (kLockBit1 << (lb - 1))) level = lb;
    }
    return level;
}

bool CSpiByteAlgorithm::ReadOutLocked() {
    return ReadLockLevel() >= kReadOutLockLevel;
}

int CSpiByteAlgorithm::WriteLock(int level) {
    if (level >= 1) {
        Instruction({0xAC, 0xE1});
        m_pPort->Wait(1);
    }
    if (level >= 2) {
        Begin();
        Instruction({0xAC, 0xE2});
        m_pPort->Wait(1);
    }
    if (level == 3) {
        Begin();
        Instruction({0xAC, 0xE3});
        m_pPort->Wait(1);
    }
    return ReadLockLevel() == level;
}

void CSpiByteAlgorithm::End() {
    m_pPort->SetRST(0);
    m_pPort->SetMOSI(1);
    m_pPort->SetSCK(1);
}
