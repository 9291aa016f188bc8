#pragma once

#include <cstdint>

// One kind of programming hardware behind CProgrammer. Every operation is called on the owner's
// thread, returns at once and reports its outcome only as events posted through the controller.
// The destructor, called on the owner's thread, makes any running worker leave at its next byte
// or wait, joins it, and guarantees nothing is posted afterwards; it never waits for an operation
// to run to its end.
class IProgrammerBackend {
public:
    virtual ~IProgrammerBackend() = default;

    virtual void CheckReady(std::uint8_t code) = 0;
    virtual void DetectChip(std::uint8_t code) = 0;
    virtual void EraseChip(std::uint8_t code) = 0;
    virtual void WriteChip(std::uint8_t code) = 0;
    virtual void ReadChip(std::uint8_t code) = 0;
    virtual void WriteLockBits(std::uint8_t code, int level) = 0;
};
