#include "sim/CSimCable.h"

namespace {

// Status register bits of the input pins and whether the port inverts them.
struct StatusPin {
    int pin;
    std::uint8_t mask;
    bool inverted;
};
constexpr StatusPin kStatusPins[] = {
    {10, 0x40, false}, {11, 0x80, true}, {12, 0x20, false}, {13, 0x10, false}, {15, 0x08, false},
};

// Control register bits of the output pins there and whether the port inverts them.
struct ControlPin {
    int pin;
    std::uint8_t mask;
    bool inverted;
};
constexpr ControlPin kControlPins[] = {
    {1, 0x01, true}, {14, 0x02, true}, {16, 0x04, false}, {17, 0x08, true}};

std::uint8_t WithBit(std::uint8_t value, std::uint8_t mask, bool set) {
    return static_cast<std::uint8_t>(set ? value | mask : value & ~mask);
}

}  // namespace

CSimCable::Wiring CSimCable::DefaultWiring(int cableType) {
    Wiring w;
    switch (cableType) {
        case 2:
            w = {2, 10, 1, 17, 4, 0, 0, 0, false};
            break;
        case 3:
        case 4:
            w = {8, 11, 2, 3, 14, 2, cableType == 4 ? 1 : 0, cableType == 4 ? 1 : 0, false};
            break;
        default:
            w = {14, 15, 1, 16, 17, 2, 1, 0, true};
            break;
    }
    return w;
}

CSimCable::CSimCable(const Wiring& wiring) : m_wiring(wiring) {}

void CSimCable::AttachChip(std::unique_ptr<CTargetChip> chip) {
    m_pChip = std::move(chip);
    Propagate();
}

void CSimCable::AttachShiftAdapter(std::unique_ptr<CShiftWriteAdapter> adapter) {
    m_pAdapter = std::move(adapter);
    Propagate();
}

void CSimCable::Count(std::atomic<std::uint64_t>& counter) {
    // Only the driving thread counts, so a plain load and store suffice.
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void CSimCable::WriteData(std::uint8_t value) {
    Count(m_nWrites);
    m_byData = value;
    Propagate();
}

void CSimCable::WriteControl(std::uint8_t value) {
    Count(m_nWrites);
    m_byControl = value;
    Propagate();
}

std::uint8_t CSimCable::ReadData() {
    Count(m_nReads);
    return m_byData;
}

std::uint8_t CSimCable::ReadControl() {
    Count(m_nReads);
    return m_byControl;
}

std::uint8_t CSimCable::ReadStatus() {
    Count(m_nReads);
    std::uint8_t value = 0;
    for (const StatusPin& p : kStatusPins) {
        if (InputLevel(p.pin) != p.inverted) value = static_cast<std::uint8_t>(value | p.mask);
    }
    return value;
}

void CSimCable::SetOutputPins(std::span<const std::pair<int, bool>> levels) {
    Count(m_nWrites);
    for (const auto& [pin, high] : levels) {
        if (pin >= 2 && pin <= 9) m_byData = WithBit(m_byData, 1u << (pin - 2), high);
        for (const ControlPin& p : kControlPins) {
            if (p.pin == pin) m_byControl = WithBit(m_byControl, p.mask, high != p.inverted);
        }
    }
    Propagate();
}

bool CSimCable::PinLevel(int pin) {
    for (const StatusPin& p : kStatusPins) {
        if (p.pin == pin) {
            Count(m_nReads);
            return InputLevel(pin);
        }
    }
    return OutputLevel(pin);
}

bool CSimCable::OutputLevel(int pin) const {
    if (pin >= 2 && pin <= 9) return (m_byData >> (pin - 2)) & 1;
    switch (pin) {
        case 1:
            return !(m_byControl & 0x01);
        case 14:
            return !(m_byControl & 0x02);
        case 16:
            return (m_byControl & 0x04) != 0;
        case 17:
            return !(m_byControl & 0x08);
        default:
            return false;
    }
}

bool CSimCable::InputLevel(int pin) const {
    if (pin == m_wiring.nPinMISO && m_pChip) return m_pChip->Miso();
    if (pin == 13 && m_pAdapter) return m_pAdapter->Pin13();
    return true;
}

void CSimCable::Propagate() {
    bool rst = OutputLevel(m_wiring.nPinRST);
    bool sck = OutputLevel(m_wiring.nPinSCK);
    bool mosi = OutputLevel(m_wiring.nPinMOSI);
    if (m_wiring.bLatched) {
        if (OutputLevel(m_wiring.nPinLE) == (m_wiring.nLEEnable != 0)) {
            m_bLatchRst = rst;
            m_bLatchSck = sck;
            m_bLatchMosi = mosi;
        }
        const bool enabled = OutputLevel(m_wiring.nPinOE) == (m_wiring.nOEEnable != 0);
        rst = enabled && m_bLatchRst;
        sck = enabled && m_bLatchSck;
        mosi = enabled && m_bLatchMosi;
    }
    if (m_pChip) m_pChip->SetLines(rst, sck, mosi);
    if (m_pAdapter) m_pAdapter->SetLines(rst, sck, mosi);
}
