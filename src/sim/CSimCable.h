#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>

#include "sim/CShiftWriteAdapter.h"
#include "sim/CTargetChip.h"

// A simulated parallel-port download cable with what hangs on it: the port's three registers,
// turned into connector levels with the port's own inversions, routed to the cable's MOSI, SCK
// and RST lines for its cable type, and MISO fed back to its status pin. The Kestavo cable (type
// 1) has a latch and an output buffer: its MOSI, SCK and RST follow the port only while LE is at
// its enable level and hold otherwise, and the chip sees them only while OE is at its enable
// level (otherwise RST low). The other cables pass their lines straight through. A chip and a
// shift-write adapter (answering on pin 13) may be attached. One thread drives the cable at a
// time; the counters may be read from any thread.
class CSimCable {
public:
    // Connector pins of the cable's lines (0: none) and the active levels of LE and OE.
    struct Wiring {
        int nPinMOSI = 0;
        int nPinMISO = 0;
        int nPinSCK = 0;
        int nPinRST = 0;
        int nPinLE = 0;
        int nPinOE = 0;
        int nLEEnable = 1;
        int nOEEnable = 0;
        bool bLatched = false;  // the LE latch and the OE buffer gate the lines
    };

    // The wiring of cable type 1..4 as built (type 1 for any other value).
    static Wiring DefaultWiring(int cableType);

    explicit CSimCable(const Wiring& wiring);

    // The cable takes ownership; either may be absent.
    void AttachChip(std::unique_ptr<CTargetChip> chip);
    void AttachShiftAdapter(std::unique_ptr<CShiftWriteAdapter> adapter);
    CTargetChip* Chip() const { return m_pChip.get(); }
    CShiftWriteAdapter* ShiftAdapter() const { return m_pAdapter.get(); }

    // The port's registers, as raw register values.
    void WriteData(std::uint8_t value);
    void WriteControl(std::uint8_t value);
    std::uint8_t ReadData();
    std::uint8_t ReadStatus();
    std::uint8_t ReadControl();

    // The same port at connector level, for access made of single lines (GPIO): drives the
    // output pins given (other pins are ignored) in one step, as one register write would; and
    // reads the level of a pin (an output as driven, an input as the cable drives it).
    void SetOutputPins(std::span<const std::pair<int, bool>> levels);
    bool PinLevel(int pin);

    // Register accesses so far.
    std::uint64_t PortWrites() const { return m_nWrites.load(std::memory_order_relaxed); }
    std::uint64_t PortReads() const { return m_nReads.load(std::memory_order_relaxed); }

private:
    // Connector level of an output pin (1 to 9, 14, 16, 17) from the registers; false otherwise.
    bool OutputLevel(int pin) const;
    // Connector level of an input pin as the cable drives it; unconnected pins are pulled high.
    bool InputLevel(int pin) const;
    void Propagate();
    static void Count(std::atomic<std::uint64_t>& counter);

    Wiring m_wiring;
    std::uint8_t m_byData = 0;
    std::uint8_t m_byControl = 0;
    bool m_bLatchRst = false;  // latch outputs of the Kestavo cable
    bool m_bLatchSck = false;
    bool m_bLatchMosi = false;
    std::unique_ptr<CTargetChip> m_pChip;
    std::unique_ptr<CShiftWriteAdapter> m_pAdapter;
    std::atomic<std::uint64_t> m_nWrites{0};
    std::atomic<std::uint64_t> m_nReads{0};
};
