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
    // Reads bytes from the address on into out, at most count (at least 1); returns how many.
    // One byte at a time unless the command set reads more in one go.
    virtual int ReadBlock(int address, int count, std::uint8_t* out) {
        (void)count;
        out[0] = ReadByte(address);
        return 1;
    }
    // True when the chip's lock bits forbid reading its flash out.
    virtual bool ReadOutLocked() { return false; }
    // Programs the lock bits of lock mode 1 to 3; nonzero when the chip confirms the level (a
    // command set that cannot read the lock bits back always says so).
    virtual int WriteLock(int level) = 0;
    // Leaves programming mode; the next operation starts without a fault.
    virtual void End() = 0;

    // Why the commands since Begin cannot be trusted: the chip did not answer programming enable,
    // or the link failed. Once set, the commands send nothing more until End.
    enum class Fault { kNone, kNoChipAnswer, kLinkFailed };
    Fault LastFault() const { return m_fault; }

    const std::uint8_t m_nCode;

protected:
    CParallelIsp* m_pPort = nullptr;
    Fault m_fault = Fault::kNone;
};
