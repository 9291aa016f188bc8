#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/FailureReason.h"
#include "sim/CTargetChip.h"
#include "support/TempDir.h"

namespace {

using Instr = std::array<std::uint8_t, 4>;

// A chip in programming mode.
struct EnabledChip {
    explicit EnabledChip(CTargetChip::Model model = CTargetChip::Model::AT89S52) : chip(model) {
        chip.SetReset(true);
        chip.Execute({0xAC, 0x53, 0, 0});
    }
    std::uint8_t Read(int address) {
        return chip.Execute(
            {0x20, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0});
    }
    void Write(int address, std::uint8_t data) {
        chip.Execute({0x40, static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address), data});
    }
    CTargetChip chip;
};

// Clocks one byte in at pin level, most significant bit first, sampling MISO while SCK is
// high; returns the byte shifted out meanwhile.
std::uint8_t ClockByte(CTargetChip& chip, std::uint8_t byte) {
    std::uint8_t out = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const bool mosi = (byte >> bit) & 1;
        chip.SetLines(true, false, mosi);
        chip.SetLines(true, true, mosi);
        out = static_cast<std::uint8_t>(out << 1 | (chip.Miso() ? 1 : 0));
        chip.SetLines(true, false, mosi);
    }
    return out;
}

// Clocks one instruction in; returns the fourth byte shifted out.
std::uint8_t ClockIn(CTargetChip& chip, const Instr& instr) {
    std::uint8_t last = 0;
    for (std::uint8_t byte : instr) last = ClockByte(chip, byte);
    return last;
}

TEST(CTargetChip, ProgrammingModeNeedsResetHighAndTheEnableInstruction) {
    CTargetChip chip;
    EXPECT_EQ(chip.Execute({0xAC, 0x53, 0, 0}), 0xFF);  // RST low: nothing is heard
    EXPECT_FALSE(chip.InProgrammingMode());
    chip.SetReset(true);
    EXPECT_EQ(chip.Execute({0x28, 0x00, 0, 0}), 0x00);  // not yet enabled
    EXPECT_EQ(chip.Execute({0xAC, 0x53, 0, 0}), 0x69);
    EXPECT_TRUE(chip.InProgrammingMode());
    chip.SetReset(false);
    EXPECT_FALSE(chip.InProgrammingMode());
}

TEST(CTargetChip, PinLevelInstructionsAndSignatures) {
    for (auto [model, s1, size] : {std::tuple{CTargetChip::Model::AT89S51, 0x51, 4096},
                                   std::tuple{CTargetChip::Model::AT89S52, 0x52, 8192}}) {
        CTargetChip chip(model);
        EXPECT_EQ(chip.FlashSize(), size);
        chip.SetLines(false, false, false);
        chip.SetLines(true, false, false);
        EXPECT_EQ(ClockIn(chip, {0xAC, 0x53, 0x00, 0x00}), 0x69);
        EXPECT_EQ(ClockIn(chip, {0x28, 0x00, 0x00, 0x00}), 0x1E);
        EXPECT_EQ(ClockIn(chip, {0x28, 0x01, 0x00, 0x00}), s1);
        EXPECT_EQ(ClockIn(chip, {0x28, 0x02, 0x00, 0x00}), 0x06);
        EXPECT_EQ(chip.InstructionCount(), 4u);
    }
}

TEST(CTargetChip, WritesProgramOnesToZerosAndShowBusyReads) {
    EnabledChip c;
    c.Write(0x0100, 0xF0);
    EXPECT_EQ(c.Read(0x0100), 0x70);  // bit 7 inverted while programming
    EXPECT_EQ(c.Read(0x0100), 0x70);
    EXPECT_EQ(c.Read(0x0100), 0xF0);
    c.chip.SetBusyReads(0);
    c.Write(0x0100, 0x0F);
    EXPECT_EQ(c.Read(0x0100), 0x00);  // only 1 -> 0
    c.chip.Execute({0xAC, 0x80, 0, 0});
    EXPECT_EQ(c.Read(0x0100), 0xFF);
    c.Write(0x2100, 0x33);  // the address wraps at the flash size
    EXPECT_EQ(c.chip.Flash()[0x0100], 0x33);
}

TEST(CTargetChip, LockBits) {
    EnabledChip c;
    c.chip.SetBusyReads(0);
    c.Write(5, 0x12);
    c.chip.Execute({0xAC, 0xE1, 0, 0});
    c.Write(6, 0x34);  // no more programming
    EXPECT_EQ(c.Read(6), 0xFF);
    EXPECT_EQ(c.Read(5), 0x12);  // reads still work
    c.chip.Execute({0xAC, 0xE2, 0, 0});
    EXPECT_EQ(c.chip.LockLevel(), 2);
    EXPECT_EQ(c.Read(5), 0xFF);
    c.chip.Execute({0xAC, 0x80, 0, 0});  // erase clears the lock bits
    EXPECT_EQ(c.chip.LockLevel(), 0);
}

TEST(CTargetChip, LockBitsReadBackInTheFourthByte) {
    EnabledChip c;
    EXPECT_EQ(c.chip.Execute({0x24, 0, 0, 0}), 0x00);
    // LB1 is bit 2, LB2 bit 3, LB3 bit 4; programmed bits read 1.
    for (auto [level, expected] : {std::pair{1, 0x04}, std::pair{2, 0x0C}, std::pair{3, 0x1C}}) {
        c.chip.Execute({0xAC, static_cast<std::uint8_t>(0xE0 + level), 0, 0});
        EXPECT_EQ(ClockIn(c.chip, {0x24, 0, 0, 0}), expected);
    }
}

// Clocks a page read of the page in at pin level and returns the 256 bytes shifted out.
std::vector<std::uint8_t> ClockPageRead(CTargetChip& chip, std::uint8_t page) {
    ClockByte(chip, 0x30);
    ClockByte(chip, page);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < CTargetChip::kPageSize; ++i) bytes.push_back(ClockByte(chip, 0x00));
    return bytes;
}

TEST(CTargetChip, PageReadShiftsOutTheWholePageAfterTheHighAddressByte) {
    EnabledChip c;
    c.chip.SetBusyReads(0);
    for (int a = 0x0100; a < 0x0300; ++a) c.Write(a, static_cast<std::uint8_t>(a * 7 + (a >> 8)));
    const auto page = ClockPageRead(c.chip, 0x02);
    for (int i = 0; i < CTargetChip::kPageSize; ++i)
        ASSERT_EQ(page[static_cast<size_t>(i)], c.chip.Flash()[static_cast<size_t>(0x0200 + i)]);
    EXPECT_EQ(c.chip.InstructionCount(0x30), 1u);
    // The page instruction is over: the next instruction is heard from its first bit.
    EXPECT_EQ(ClockIn(c.chip, {0x20, 0x01, 0x05, 0}), c.chip.Flash()[0x0105]);
}

TEST(CTargetChip, AStuckAddressNeverFinishesProgramming) {
    EnabledChip c;
    c.chip.SetStuckAddress(3);
    c.Write(3, 0x55);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(c.Read(3), 0xD5);
    c.chip.SetReset(false);
    c.chip.SetReset(true);
    c.chip.Execute({0xAC, 0x53, 0, 0});
    EXPECT_EQ(c.Read(3), 0xFF);
}

TEST(CTargetChip, BackingFileKeepsTheFlashAndTheLockBetweenRuns) {
    TempDir dir;
    const std::string file = dir.File("flash.bin");
    {
        EnabledChip c(CTargetChip::Model::AT89S51);
        ASSERT_TRUE(c.chip.SetBackingFile(file));
        c.Write(0x0FFF, 0xA5);
        c.chip.SetReset(false);  // leaving programming mode writes the file back
        EXPECT_EQ(dir.Read("flash.bin").size(), 4097u);
    }
    {
        EnabledChip later(CTargetChip::Model::AT89S51);
        ASSERT_TRUE(later.chip.SetBackingFile(file));
        EXPECT_EQ(later.Read(0x0FFF), 0xA5);
        EXPECT_EQ(later.Read(0x0FFE), 0xFF);
        later.chip.Execute({0xAC, 0xE2, 0, 0});  // lock mode 2: reads give 0xFF
    }
    EnabledChip locked(CTargetChip::Model::AT89S51);
    ASSERT_TRUE(locked.chip.SetBackingFile(file));
    EXPECT_EQ(locked.chip.LockLevel(), 2);
    EXPECT_EQ(locked.Read(0x0FFF), 0xFF);
}

// A file made by the other model is taken in as far as it fits: its lock byte never lands in the
// flash, and the file is rewritten in this chip's size.
TEST(CTargetChip, BackingFileOfTheOtherSizeIsTakenInSafely) {
    TempDir dir;
    std::string s51(4096, '\x11');
    s51 += '\x01';  // lock level 1
    const std::string file = dir.Write("s51.bin", s51);
    {
        CTargetChip s52(CTargetChip::Model::AT89S52);
        ASSERT_TRUE(s52.SetBackingFile(file));
        EXPECT_EQ(s52.Flash()[4095], 0x11);
        EXPECT_EQ(s52.Flash()[4096], 0xFF);
        EXPECT_EQ(s52.LockLevel(), 1);
    }
    const std::string rewritten = std::string(4096, '\x11') + std::string(4096, '\xFF') + '\x01';
    EXPECT_TRUE(dir.Read("s51.bin") == rewritten);
    CTargetChip s51Again(CTargetChip::Model::AT89S51);
    ASSERT_TRUE(s51Again.SetBackingFile(file));
    EXPECT_EQ(s51Again.Flash()[4095], 0x11);
    EXPECT_EQ(s51Again.LockLevel(), 1);
}

// Two chips never share one flash file: the second is refused while the first lives.
TEST(CTargetChip, BackingFileServesOneChipAtATime) {
    TempDir dir;
    const std::string file = dir.File("flash.bin");
    std::vector<std::string> reasons;
    platform::SetFailureReasonSink([&](const std::string& r) { reasons.push_back(r); });
    {
        CTargetChip first;
        ASSERT_TRUE(first.SetBackingFile(file));
        CTargetChip second;
        EXPECT_FALSE(second.SetBackingFile(file));
    }
    CTargetChip later;
    EXPECT_TRUE(later.SetBackingFile(file));
    platform::SetFailureReasonSink({});
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("in use by another run"), std::string::npos);
}

}  // namespace
