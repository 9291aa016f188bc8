#include <gtest/gtest.h>

#include <cstring>

#include "core/CEventQueue.h"
#include "core/CProgrammer.h"
#include "core/CoreTestSupport.h"
#include "support/TempDir.h"

namespace {

std::string WithCount(std::string bytes, std::int32_t count) {
    std::memcpy(bytes.data() + 4, &count, 4);
    return bytes;
}

TEST(ChipList, LoadsRecordsInFileOrderIntoTheOwnersList) {
    TempDir dir;
    const std::string path =
        dir.Write("ChipList.chip", ChipFileBytes({MakeChip("AT89S51", 2, 4, 0x1E, 0x51, 0x06),
                                                  MakeChip("ABCDEFGHIJKLMNOPQRS", 3, 8, 1, 2, 3)}));
    CEventQueue owner;
    CProgrammer programmer;
    programmer.Init(&owner, 9, 0);
    programmer.LoadChipListFrom(path);
    ASSERT_EQ(programmer.GetChipCount(), 2);
    EXPECT_EQ(owner.Items(), (std::vector<std::string>{"AT89S51", "ABCDEFGHIJKLMNOPQRS"}));
    EXPECT_EQ(programmer.GetChip(1).nRomKB, 8);
}

TEST(ChipList, FileLayoutWrittenOutByHandLoadsFieldByField) {
    using namespace std::string_literals;
    // clang-format off
    const std::string file =
        "\xAA\xBB\xCC\xDD"s "\x02\x00\x00\x00"s  // reserved, nCount 2
        // record 0: name, code 3, 3 reserved, 8 KB, 3.3f, signature 1E 52 06, 1 reserved
        "AT89S52\0\0\0\0\0\0\0\0\0\0\0\0\0"s "\x03"s "\x11\x22\x33"s "\x08\x00\x00\x00"s
        "\x33\x33\x53\x40"s "\x1E\x52\x06"s "\x77"s
        // record 1: a 19-character name, code 2, 260 KB, 5.0f, signature 1E 51 06
        "ABCDEFGHIJKLMNOPQRS\0"s "\x02"s "\0\0\0"s "\x04\x01\x00\x00"s "\x00\x00\xA0\x40"s
        "\x1E\x51\x06"s "\0"s;
    // clang-format on
    ASSERT_EQ(file.size(), 8u + 2 * 36u);
    TempDir dir;
    CEventQueue owner;
    CProgrammer programmer;
    programmer.Init(&owner, 9, 0);
    programmer.LoadChipListFrom(dir.Write("ChipList.chip", file));

    ASSERT_EQ(programmer.GetChipCount(), 2);
    EXPECT_EQ(owner.Items(), (std::vector<std::string>{"AT89S52", "ABCDEFGHIJKLMNOPQRS"}));
    const ChipInfo& first = programmer.GetChip(0);
    EXPECT_EQ(first.bAlgorithm, 3);
    EXPECT_EQ(first.nRomKB, 8);
    EXPECT_FLOAT_EQ(first.fVoltage, 3.3f);
    EXPECT_EQ(first.Signature[0], 0x1E);
    EXPECT_EQ(first.Signature[1], 0x52);
    EXPECT_EQ(first.Signature[2], 0x06);
    const ChipInfo& second = programmer.GetChip(1);
    EXPECT_EQ(second.bAlgorithm, 2);
    EXPECT_EQ(second.nRomKB, 260);
    EXPECT_FLOAT_EQ(second.fVoltage, 5.0f);
    EXPECT_EQ(second.Signature[1], 0x51);
}

TEST(ChipList, CountsThatTheBytesDoNotCoverLoadOnlyCompleteRecords) {
    const std::string two =
        ChipFileBytes({MakeChip("A", 2, 4, 1, 1, 1), MakeChip("B", 2, 4, 2, 2, 2)});
    const auto parse = [](const std::string& s) {
        return chiplist::Parse(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()).size();
    };
    EXPECT_EQ(parse(two), 2u);
    EXPECT_EQ(parse(WithCount(two, 0)), 0u);
    EXPECT_EQ(parse(WithCount(two, -3)), 0u);
    EXPECT_EQ(parse(WithCount(two, 1000)), 2u);
    EXPECT_EQ(parse(two.substr(0, two.size() - 1)), 1u);  // the second record is cut short
    EXPECT_EQ(parse(two.substr(0, 6)), 0u);               // shorter than the header
}

TEST(ChipList, MissingFileLeavesTheListEmptyAndGbkNamesAreDecoded) {
    TempDir dir;
    CEventQueue owner;
    CProgrammer programmer;
    programmer.Init(&owner, 9, 0);
    programmer.LoadChipListFrom(dir.File("absent.chip"));
    EXPECT_EQ(programmer.GetChipCount(), 0);

    ChipInfo chip = MakeChip("", 2, 4, 0, 0, 0);
    std::memcpy(chip.szName, "\xB1\xE0\xB3\xCC\xC6\xF7", 6);  // 编程器 in GBK
    EXPECT_EQ(chiplist::NameOf(chip), "编程器");
}

}  // namespace
