#pragma once

#include <cstdint>

// The DB-25 pins of a parallel port and the register bits behind them: which register, which
// bit, whether the port hardware inverts it (strobe, autofeed, select-in, busy), and whether the
// pin can be driven. Pins 1 to 17 have a bit; pin 0 and pins above 17 have none.
namespace lptpins {

enum class Reg { None, Data, Status, Control };

struct PinBit {
    Reg reg;
    std::uint8_t mask;
    bool inverted;
    bool output;
};

constexpr int kFirstPin = 1;
constexpr int kLastPin = 17;

constexpr PinBit LookUpPin(int pin) {
    if (pin >= 2 && pin <= 9)
        return {Reg::Data, static_cast<std::uint8_t>(1u << (pin - 2)), false, true};
    switch (pin) {
        case 1:
            return {Reg::Control, 0x01, true, true};
        case 10:
            return {Reg::Status, 0x40, false, false};
        case 11:
            return {Reg::Status, 0x80, true, false};
        case 12:
            return {Reg::Status, 0x20, false, false};
        case 13:
            return {Reg::Status, 0x10, false, false};
        case 14:
            return {Reg::Control, 0x02, true, true};
        case 15:
            return {Reg::Status, 0x08, false, false};
        case 16:
            return {Reg::Control, 0x04, false, true};
        case 17:
            return {Reg::Control, 0x08, true, true};
        default:
            return {Reg::None, 0, false, false};
    }
}

// The connector level of the pin when its register holds the value.
constexpr bool LevelIn(const PinBit& bit, std::uint8_t value) {
    return ((value & bit.mask) != 0) != bit.inverted;
}

}  // namespace lptpins
