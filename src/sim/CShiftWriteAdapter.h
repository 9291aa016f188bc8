#pragma once

#include <cstdint>
#include <vector>

// The simulated target of the shift write (algorithm code 3): it follows RST on pin 13 as its
// handshake (low after RST low, high after RST high) and, while RST is high, collects the bits
// clocked in on SCK's rising edge, least significant bit first, as bytes. Driven by one thread
// at a time (the cable's); read the collected bytes once that thread is idle.
class CShiftWriteAdapter {
public:
    void SetLines(bool rst, bool sck, bool mosi);

    // The level the adapter drives on connector pin 13.
    bool Pin13() const { return m_bRst; }

    // The complete bytes received since RST last went high.
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    bool m_bRst = false;
    bool m_bSck = false;
    int m_nBit = 0;  // bits of the current byte received so far
    std::uint8_t m_byCurrent = 0;
    std::vector<std::uint8_t> m_bytes;
};
