#pragma once

#include <cstdint>

class CParallelIsp;

// A chip command set for one algorithm code: how the chips that carry the code are put into
// programming mode, read, written, erased and locked over the parallel cable. Owned by
// CParallelIsp and run only by the worker that owns the backend at the time.
class CChipAlgorithm {
public:
    explicit CChipAlgorithm(std::uint8_t code) : m_nCode(code) {}
    virtual ~CChipAlgorithm() = default;
    CChipAlgorithm(const CChipAlgorithm&) = delete;
    CChipAlgorithm& operator=(const CChipAlgorithm&) = delete;

    // Stores the backend the commands drive (owned elsewhere, outlives this object).
    virtual void Attach(CParallelIsp* port) { m_pPort = port; }

    virtual void Begin() = 0;
    // Signature bytes 0, 1, 2 into signature[0..2].
    virtual void ReadSignature(std::uint8_t* signature) = 0;
    virtual void Erase() = 0;
    // Nonzero when the byte was programmed.
    virtual int WriteByte(std::uint8_t data, int address) = 0;
    virtual std::uint8_t ReadByte(int address) = 0;
    // Programs the lock bits of lock mode 1 to 3; always nonzero.
    virtual int WriteLock(int level) = 0;
    virtual void End() = 0;

    const std::uint8_t m_nCode;

protected:
    CParallelIsp* m_pPort = nullptr;
};
