#include <gtest/gtest.h>

#include "sim/CSimCable.h"

namespace {

// Kestavo register bits (control register): SCK pin 1 bit 0, MOSI pin 14 bit 1 and LE pin 17
// bit 3 are inverted by the port, RST pin 16 bit 2 is not; OE is pin 2 (data bit 0), MISO pin 15
// (status bit 3).
constexpr std::uint8_t kSckLow = 0x01;
constexpr std::uint8_t kMosiLow = 0x02;
constexpr std::uint8_t kRstHigh = 0x04;
constexpr std::uint8_t kLeLow = 0x08;

// Control value with RST high and SCK and MOSI given; LE high (latch open) unless closed.
std::uint8_t Control(bool sck, bool mosi, bool latchClosed = false) {
    return static_cast<std::uint8_t>(kRstHigh | (sck ? 0 : kSckLow) | (mosi ? 0 : kMosiLow) |
                                     (latchClosed ? kLeLow : 0));
}

// Clocks one byte in on the Kestavo cable, MSB first, with a latch strobe after every change
// unless strobes are dropped.
void KestavoByte(CSimCable& cable, std::uint8_t byte, bool strobe) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool mosi = (byte >> bit) & 1;
        for (bool sck : {false, true, false}) {
            cable.WriteControl(Control(sck, mosi, true));
            if (strobe) {
                cable.WriteControl(Control(sck, mosi, false));
                cable.WriteControl(Control(sck, mosi, true));
            }
        }
    }
}

struct Kestavo {
    Kestavo() : cable(CSimCable::DefaultWiring(1)) {
        cable.AttachChip(std::make_unique<CTargetChip>());
        cable.WriteControl(Control(false, false));  // RST high, latch open
    }
    CSimCable cable;
};

TEST(CSimCable, KestavoLatchPassesLinesOnlyOnAStrobe) {
    Kestavo k;
    for (std::uint8_t byte : {0xAC, 0x53, 0x00, 0x00}) KestavoByte(k.cable, byte, true);
    EXPECT_TRUE(k.cable.Chip()->InProgrammingMode());

    Kestavo dropped;
    for (std::uint8_t byte : {0xAC, 0x53, 0x00, 0x00}) KestavoByte(dropped.cable, byte, false);
    EXPECT_FALSE(dropped.cable.Chip()->InProgrammingMode());
    EXPECT_EQ(dropped.cable.Chip()->InstructionCount(), 0u);
}

TEST(CSimCable, KestavoOutputBufferHoldsTheChipInResetWhileDisabled) {
    Kestavo k;
    for (std::uint8_t byte : {0xAC, 0x53, 0x00, 0x00}) KestavoByte(k.cable, byte, true);
    ASSERT_TRUE(k.cable.Chip()->InProgrammingMode());
    k.cable.WriteData(0x01);  // OE (pin 2) high: disabled
    EXPECT_FALSE(k.cable.Chip()->InProgrammingMode());
}

TEST(CSimCable, MisoIsFedBackWithThePortsInversion) {
    // ByteBlasterMV: MISO on pin 11, status bit 7, which the port inverts; RST pin 3, SCK pin 2,
    // MOSI pin 8 on the data register.
    CSimCable cable(CSimCable::DefaultWiring(3));
    cable.AttachChip(std::make_unique<CTargetChip>());
    auto clock = [&cable](std::uint8_t byte) {
        std::uint8_t in = 0;
        for (int bit = 7; bit >= 0; --bit) {
            const std::uint8_t mosi = ((byte >> bit) & 1) ? 0x40 : 0;
            cable.WriteData(0x02 | mosi);
            cable.WriteData(0x02 | mosi | 0x01);
            in = static_cast<std::uint8_t>(in << 1 | ((cable.ReadStatus() & 0x80) ? 0 : 1));
            cable.WriteData(0x02 | mosi);
        }
        return in;
    };
    cable.WriteData(0x02);
    for (std::uint8_t byte : {0xAC, 0x53, 0x00}) clock(byte);
    EXPECT_EQ(clock(0x00), 0x69);
    EXPECT_EQ(cable.PortReads(), 32u);
    EXPECT_EQ(cable.PortWrites(), 97u);
    // Unconnected status pins read high: 10, 12, 13, 15 set their bits.
    EXPECT_EQ(cable.ReadStatus() & 0x78, 0x78);
}

TEST(CSimCable, ShiftAdapterAnswersOnPin13AndCollectsBytesLsbFirst) {
    // Atmel ByteBlaster: RST pin 17 (control bit 3, inverted), SCK pin 1 (control bit 0,
    // inverted), MOSI pin 2 (data bit 0).
    CSimCable cable(CSimCable::DefaultWiring(2));
    cable.AttachShiftAdapter(std::make_unique<CShiftWriteAdapter>());
    cable.WriteControl(0x08 | 0x01);  // RST low, SCK low
    EXPECT_EQ(cable.ReadStatus() & 0x10, 0);
    cable.WriteControl(0x01);  // RST high
    EXPECT_EQ(cable.ReadStatus() & 0x10, 0x10);
    for (int bit = 0; bit < 8; ++bit) {
        cable.WriteData((0x2D >> bit) & 1);
        cable.WriteControl(0x00);  // SCK high
        cable.WriteControl(0x01);
    }
    EXPECT_EQ(cable.ShiftAdapter()->Bytes(), std::vector<std::uint8_t>{0x2D});
}

}  // namespace
