#include <gtest/gtest.h>

#include <vector>

#include "image/VerifyListing.h"

namespace {

constexpr int kSpace = 0x10000;

TEST(ImageVerifyTest, EqualBuffersListNothing) {
    std::vector<std::uint8_t> a(kSpace + 16, 0xFF);
    std::vector<std::uint8_t> b(kSpace + 16, 0xFF);
    b[kSpace] = 0x00;  // beyond the compared space
    const image::VerifyListing listing = image::CompareBuffers(a.data(), b.data());
    EXPECT_TRUE(listing.equal);
    EXPECT_TRUE(listing.lines.empty());
    EXPECT_EQ(listing.header, "-------------------效验开始------------------");
    EXPECT_EQ(listing.countLine, "共发现    0个单元不对!");
    EXPECT_EQ(listing.footer, "-------------------效验结束------------------");
}

TEST(ImageVerifyTest, OneLinePerDifferenceNumberedInAddressOrder) {
    std::vector<std::uint8_t> a(kSpace, 0xFF);
    std::vector<std::uint8_t> b(kSpace, 0xFF);
    a[0x0ABC] = 0x5E;
    b[0xFFFF] = 0x0A;
    const image::VerifyListing listing = image::CompareBuffers(a.data(), b.data());
    EXPECT_FALSE(listing.equal);
    ASSERT_EQ(listing.lines.size(), 2u);
    EXPECT_EQ(listing.lines[0], "    00001 - 地址:0ABC  写:5E  读:FF");
    EXPECT_EQ(listing.lines[1], "    00002 - 地址:FFFF  写:FF  读:0A");
    EXPECT_EQ(listing.countLine, "共发现    2个单元不对!");
}

TEST(ImageVerifyTest, EveryByteDifferentListsAll65536) {
    std::vector<std::uint8_t> a(kSpace);
    std::vector<std::uint8_t> b(kSpace);
    for (int i = 0; i < kSpace; ++i) {
        a[i] = static_cast<std::uint8_t>(i);
        b[i] = static_cast<std::uint8_t>(~i);
    }
    const image::VerifyListing listing = image::CompareBuffers(a.data(), b.data());
    ASSERT_EQ(listing.lines.size(), 65536u);
    EXPECT_EQ(listing.lines.front(), "    00001 - 地址:0000  写:00  读:FF");
    EXPECT_EQ(listing.lines[0xABCD], "    43982 - 地址:ABCD  写:CD  读:32");
    EXPECT_EQ(listing.lines.back(), "    65536 - 地址:FFFF  写:FF  读:00");
    EXPECT_EQ(listing.countLine, "共发现65536个单元不对!");
}

}  // namespace
