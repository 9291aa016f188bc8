#include <gtest/gtest.h>

#include <vector>

#include "session/CSerialNumberRule.h"

namespace {

std::vector<std::uint8_t> Bytes(const char* rule, std::uint64_t value) {
    CSerialNumberRule parsed;
    std::string error;
    EXPECT_TRUE(parsed.Parse(rule, error)) << rule << ": " << error;
    return parsed.Encode(value);
}

using V = std::vector<std::uint8_t>;

TEST(SerialNumberRuleTest, EachFormPlacesTheBytesWrittenOutByHand) {
    EXPECT_EQ(Bytes("0:le8:0", 0xA5), (V{0xA5}));
    EXPECT_EQ(Bytes("0:le16:0", 0x1234), (V{0x34, 0x12}));
    EXPECT_EQ(Bytes("0:le24:0", 0x123456), (V{0x56, 0x34, 0x12}));
    EXPECT_EQ(Bytes("0:le32:0", 0x12345678), (V{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(Bytes("0:be8:0", 0xA5), (V{0xA5}));
    EXPECT_EQ(Bytes("0:be16:0", 0x1234), (V{0x12, 0x34}));
    EXPECT_EQ(Bytes("0:be24:0", 0x123456), (V{0x12, 0x34, 0x56}));
    EXPECT_EQ(Bytes("0:be32:0", 0x12345678), (V{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Bytes("0:bcd4:0", 1234), (V{0x12, 0x34}));
    EXPECT_EQ(Bytes("0:bcd3:0", 987), (V{0x09, 0x87}));
    EXPECT_EQ(Bytes("0:dec5:0", 42), (V{'0', '0', '0', '4', '2'}));
}

TEST(SerialNumberRuleTest, FieldWidthsAndBadRulesAreRefused) {
    CSerialNumberRule rule;
    std::string error;
    EXPECT_TRUE(rule.Parse("0x1FF0:le16:65535", error));
    EXPECT_EQ(rule.Address(), 0x1FF0);
    EXPECT_EQ(rule.MaxValue(), 0xFFFFu);
    EXPECT_FALSE(rule.Parse("0:le16:65536", error));  // past the field's width
    EXPECT_FALSE(rule.Parse("0:bcd2:100", error));
    EXPECT_TRUE(rule.Parse("0:dec3:999", error));
    EXPECT_FALSE(rule.Parse("0:dec3:1000", error));
    for (const char* bad : {"0:le12:1", "0:le40:1", "0:xyz:1", "0:le16", "0x10000:le8:1", "a:le8:1",
                            "0:dec0:1", "0:le16:-1"}) {
        EXPECT_FALSE(rule.Parse(bad, error)) << bad;
    }
}

TEST(SerialNumberRuleTest, RefusesPlacesOutsideTheChipOrOnTheImageUnlessOverwritten) {
    CSerialNumberRule rule;
    std::string error;
    ASSERT_TRUE(rule.Parse("0x0FFE:be16:1", error));
    std::vector<std::uint8_t> image(0x10000, 0xFF);
    EXPECT_EQ(rule.Refusal(image.data(), 0x1000, false), "");
    ASSERT_TRUE(rule.Parse("0x0FFF:be16:1", error));
    EXPECT_NE(rule.Refusal(image.data(), 0x1000, true), "");  // its last byte is past 4 KiB
    image[0x1000] = 0x00;
    EXPECT_NE(rule.Refusal(image.data(), 0x2000, false), "");
    EXPECT_EQ(rule.Refusal(image.data(), 0x2000, true), "");
    rule.Patch(image.data(), 0xBEEF);
    EXPECT_EQ(image[0x0FFF], 0xBE);
    EXPECT_EQ(image[0x1000], 0xEF);
    EXPECT_EQ(image[0x1001], 0xFF);
}

}  // namespace
