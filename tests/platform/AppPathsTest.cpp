#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/AppPaths.h"
#include "support/TempDir.h"

namespace {

// Points the application folder and XDG_CONFIG_HOME into a temporary tree for one test.
class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedAppDir = platform::g_strAppDir;
        std::filesystem::create_directories(dir.File("prefix/bin"));
        std::filesystem::create_directories(dir.File("config"));
        ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        platform::g_strAppDir = dir.File("prefix/bin/");
        platform::SetSettingsDir("");
    }
    void TearDown() override {
        platform::g_strAppDir = m_savedAppDir;
        ::unsetenv("XDG_CONFIG_HOME");
    }

    TempDir dir;
    std::string m_savedAppDir;
};

TEST_F(AppPathsTest, PortableFolderUnlessInstalled) {
    EXPECT_EQ(platform::SettingsDir(), dir.File("prefix/bin/"));
    EXPECT_EQ(platform::SettingsFile("Dranvik.ini"), dir.File("prefix/bin/Dranvik.ini"));

    std::filesystem::create_directories(dir.File("prefix/share/olstrin"));
    EXPECT_EQ(platform::SettingsDir(), dir.File("config/olstrin/"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("config/olstrin")));

    platform::SetSettingsDir(dir.File("chosen"));
    EXPECT_EQ(platform::SettingsDir(), dir.File("chosen/"));
    platform::SetSettingsDir("");
}

TEST_F(AppPathsTest, ChipListLookupOrder) {
    std::filesystem::create_directories(dir.File("prefix/share/olstrin"));
    dir.Write("prefix/share/olstrin/ChipList.chip", "installed");
    EXPECT_EQ(platform::ChipListPath(), dir.File("prefix/bin/../share/olstrin/ChipList.chip"));

    dir.Write("prefix/bin/ChipList.chip", "beside");
    EXPECT_EQ(platform::ChipListPath(), dir.File("prefix/bin/ChipList.chip"));

    std::filesystem::create_directories(dir.File("config/olstrin"));
    dir.Write("config/olstrin/ChipList.chip", "edited");
    EXPECT_EQ(platform::ChipListPath(), dir.File("config/olstrin/ChipList.chip"));
}

}  // namespace
