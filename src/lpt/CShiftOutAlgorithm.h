#pragma once

#include "lpt/CChipAlgorithm.h"

// Algorithm code 3: the target only takes data bytes shifted out least significant bit first;
// it has no programming mode, erase, read-back or lock bits, and a fixed signature 08 1F FF.
// The reset handshake around a write is the write worker's.
class CShiftOutAlgorithm : public CChipAlgorithm {
public:
    CShiftOutAlgorithm() : CChipAlgorithm(3) {}

    void Begin() override {}
    void ReadSignature(std::uint8_t* signature) override;
    void Erase() override {}
    int WriteByte(std::uint8_t data, int address) override;
    std::uint8_t ReadByte(int) override { return 0x01; }
    int WriteLock(int) override { return 1; }
    void End() override {}
};
