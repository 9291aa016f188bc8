#pragma once

#include <initializer_list>
#include <span>

#include "core/IIspLink.h"
#include "lpt/CChipAlgorithm.h"

// Algorithm code 2: the serial programming instructions of 51-series flash chips (programming
// enable, chip erase, byte write with data polling, byte and page read, signature, lock bits
// written and read back), sent through the backend's ISP link.
class CSpiByteAlgorithm : public CChipAlgorithm {
public:
    CSpiByteAlgorithm() : CChipAlgorithm(2) {}

    // Enters programming mode; a missing 0x69 answer is the fault kNoChipAnswer.
    void Begin() override;
    void ReadSignature(std::uint8_t* signature) override;
    void Erase() override;
    int WriteByte(std::uint8_t data, int address) override;
    std::uint8_t ReadByte(int address) override;
    // A whole page (page-aligned address, at least a page to read, page reads on and trusted) in
    // one page-mode read; otherwise up to 64 bytes, not past the page's end, in one batch.
    int ReadBlock(int address, int count, std::uint8_t* out) override;
    bool ReadOutLocked() override;
    int WriteLock(int level) override;
    void End() override;

private:
    // What is known of the chip's page-mode reads, for the backend's life.
    enum class PageMode { kUnchecked, kTrusted, kOff };

    // The next instruction: the leading bytes given replace those of the last one sent, the rest
    // are sent as they were left (the bit layer's transmit buffer keeps them the same way).
    IspInstruction Compose(std::initializer_list<std::uint8_t> bytes);
    // Sends through the link unless a fault is set; a failed link sets kLinkFailed.
    bool Exchange(std::span<const IspInstruction> in, std::span<std::uint8_t> answers);
    // Sends one instruction; returns the byte received during the fourth byte (0xFF on a fault).
    std::uint8_t Instruction(std::initializer_list<std::uint8_t> bytes);
    // Byte reads of count bytes (at most a page) from the address, as one batch.
    void ReadBytes(int address, int count, std::uint8_t* out);
    // A page-mode read into out; false when the link does not clock page reads. Until a page
    // shows that the chip performs them, the page is also read byte by byte: when the two differ,
    // the byte reads are kept, page reads end and the backend says so.
    bool ReadPage(int address, std::uint8_t* out);
    // The lock level the chip reports (the highest of LB1..LB3 programmed, 0 for none), or -1
    // when MISO reads all ones and no chip answered the last programming enable.
    int ReadLockLevel();

    IspInstruction m_tx{};              // the last instruction composed
    std::uint8_t m_byEnableAnswer = 0;  // answer to the last programming enable
    PageMode m_pageMode = PageMode::kUnchecked;
};
