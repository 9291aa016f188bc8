#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sim/CChipInstructionAdapter.h"

namespace {

constexpr IspInstruction kEnable = {0xAC, 0x53, 0x00, 0x00};

TEST(CChipInstructionAdapter, AnswersInstructionsAndReadsPages) {
    CTargetChip chip;
    CChipInstructionAdapter link(chip);
    EXPECT_EQ(link.Enter(kEnable), 0x69);
    EXPECT_EQ(link.Exchange({0x28, 0x01, 0x00, 0x00}),
              (std::array<std::uint8_t, 4>{0, 0, 0, 0x52}));
    const std::array<IspInstruction, 3> writeAndRead = {
        {{0x40, 0x01, 0x02, 0x5A}, {0x20, 0x01, 0x02, 0x00}, {0x20, 0x01, 0x02, 0x00}}};
    std::array<std::uint8_t, 3> answers{};
    ASSERT_TRUE(link.Transact(writeAndRead, answers));
    // Data polling: bit 7 inverted for the chip's busy reads, then the datum.
    EXPECT_EQ(answers[2], 0x5A ^ 0x80);
    std::vector<std::uint8_t> page(CTargetChip::kPageSize);
    ASSERT_TRUE(link.ReadPage(0x01, page.data()));
    EXPECT_EQ(page[2], 0x5A);
    EXPECT_EQ(page[3], 0xFF);
    link.Leave();
    EXPECT_FALSE(chip.InProgrammingMode());
}

TEST(CChipInstructionAdapter, FaultsShowAsTheWireWouldShowThem) {
    CTargetChip absent;
    absent.SetAbsent(true);
    CChipInstructionAdapter none(absent);
    EXPECT_EQ(none.Enter(kEnable), 0xFF);
    EXPECT_EQ(none.Exchange({0x28, 0x00, 0x00, 0x00}),
              (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));

    CTargetChip clone;
    clone.SetIgnoresPageReads(true);
    CChipInstructionAdapter link(clone);
    link.Enter(kEnable);
    link.Exchange({0x40, 0x00, 0x00, 0x12});
    std::vector<std::uint8_t> page(CTargetChip::kPageSize);
    link.ReadPage(0x00, page.data());
    EXPECT_EQ(page[0], 0xFF);
    EXPECT_EQ(link.Exchange({0x20, 0x00, 0x00, 0x00})[3] & 0x7F, 0x12);
}

}  // namespace
