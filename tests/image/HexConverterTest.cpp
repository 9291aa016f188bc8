#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image/HexConverter.h"
#include "image/HexText.h"

namespace {

constexpr std::uint8_t kUntouched = 0xAA;
constexpr int kSpace = image::kHexAddressSpace;
const std::string kFourBytes = ":0400000012345678E8\r\n";

using image::HexError;

// Converts into a destination of exactly the documented minimum size, so the address sanitizer
// sees any write past it.
class ImageHexTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }

    void Reset() { image.assign(image::kHexImageMinSize, kUntouched); }
    int Convert(const std::string& text) { return Refusal(text).total; }
    image::HexConversion Refusal(const std::string& text) {
        return image::ConvertHexToImage(text.c_str(), image.data());
    }
    bool AllEqual(int from, int to, std::uint8_t value) const {
        for (int i = from; i < to; ++i) {
            if (image[i] != value) return false;
        }
        return true;
    }
    bool Untouched() const { return AllEqual(0, image::kHexImageMinSize, kUntouched); }

    std::vector<std::uint8_t> image;
};

TEST_F(ImageHexTest, FourByteRecordWithAnyLineEnd) {
    const std::string variants[] = {
        kFourBytes + kHexEnd,
        ":0400000012345678E8\n:00000001FF\n",
        ":0400000012345678E8\r:00000001FF\r",
    };
    for (const std::string& text : variants) {
        SCOPED_TRACE(text);
        Reset();
        EXPECT_EQ(Convert(text), 4);
        EXPECT_EQ(image[0], 0x12);
        EXPECT_EQ(image[1], 0x34);
        EXPECT_EQ(image[2], 0x56);
        EXPECT_EQ(image[3], 0x78);
        EXPECT_TRUE(AllEqual(4, kSpace, 0xFF));
        EXPECT_TRUE(AllEqual(kSpace, image::kHexImageMinSize, kUntouched));
    }
}

TEST_F(ImageHexTest, WholeImageRoundTrips) {
    std::vector<std::uint8_t> source(kSpace);
    std::mt19937 random(7);
    for (auto& b : source) b = static_cast<std::uint8_t>(random());
    EXPECT_EQ(Convert(HexTextOf(source.data(), kSpace)), kSpace);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), image.begin()));
}

TEST_F(ImageHexTest, TextThatDoesNotParseLeavesImageUntouched) {
    struct Case {
        std::string text;
        HexError error;
    };
    const std::vector<Case> cases = {
        {kFourBytes, HexError::NoEndRecord},
        {kFourBytes + std::string(1, '\0') + kHexEnd, HexError::NoEndRecord},
        {kFourBytes + " " + kHexEnd, HexError::BadCharacter},
        {kFourBytes + "\t" + kHexEnd, HexError::BadCharacter},
        {":0400000012345678E\r\n" + kHexEnd, HexError::BadCharacter},  // odd digits
        {":0400000012345678E" + kHexEnd, HexError::BadCharacter},      // pairs with ':'
        {":04000000123G5678E8\r\n" + kHexEnd, HexError::BadCharacter},
        {"x" + kFourBytes + kHexEnd, HexError::BadCharacter},
        {"12" + kFourBytes + kHexEnd, HexError::DigitsBeforeRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Reset();
        const image::HexConversion result = Refusal(c.text);
        EXPECT_EQ(result.total, -1);
        EXPECT_EQ(result.error, c.error);
        EXPECT_TRUE(Untouched());
    }
}

TEST_F(ImageHexTest, EverythingFromTheEndRecordOnIsIgnored) {
    EXPECT_EQ(Convert(kFourBytes + kHexEnd + ":zz not hex\r\n:020000040001F9\r\n"), 4);
}

TEST_F(ImageHexTest, RecordsNearTheTopWriteOnWithoutWrapping) {
    std::vector<std::uint8_t> data(16);
    for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(Convert(HexRecord(0xFFF8, 0, data) + kHexEnd), 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(image[0xFFF8 + i], i + 1) << i;
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[kSpace + 8], kUntouched);

    // The largest record at the last address stays inside the documented destination size.
    Reset();
    EXPECT_EQ(Convert(HexRecord(0xFFFF, 0, std::vector<std::uint8_t>(255, 0x5A)) + kHexEnd), 255);
    EXPECT_TRUE(AllEqual(0xFFFF, 0xFFFF + 255, 0x5A));
}

TEST_F(ImageHexTest, NoRecordsGivesAnErasedImage) {
    EXPECT_EQ(Convert("\r\n" + kHexEnd), 0);
    EXPECT_TRUE(AllEqual(0, kSpace, 0xFF));
    EXPECT_TRUE(AllEqual(kSpace, image::kHexImageMinSize, kUntouched));
}

TEST_F(ImageHexTest, OverlapsCountTwiceAndTheLaterRecordWins) {
    const std::string text = HexRecord(0, 0, {0x11, 0x22, 0x33, 0x44}) +
                             HexRecord(2, 0, {0xAA, 0xBB, 0xCC, 0xDD}) + kHexEnd;
    EXPECT_EQ(Convert(text), 8);
    const std::vector<std::uint8_t> expected = {0x11, 0x22, 0xAA, 0xBB, 0xCC, 0xDD, 0xFF};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
}

TEST_F(ImageHexTest, RefusedRecordsKeepEarlierRecordsAndSayWhy) {
    struct Case {
        std::string record;
        HexError error;
    };
    const std::vector<Case> cases = {
        {HexRecord(0, 4, {0x00, 0x01}), HexError::Over64k},
        {HexRecord(0, 2, {0x10, 0x00}), HexError::Over64k},
        {HexRecord(0, 4, {0x00}), HexError::BadRecord},           // an address needs 2 bytes
        {HexRecord(0, 3, {0, 0, 0}), HexError::BadRecord},        // a start address needs 4
        {HexRecord(0, 5, {0, 0, 0, 0, 0}), HexError::BadRecord},  // a start address needs 4
        {HexRecord(0, 6, {}), HexError::BadRecord},
        {HexRecord(0, 1, {0x00}), HexError::BadRecord},  // end type with a count
        {":00000000\r\n", HexError::BadRecord},          // 4 bytes: no room for data
        {":\r\n", HexError::BadRecord},
        {":020000040000F9\r\n", HexError::BadRecord},      // a harmless type, a wrong checksum
        {":0600000012345678E8\r\n", HexError::BadRecord},  // count beyond the record
        {":0500000012345678E8\r\n", HexError::BadRecord},  // count one past: no checksum left
        {":0400000012345678\r\n", HexError::BadRecord},    // no checksum
        {":0300000012345678E8\r\n", HexError::BadRecord},  // a byte past the checksum
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        Reset();
        const image::HexConversion result =
            Refusal(HexRecord(0x10, 0, {0x42}) + c.record + kHexEnd);
        EXPECT_EQ(result.total, -1);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.line, 2);
        EXPECT_EQ(image[0x10], 0x42);
        EXPECT_EQ(image[0], 0xFF);
    }
}

// A checksum that any one of its bits makes wrong refuses the record, whichever bit it is.
TEST_F(ImageHexTest, EveryBitOfTheChecksumCounts) {
    for (int bit = 0; bit < 8; ++bit) {
        SCOPED_TRACE(bit);
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", 0xE8 ^ (1 << bit));
        Reset();
        EXPECT_EQ(Refusal(":0400000012345678" + std::string(digits) + "\r\n" + kHexEnd).error,
                  HexError::BadRecord);
    }
}

// What objcopy and sdcc write around the data: a zero extended address of either kind and the
// program's start address, records that place nothing and move nothing.
TEST_F(ImageHexTest, RecordsThatMoveNoAddressPass) {
    const std::string text =
        ":020000040000FA\r\n"
        ":020000020000FC\r\n"
        ":0400000300001234B3\r\n"
        ":0400000500000100F6\r\n" +
        kFourBytes + kHexEnd;
    EXPECT_EQ(Convert(text), 4);
    EXPECT_EQ(image[0], 0x12);
    EXPECT_EQ(image[3], 0x78);
    EXPECT_TRUE(AllEqual(4, kSpace, 0xFF));
}

// The message boxes' texts, byte for byte.
TEST(ImageHexText, EachRefusalHasItsMessage) {
    EXPECT_STREQ(image::HexErrorText(HexError::NoEndRecord),
                 "*.Hex文件转换失败(未找到\":00000001\"记录)!");
    EXPECT_STREQ(image::HexErrorText(HexError::BadCharacter), "*.Hex文件转换失败(错误的字符)!");
    EXPECT_STREQ(image::HexErrorText(HexError::BadRecord), "*.Hex文件转换失败(错误的记录)!");
    EXPECT_STREQ(image::HexErrorText(HexError::Over64k), "*.Hex文件转换失败(不支持大于64k)!");
    EXPECT_EQ(image::HexErrorText(HexError::DigitsBeforeRecord), nullptr);
    EXPECT_EQ(image::HexErrorText(HexError::None), nullptr);
}

TEST(ImageHexByte, AcceptsExactlyTheHexDigitsOfEitherCase) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const bool digit = std::isxdigit(c) != 0;
        const char text[2] = {ch, '\0'};
        const int expected = digit ? static_cast<int>(std::strtol(text, nullptr, 16)) : 0;
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        EXPECT_EQ(image::ParseHexByte(ch, '0', high), digit) << c;
        EXPECT_EQ(image::ParseHexByte('0', ch, low), digit) << c;
        EXPECT_EQ(high, expected * 16) << c;
        EXPECT_EQ(low, expected) << c;
    }
}

}  // namespace

namespace {

// The line a failure is blamed on, counting LF, CR LF and lone CR line ends alike.
TEST_F(ImageHexTest, FailureNamesTheLineToBlame) {
    const std::string text = "\n" + kFourBytes + "\r:0400000012345678E7\n" + kHexEnd;
    EXPECT_EQ(Refusal(text).line, 4);
    EXPECT_EQ(Refusal(kFourBytes + ":04 00\r\n" + kHexEnd).line, 2);
    EXPECT_EQ(Refusal("no end").line, 0);
    EXPECT_EQ(Refusal(kFourBytes + kHexEnd).line, 0);
}

TEST(ImageHexContent, WholeTextOfRecordsIsHexAndAnythingElseIsNot) {
    EXPECT_TRUE(image::IsIntelHexText(kFourBytes + kHexEnd));
    EXPECT_TRUE(image::IsIntelHexText(":0400000012345678e8\n\n" + kHexEnd));
    EXPECT_FALSE(image::IsIntelHexText(kFourBytes));                          // no end record
    EXPECT_FALSE(image::IsIntelHexText("x" + kFourBytes + kHexEnd));          // a line not a record
    EXPECT_FALSE(image::IsIntelHexText(":0400000012345678E\r\n" + kHexEnd));  // odd digits
    EXPECT_FALSE(image::IsIntelHexText(std::string("\x02\x00:00000001FF", 13)));
}

// The writer's text is checked against records written out by hand: 16-byte rows, erased rows
// left out, checksums, CR LF, the end record.
TEST(ImageHexContent, ImageToHexTextWritesCheckedRecords) {
    std::vector<std::uint8_t> data(40, 0xFF);
    data[0] = 0x02;
    data[2] = 0x03;
    data[39] = 0x80;
    EXPECT_EQ(image::ImageToHexText(data.data(), 40),
              ":1000000002FF03FFFFFFFFFFFFFFFFFFFFFFFFFFF9\r\n"
              ":08002000FFFFFFFFFFFFFF805F\r\n"
              ":00000001FF\r\n");
}

}  // namespace
