#pragma once

#include <initializer_list>

#include "lpt/CChipAlgorithm.h"

// Algorithm code 2: the serial programming instructions of 51-series flash chips (programming
// enable, chip erase, byte write with data polling, byte and page read, signature, lock bits
// written and read back).
class CSpiByteAlgorithm : public CChipAlgorithm {
public:
    CSpiByteAlgorithm() : CChipAlgorithm(2) {}

    void Begin() override;
    void ReadSignature(std::uint8_t* signature) override;
    void Erase() override;
    int WriteByte(std::uint8_t data, int address) override;
    std::uint8_t ReadByte(int address) override;
    // A whole page (page-aligned address, at least a page to read, page reads on) in one
    // page-mode instruction; otherwise one byte.
    int ReadBlock(int address, int count, std::uint8_t* out) override;
    bool ReadOutLocked() override;
    int WriteLock(int level) override;
    void End() override;

private:
    // Sends one instruction: the leading bytes given replace those of the transmit buffer, the
    // rest go out as they were left. Returns the byte received during the fourth byte.
    std::uint8_t Instruction(std::initializer_list<std::uint8_t> bytes);
    // The lock level the chip reports (the highest of LB1..LB3 programmed, 0 for none), or -1
    // when MISO reads all ones and no chip answered the last programming enable.
    int ReadLockLevel();

    std::uint8_t m_byEnableAnswer = 0;  // answer to the last programming enable
};
