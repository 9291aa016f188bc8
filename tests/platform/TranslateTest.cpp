#include <gtest/gtest.h>

#include <string>

#include "platform/Translate.h"

namespace {

using platform::Language;
using platform::LanguageFromEnvironment;

TEST(TranslateTest, LanguageFollowsTheLocaleVariablesWithCAsChinese) {
    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
    EXPECT_EQ(LanguageFromEnvironment(nullptr, nullptr, nullptr, nullptr), Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment("", "", "", "C.UTF-8"), Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment(nullptr, nullptr, nullptr, "POSIX"), Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment(nullptr, nullptr, nullptr, "zh_CN.UTF-8"), Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment(nullptr, nullptr, nullptr, "en_US.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromEnvironment(nullptr, nullptr, nullptr, "de_DE.UTF-8"), Language::English);
    // LC_ALL before LC_MESSAGES before LANG.
    EXPECT_EQ(LanguageFromEnvironment(nullptr, "C", "en_GB.UTF-8", "en_US.UTF-8"),
              Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment(nullptr, "", "en_GB.UTF-8", "zh_TW.UTF-8"),
              Language::English);
    // LANGUAGE's first entry decides, except under the C locale, where gettext ignores it.
    EXPECT_EQ(LanguageFromEnvironment("zh_CN:en", nullptr, nullptr, "en_US.UTF-8"),
              Language::Chinese);
    EXPECT_EQ(LanguageFromEnvironment("en", nullptr, nullptr, "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromEnvironment("en", "C.UTF-8", nullptr, nullptr), Language::Chinese);
}

TEST(TranslateTest, LangOptionTakesZhOrEnOnly) {
    Language language = Language::Chinese;
    EXPECT_TRUE(platform::ParseLanguage("en", language));
    EXPECT_EQ(language, Language::English);
    EXPECT_TRUE(platform::ParseLanguage("zh", language));
    EXPECT_EQ(language, Language::Chinese);
    EXPECT_FALSE(platform::ParseLanguage("EN", language));
    EXPECT_FALSE(platform::ParseLanguage("", language));
}

TEST(TranslateTest, UntranslatedTextsAreTheSameBytesAndPrintfHasNoLengthLimit) {
    const char* text = "编程器:就绪.";
    EXPECT_EQ(platform::Tr(text), text);
    EXPECT_EQ(platform::CurrentLanguage(), Language::Chinese);
    const std::string path(600, 'a');
    EXPECT_EQ(platform::Printf("读入文件 %s 到缓冲1(%d字节).", path.c_str(), 478),
              "读入文件 " + path + " 到缓冲1(478字节).");
}

}  // namespace
