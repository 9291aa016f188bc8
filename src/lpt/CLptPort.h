#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "lpt/IPortIo.h"

// The parallel port at the level of DB-25 pins: shadows of the data and control registers (every
// write sends the whole shadow), pin numbers mapped to register bits with the port's inversions
// hidden (high and low always mean the connector level), and the choice of port access. Set up
// on the owner's thread; afterwards driven by one thread at a time.
class CLptPort {
public:
    // Creates the (unopened) access the device name stands for; null when there is none.
    using PortIoFactory = std::function<std::unique_ptr<IPortIo>(const std::string& device)>;

    explicit CLptPort(PortIoFactory factory);
    virtual ~CLptPort();
    CLptPort(const CLptPort&) = delete;
    CLptPort& operator=(const CLptPort&) = delete;

    // Opens the configured access (Dranvik.ini [Devices] LPT or its override); without one, ppdev
    // on /dev/parport0 and then direct I/O at base, with a message box for each failure. Nonzero
    // when the registers can be reached.
    int InitPortIo(std::uint16_t base);

    // Register access; without an open access reads give 0xFF and writes go nowhere.
    std::uint8_t ReadData();
    std::uint8_t ReadStatus();
    std::uint8_t ReadControl();
    void WriteData(std::uint8_t value);
    void WriteControl(std::uint8_t value);

    // Drive an output pin and return 1; input-only pins and pins without a bit return 0 and
    // write nothing.
    int PinHigh(int pin);
    int PinLow(int pin);
    int SetPin(int pin, int level);
    // Reads the pin's register into its shadow; nonzero when the pin is high at the connector
    // (the bit's mask for non-inverted pins, 1 for inverted ones); 0 for pins without a bit.
    int GetPin(int pin);

protected:
    std::string m_strDevice;  // device name of the access in use
    std::uint8_t m_byControl = 0;
    std::uint8_t m_byData = 0;
    std::uint8_t m_byStatus = 0;
    std::uint16_t m_wControlPort = 0;
    std::uint16_t m_wDataPort = 0;
    std::uint16_t m_wStatusPort = 0;
    int m_bDirectIo = 0;

private:
    int Drive(int pin, bool high);
    bool OpenAccess(const std::string& device);

    PortIoFactory m_portIoFactory;
    std::unique_ptr<IPortIo> m_pPortIo;
};
