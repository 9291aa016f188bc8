#include "SettingsReport.h"

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

void PrintSettings(const SettingsRecord& r, std::FILE* out) {
    std::fprintf(out, "settings file     %s\n", SettingsPath().c_str());
    std::fprintf(out, "programmer        %d (%s)\n", r.nProgrammerType,
                 ProgrammerName(r.nProgrammerType));
    std::fprintf(out, "serial port       COM%d = %s\n", r.nComPort,
                 ComDeviceLine(r.nComPort).c_str());
    std::fprintf(out, "baud rate         %s\n", BaudName(r.nBaudIndex));
    std::fprintf(out, "parallel port     %s\n", LptDeviceLine().c_str());
    std::fprintf(out, "cable speed       %d\n", r.nSpeedIndex);
    std::fprintf(out, "chip row          %d\n", r.nChipIndex);
    std::fprintf(out, "detect first      %s\n", YesNo(r.bAutoDetect));
    std::fprintf(out, "sound prompts     %s\n", YesNo(r.bSoundPrompt));
    std::fprintf(out, "hotkey            %s (%s)\n", HotkeyName(r).c_str(), YesNo(r.bUseHotkey));
    std::fprintf(out, "auto marks        open %s, erase %s, write %s, read %s, verify %s\n",
                 YesNo(r.bMarkOpen), YesNo(r.bMarkErase), YesNo(r.bMarkWrite), YesNo(r.bMarkRead),
                 YesNo(r.bMarkVerify));
    std::fprintf(out, "chip list         %s\n", platform::ChipListPath().c_str());
}
