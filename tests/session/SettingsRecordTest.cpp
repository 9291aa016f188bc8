#include <gmock/gmock.h>

#include "SessionFixture.h"
#include "platform/Profile.h"

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

// Hand-edited pin sections as a user keeps them beside the record, with CRLF line endings.
const char* const kPinSections =
    "; cable pins\r\n"
    "[引脚控制]\r\n"
    "SCK = 6 \r\n"
    "MOSI=7\r\n"
    "\r\n"
    "[锁存控制(LE)]\r\n"
    "LE=9\r\n"
    "[输出控制(OE)]\r\n"
    "OE=-1\r\n";

class SettingsRecordTest : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        session = std::make_unique<CProgrammingSession>(view);
        ini = dir.File("Dranvik.ini");
    }
    std::string ini;
};

TEST_F(SettingsRecordTest, RoundTripKeepsTheHandEditedSectionsByteForByte) {
    dir.Write("Dranvik.ini", kPinSections);
    SettingsRecord& settings = session->Settings();
    settings.nProgrammerType = 0;
    settings.nComPort = 3;
    settings.nBaudIndex = 3;
    settings.nSpeedIndex = 2;
    settings.bSoundPrompt = 0;
    settings.cHotkeyKey = 'K';
    settings.cHotkeyModifiers = 0x06;
    view.marks = {SessionButton::Read, SessionButton::Erase};
    view.SelectChip(5);
    ASSERT_TRUE(session->SaveSettings(ini));

    const std::string written = dir.Read("Dranvik.ini");
    EXPECT_EQ(written.substr(0, std::string(kPinSections).size()), kPinSections);

    // Another session reads back exactly what was stored.
    RecordingView view2(queue);
    CProgrammingSession loaded(view2);
    ASSERT_TRUE(loaded.LoadSettings(ini));
    const SettingsRecord& got = loaded.Settings();
    EXPECT_EQ(got.nProgrammerType, 0);
    EXPECT_EQ(got.nComPort, 3);
    EXPECT_EQ(got.nBaudIndex, 3);
    EXPECT_EQ(got.nSpeedIndex, 2);
    EXPECT_EQ(got.bAutoDetect, 1);
    EXPECT_EQ(got.bSoundPrompt, 0);
    EXPECT_EQ(got.nChipIndex, 5);
    EXPECT_EQ(got.cHotkeyKey, 'K');
    EXPECT_EQ(got.cHotkeyModifiers, 0x06);
    EXPECT_THAT(view2.marks, UnorderedElementsAre(SessionButton::Erase, SessionButton::Read));

    // Saving again changes the record's line only.
    view.marks.clear();
    ASSERT_TRUE(session->SaveSettings(ini));
    const std::string again = dir.Read("Dranvik.ini");
    EXPECT_EQ(again.size(), written.size());
    EXPECT_EQ(again.substr(0, std::string(kPinSections).size()), kPinSections);
}

TEST_F(SettingsRecordTest, StoredBytesFollowTheRecordLayout) {
    SettingsRecord record = InitialSettings();
    record.nChipIndex = -1;
    record.cHotkeyKey = 'K';
    record.cHotkeyModifiers = 0x04;
    record.padding[0] = 0x77;  // never written
    ASSERT_TRUE(WriteSettingsRecord(ini, record));
    const std::string value = platform::GetProfileString("InfoSave", "m_InfoSave", "", ini);
    ASSERT_EQ(value.size(), 114u);
    EXPECT_EQ(value.substr(0, 16), "0100000001000000");  // type 1, port 1
    EXPECT_EQ(value.substr(96, 8), "FFFFFFFF");          // chip index -1 at offset 48
    EXPECT_EQ(value.substr(104, 8), "4B040000");         // key, modifiers, zero padding
}

TEST_F(SettingsRecordTest, NoRecordOrAWrongChecksumGivesTheInitialValues) {
    SettingsRecord record = InitialSettings();
    record.nProgrammerType = 4;
    ASSERT_TRUE(WriteSettingsRecord(ini, record));
    std::string value = platform::GetProfileString("InfoSave", "m_InfoSave", "", ini);
    value[113] = value[113] == '0' ? '1' : '0';  // corrupt the checksum
    ASSERT_TRUE(platform::WriteProfileString("InfoSave", "m_InfoSave", value, ini));

    for (const std::string& path : {ini, dir.File("absent.ini")}) {
        SCOPED_TRACE(path);
        view.marks.clear();
        session->Settings().nProgrammerType = 4;
        EXPECT_FALSE(session->LoadSettings(path));
        const SettingsRecord& got = session->Settings();
        EXPECT_EQ(got.nProgrammerType, 1);
        EXPECT_EQ(got.nComPort, 1);
        EXPECT_EQ(got.nBaudIndex, 0);
        EXPECT_EQ(got.nSpeedIndex, 0);
        EXPECT_TRUE(got.bAutoDetect && got.bSoundPrompt && got.bUseHotkey);
        EXPECT_EQ(got.cHotkeyKey, 0);
        EXPECT_EQ(got.nChipIndex, 0);
        EXPECT_THAT(view.marks, ElementsAre(SessionButton::Open, SessionButton::Erase,
                                            SessionButton::Write, SessionButton::Verify));
    }
}

TEST_F(SettingsRecordTest, OutOfRangeValuesAreKeptAsStored) {
    SettingsRecord record = InitialSettings();
    record.nProgrammerType = 7;
    record.nComPort = 9;
    record.nBaudIndex = -2;
    record.nSpeedIndex = 5;
    ASSERT_TRUE(WriteSettingsRecord(ini, record));
    ASSERT_TRUE(session->LoadSettings(ini));
    EXPECT_EQ(session->Settings().nProgrammerType, 7);
    EXPECT_EQ(session->Settings().nComPort, 9);
    EXPECT_EQ(session->Settings().nBaudIndex, -2);
    EXPECT_EQ(session->Settings().nSpeedIndex, 5);
}

}  // namespace
