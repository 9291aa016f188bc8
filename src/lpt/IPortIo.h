#pragma once

#include <cstdint>

// Access to the three registers of a parallel port (data, status, control) with raw register
// values: the port's own inversions are left to the caller. Created and opened on the owner's
// thread, then used by one thread at a time; the owner destroys it, which releases the port.
class IPortIo {
public:
    virtual ~IPortIo() = default;

    // Makes the registers reachable; false when that is not possible.
    virtual bool Open() = 0;

    virtual std::uint8_t ReadData() = 0;
    virtual std::uint8_t ReadStatus() = 0;
    virtual std::uint8_t ReadControl() = 0;
    virtual void WriteData(std::uint8_t value) = 0;
    virtual void WriteControl(std::uint8_t value) = 0;
};
