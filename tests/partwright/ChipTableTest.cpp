#include <gtest/gtest.h>

#include <algorithm>

#include "ChipTable.h"

namespace {

TEST(ChipTableTest, SourceTextSkipsCommentsAndTakesCrLf) {
    std::vector<ChipInfo> chips;
    std::string error;
    ASSERT_TRUE(
        chiptable::ParseTsv("# name\tcode\r\n\r\nAT89S52\t2\t8\t5.00\t1E 52 06\r\n"
                            "W78E52\t3\t8\t4.5\t 1e 52 06 \n",
                            chips, error))
        << error;
    ASSERT_EQ(chips.size(), 2u);
    EXPECT_EQ(chiplist::NameOf(chips[1]), "W78E52");
    EXPECT_EQ(chips[1].bAlgorithm, 3);
    EXPECT_FLOAT_EQ(chips[1].fVoltage, 4.5f);
    EXPECT_EQ(chiptable::SignatureText(chips[1]), "1E 52 06");
    EXPECT_EQ(chips[1].reserved2, 0);
}

TEST(ChipTableTest, SourceErrorsNameTheLineAndTheField) {
    std::vector<ChipInfo> chips;
    std::string error;
    EXPECT_FALSE(chiptable::ParseTsv("A\t2\t4\t5\t1E 51 06\nB\t2\t4\t5\n", chips, error));
    EXPECT_EQ(error, "line 2: expected 5 tab-separated fields");
    EXPECT_FALSE(chiptable::ParseTsv("#\nA\t2\t4\tinf\t1E 51 06\n", chips, error));
    EXPECT_EQ(error, "line 2: voltage must be 0..25");
    const char withZero[] = "A\0B\t2\t4\t5\t1E 51 06\n";
    EXPECT_FALSE(chiptable::ParseTsv(std::string(withZero, sizeof withZero - 1), chips, error));
    EXPECT_EQ(error, "line 1: name cannot be stored in the list's encoding");
}

TEST(ChipTableTest, DumpLineFitsTheWidestRecord) {
    ChipInfo chip{};
    std::fill(std::begin(chip.szName), std::end(chip.szName), '\xff');  // no zero, not GBK
    chip.nRomKB = -2147483647 - 1;
    chip.fVoltage = 3.4e38f;
    const std::string text = chiptable::FormatTable({chip, chip});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

}  // namespace
