#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <type_traits>

// The user settings as stored in Dranvik.ini, section "InfoSave", key "m_InfoSave": 56 bytes,
// little-endian, written with the profile structure functions (hex pairs and a checksum). The
// session also keeps its working values in this form.
struct SettingsRecord {
    std::int32_t nProgrammerType;  // 0 serial box, 1..4 parallel cable types
    std::int32_t nComPort;         // 1..4
    std::int32_t nBaudIndex;       // 0..3: 9600, 19200, 28800, 57600
    std::int32_t nSpeedIndex;      // 0..2: cable speed
    std::int32_t bAutoDetect;      // auto-complete detects the device first
    std::int32_t bSoundPrompt;
    std::int32_t bUseHotkey;
    std::int32_t bMarkOpen;  // auto-complete marks of the five marked buttons
    std::int32_t bMarkErase;
    std::int32_t bMarkWrite;
    std::int32_t bMarkRead;
    std::int32_t bMarkVerify;
    std::int32_t nChipIndex;        // chip combo row, -1 when none
    std::uint8_t cHotkeyKey;        // upper-case key character, 0 for no hotkey
    std::uint8_t cHotkeyModifiers;  // 0x01 Shift, 0x02 Alt, 0x04 Ctrl
    std::uint8_t padding[2];
};
static_assert(sizeof(SettingsRecord) == 56, "SettingsRecord must match the 56 stored bytes");
static_assert(std::is_trivially_copyable_v<SettingsRecord>);
static_assert(std::endian::native == std::endian::little, "the record is stored little-endian");

// The values a first start works with: the Kestavo cable (type 1) on port 1 at baud index 0,
// speed 0, the three options on, no hotkey, marks on Open, Erase, Write and Verify, chip 0.
SettingsRecord InitialSettings();

// Reads the record from the settings file at path. False, with record untouched, when the file,
// the section or the key is missing or the value has the wrong length or checksum.
bool ReadSettingsRecord(const std::string& path, SettingsRecord& record);

// Writes the record (padding zeroed) into the settings file at path, keeping every other line of
// the file byte for byte. False when the file cannot be written.
bool WriteSettingsRecord(const std::string& path, const SettingsRecord& record);

// Dranvik.ini in the settings folder.
std::string SettingsPath();
