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
