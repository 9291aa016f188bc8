#include "SettingsReport.h"

#include <utility>

#include "TextEscape.h"
#include "platform/AppPaths.h"
#ifdef OLSTRIN_HAVE_LPT
#include "lpt/PortSelection.h"
#endif
#ifdef OLSTRIN_HAVE_SERIAL
#include "serial/PortNames.h"
#endif

namespace {

const char* ProgrammerName(int type) {
    static const char* const kNames[] = {"serial programmer box", "Kestavo cable",
                                         "Atmel ByteBlaster", "Altera ByteBlasterMV",
                                         "Altera ByteBlasterII"};
    return type >= 0 && type <= 4 ? kNames[type] : "not valid";
}

const char* BaudName(int index) {
    static const char* const kBauds[] = {"9600", "19200", "28800", "57600"};
    return index >= 0 && index <= 3 ? kBauds[index] : "not valid";
}

const char* YesNo(int flag) {
    return flag ? "yes" : "no";
}

// The hotkey as the window shows it: modifiers, then the key.
std::string HotkeyName(const SettingsRecord& record) {
    if (record.cHotkeyKey == 0) return "none";
    std::string name;
    if (record.cHotkeyModifiers & 0x04) name += "Ctrl+";
    if (record.cHotkeyModifiers & 0x02) name += "Alt+";
    if (record.cHotkeyModifiers & 0x01) name += "Shift+";
    return name + static_cast<char>(record.cHotkeyKey);
}

}  // namespace

std::string LptDeviceLine() {
#ifdef OLSTRIN_HAVE_LPT
    const std::string device = LptDeviceSetting();
    return device.empty() ? std::string(kDefaultPpdevPath) + " (then io:0x378)" : device;
#else
    return "none in this build";
#endif
}

std::string ComDeviceLine(int comPort) {
#ifdef OLSTRIN_HAVE_SERIAL
    return ComDeviceName(comPort);
#else
    (void)comPort;
    return "none in this build";
#endif
}

void PrintSettings(const SettingsRecord& r, std::FILE* out, bool json) {
    const auto number = [](int value) { return std::to_string(value); };
    const std::pair<const char*, std::string> rows[] = {
        {"settings file", SettingsPath()},
        {"programmer", number(r.nProgrammerType) + " (" + ProgrammerName(r.nProgrammerType) + ")"},
        {"serial port", "COM" + number(r.nComPort) + " = " + ComDeviceLine(r.nComPort)},
        {"baud rate", BaudName(r.nBaudIndex)},
        {"parallel port", LptDeviceLine()},
        {"cable speed", number(r.nSpeedIndex)},
        {"chip row", number(r.nChipIndex)},
        {"detect first", YesNo(r.bAutoDetect)},
        {"sound prompts", YesNo(r.bSoundPrompt)},
        {"hotkey", HotkeyName(r) + " (" + YesNo(r.bUseHotkey) + ")"},
        {"auto marks", std::string("open ") + YesNo(r.bMarkOpen) + ", erase " +
                           YesNo(r.bMarkErase) + ", write " + YesNo(r.bMarkWrite) + ", read " +
                           YesNo(r.bMarkRead) + ", verify " + YesNo(r.bMarkVerify)},
        {"chip list", platform::ChipListPath()}};
    if (!json) {
        for (const auto& [label, value] : rows) {
            std::fprintf(out, "%-18s%s\n", label, EscapeControls(value).c_str());
        }
        return;
    }
    // One object, its keys the labels with '_' for the blanks.
    std::string object = "{\"type\":\"settings\"";
    for (const auto& [label, value] : rows) {
        std::string key = label;
        for (char& c : key) c = c == ' ' ? '_' : c;
        object += "," + JsonString(key) + ":" + JsonString(value);
    }
    std::fprintf(out, "%s}\n", object.c_str());
}
