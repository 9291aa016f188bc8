#include "session/SettingsRecord.h"

#include "platform/AppPaths.h"
#include "platform/Profile.h"

namespace {

constexpr const char* kSection = "InfoSave";
constexpr const char* kKey = "m_InfoSave";

}  // namespace

SettingsRecord InitialSettings() {
    SettingsRecord record{};
    record.nProgrammerType = 1;
    record.nComPort = 1;
    record.nBaudIndex = 0;
    record.nSpeedIndex = 0;
    record.bAutoDetect = 1;
    record.bSoundPrompt = 1;
    record.bUseHotkey = 1;
    record.bMarkOpen = 1;
    record.bMarkErase = 1;
    record.bMarkWrite = 1;
    record.bMarkRead = 0;
    record.bMarkVerify = 1;
    record.nChipIndex = 0;
    return record;
}

bool ReadSettingsRecord(const std::string& path, SettingsRecord& record) {
    SettingsRecord stored{};
    if (!platform::GetProfileStruct(kSection, kKey, &stored, sizeof stored, path)) return false;
    record = stored;
    return true;
}

bool WriteSettingsRecord(const std::string& path, const SettingsRecord& record) {
    SettingsRecord stored = record;
    stored.padding[0] = stored.padding[1] = 0;
    return platform::WriteProfileStruct(kSection, kKey, &stored, sizeof stored, path);
}

std::string SettingsPath() {
    return platform::SettingsFile("Dranvik.ini");
}
