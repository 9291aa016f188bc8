#include "lpt/CSpiByteAlgorithm.h"

#include <algorithm>
#include <array>

#include "core/ProgrammerEvents.h"
#include "lpt/CParallelIsp.h"

namespace {

constexpr int kPollReads = 1000;          // data-polling reads before a byte counts as failed
constexpr int kPageSize = 256;            // bytes of one page-mode read
constexpr std::uint8_t kLockBit1 = 0x04;  // LB1 in the lock-bit byte; LB2, LB3 are the next bits
constexpr int kReadOutLockLevel = 2;      // from this level on the flash reads back as nothing
constexpr std::uint8_t kEnableAnswer = 0x69;  // a chip's echo to the programming enable
constexpr std::uint8_t kPageReadOpcode = 0x30;
// Byte reads sent as one batch: enough for a link to keep many in flight, few enough that a stop
// request is seen soon on the bit-banged port.
constexpr int kReadBatch = 64;

std::uint8_t High(int address) {
    return static_cast<std::uint8_t>(address >> 8);
}
std::uint8_t Low(int address) {
    return static_cast<std::uint8_t>(address);
}

}  // namespace

IspInstruction CSpiByteAlgorithm::Compose(std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), m_tx.begin());
    return m_tx;
}

bool CSpiByteAlgorithm::Exchange(std::span<const IspInstruction> in,
                                 std::span<std::uint8_t> answers) {
    if (m_fault != Fault::kNone) return false;
    if (m_pPort->Link().Transact(in, answers)) return true;
    m_fault = Fault::kLinkFailed;
    return false;
}

std::uint8_t CSpiByteAlgorithm::Instruction(std::initializer_list<std::uint8_t> bytes) {
    const IspInstruction instruction = Compose(bytes);
    std::uint8_t answer = 0xFF;
    Exchange({&instruction, 1}, {&answer, 1});
    return answer;
}

void CSpiByteAlgorithm::Begin() {
    if (m_fault != Fault::kNone) return;
    const int answer = m_pPort->Link().Enter(Compose({0xAC, 0x53}));
    m_byEnableAnswer = answer < 0 ? 0xFF : static_cast<std::uint8_t>(answer);
    if (answer < 0) {
        m_fault = Fault::kLinkFailed;
    } else if (answer != kEnableAnswer) {
        m_fault = Fault::kNoChipAnswer;
    }
}

void CSpiByteAlgorithm::ReadSignature(std::uint8_t* signature) {
    std::array<IspInstruction, 3> reads{};
    for (std::uint8_t i = 0; i < 3; ++i) reads[i] = Compose({0x28, i, 0x00, 0x00});
    std::array<std::uint8_t, 3> answers{0xFF, 0xFF, 0xFF};
    Exchange(reads, answers);
    std::copy(answers.begin(), answers.end(), signature);
}

void CSpiByteAlgorithm::Erase() {
    Instruction({0xAC, 0x80});
    m_pPort->Wait(500);
}

int CSpiByteAlgorithm::WriteByte(std::uint8_t data, int address) {
    // The write and its first data-polling read go out as one batch, so a link that keeps
    // instructions in flight spends a single round trip on a byte that programs at once.
    const std::array<IspInstruction, 2> batch = {Compose({0x40, High(address), Low(address), data}),
                                                 Compose({0x20, High(address), Low(address)})};
    std::array<std::uint8_t, 2> answers{};
    const bool polled = !m_pPort->Stopping();
    if (!Exchange(std::span(batch).first(polled ? 2 : 1), answers)) return 0;
    if (polled && answers[1] == data) return 1;
    for (int read = 1; read < kPollReads && !m_pPort->Stopping(); ++read) {
        if (ReadByte(address) == data) return 1;
        if (m_fault != Fault::kNone) return 0;
    }
    return 0;
}

std::uint8_t CSpiByteAlgorithm::ReadByte(int address) {
    return Instruction({0x20, High(address), Low(address)});
}

void CSpiByteAlgorithm::ReadBytes(int address, int count, std::uint8_t* out) {
    std::array<IspInstruction, kPageSize> reads{};
    const auto n = static_cast<std::size_t>(std::clamp(count, 0, kPageSize));
    for (std::size_t i = 0; i < n; ++i) {
        const int a = address + static_cast<int>(i);
        reads[i] = Compose({0x20, High(a), Low(a)});
    }
    Exchange(std::span(reads).first(n), {out, n});
}

bool CSpiByteAlgorithm::ReadPage(int address, std::uint8_t* out) {
    if (m_fault != Fault::kNone || !m_pPort->Link().ReadPage(High(address), out)) return false;
    m_tx[0] = kPageReadOpcode;
    m_tx[1] = High(address);
    if (m_pageMode == PageMode::kTrusted) return true;
    std::array<std::uint8_t, kPageSize> bytes{};
    ReadBytes(address, kPageSize, bytes.data());
    if (m_fault != Fault::kNone) return true;
    if (!std::equal(bytes.begin(), bytes.end(), out)) {
        std::copy(bytes.begin(), bytes.end(), out);
        m_pageMode = PageMode::kOff;
        m_pPort->Post(PE_PAGE_READ_OFF);
    } else if (std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0xFF; })) {
        // An erased page reads 0xFF both ways even from a chip that ignores page reads, so only
        // a page holding data shows that the chip performs them.
        m_pageMode = PageMode::kTrusted;
    }
    return true;
}

int CSpiByteAlgorithm::ReadBlock(int address, int count, std::uint8_t* out) {
    const int inPage = kPageSize - address % kPageSize;
    if (m_pPort->PageRead() && m_pageMode != PageMode::kOff && inPage == kPageSize &&
        count >= kPageSize && ReadPage(address, out)) {
        return kPageSize;
    }
    const int n = std::min({count, inPage, kReadBatch});
    ReadBytes(address, n, out);
    return n;
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
    m_pPort->Link().Leave();
    m_fault = Fault::kNone;
}
