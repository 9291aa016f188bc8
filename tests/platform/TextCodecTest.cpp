#include <gtest/gtest.h>

#include "platform/TextCodec.h"

namespace {

TEST(TextCodec, RecognisesUtf8AndConvertsGbk) {
    EXPECT_TRUE(platform::IsValidUtf8("AT89S52"));
    EXPECT_TRUE(platform::IsValidUtf8("引脚控制"));
    EXPECT_FALSE(platform::IsValidUtf8("\xD2\xFD\xBD\xC5"));
    EXPECT_FALSE(platform::IsValidUtf8("\xE5\xBC"));      // truncated sequence
    EXPECT_FALSE(platform::IsValidUtf8("\xC0\x80"));      // overlong NUL
    EXPECT_FALSE(platform::IsValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_EQ(platform::GbkToUtf8("\xD2\xFD\xBD\xC5\xBF\xD8\xD6\xC6"), "引脚控制");
    std::string gbk;
    ASSERT_TRUE(platform::Utf8ToGbk("编程器", gbk));
    EXPECT_EQ(gbk, "\xB1\xE0\xB3\xCC\xC6\xF7");
    EXPECT_EQ(platform::ToUtf8Lenient("\xB1\xE0\xB3\xCC\xC6\xF7"), "编程器");
}

}  // namespace
