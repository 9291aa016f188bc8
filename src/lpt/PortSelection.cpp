#include "lpt/PortSelection.h"

#include <strings.h>

#include <cstdlib>
#include <mutex>

#include "lpt/CDirectPortIo.h"
#include "lpt/CPpdevPortIo.h"
#include "lpt/CSimPortIo.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/Profile.h"
#include "sim/SimSettings.h"

namespace {

std::mutex g_overrideMutex;
std::string g_strOverride;  // guarded by g_overrideMutex

// "sim:" is followed by comma-separated words: a model (at89s51, at89s52) and the chip faults
// "nochip" (nothing in the socket: MISO reads all ones) and "nopageread" (page reads answered
// with 0xFF). Any other word is refused.
std::unique_ptr<IPortIo> CreateSimPortIo(const std::string& words, int cableType) {
    CTargetChip::Model chipModel = CTargetChip::Model::AT89S52;
    bool absent = false;
    bool ignoresPageReads = false;
    for (std::size_t start = 0; !words.empty();) {
        const std::size_t comma = words.find(',', start);
        const std::string word =
            words.substr(start, comma == std::string::npos ? comma : comma - start);
        if (word == "nochip") {
            absent = true;
        } else if (word == "nopageread") {
            ignoresPageReads = true;
        } else if (!CTargetChip::ModelFromName(word, chipModel)) {
            return nullptr;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    auto chip = std::make_unique<CTargetChip>(chipModel);
    chip->SetBusyReads(SimBusyReads());
    chip->SetAbsent(absent);
    chip->SetIgnoresPageReads(ignoresPageReads);
    const std::string flashFile = SimFlashFile();
    if (!flashFile.empty() && !chip->SetBackingFile(flashFile)) return nullptr;
    auto cable = std::make_unique<CSimCable>(CSimCable::DefaultWiring(cableType));
    cable->AttachChip(std::move(chip));
    return std::make_unique<CSimPortIo>(std::move(cable));
}

std::unique_ptr<IPortIo> CreateDirectPortIo(const std::string& address) {
    char* end = nullptr;
    const unsigned long base = std::strtoul(address.c_str(), &end, 0);
    if (address.empty() || *end != '\0' || base > 0xFFFC) return nullptr;
    return std::make_unique<CDirectPortIo>(static_cast<std::uint16_t>(base));
}

std::string SettingsFile() {
    return platform::SettingsFile("Dranvik.ini");
}

}  // namespace

GpioPinMap ReadGpioPinMap(const std::string& settingsFile) {
    GpioPinMap map = EmptyGpioPinMap();
    const std::string preset = platform::GetProfileString("GPIO", "Preset", "", settingsFile);
    if (strcasecmp(preset.c_str(), "rpi") == 0) {
        map[2] = 10;   // MOSI
        map[10] = 9;   // MISO
        map[1] = 11;   // SCK
        map[17] = 25;  // RST
    } else if (!preset.empty()) {
        platform::ReportFailureReason(settingsFile + ": [GPIO] Preset=" + preset +
                                      " is unknown (known: rpi)");
    }
    for (int pin = 1; pin < static_cast<int>(map.size()); ++pin) {
        const std::string key = "Pin" + std::to_string(pin);
        map[static_cast<size_t>(pin)] =
            platform::GetProfileInt("GPIO", key, map[static_cast<size_t>(pin)], settingsFile);
    }
    return map;
}

void SetLptDeviceOverride(const std::string& device) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_strOverride = device;
}

std::string LptDeviceSetting() {
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (!g_strOverride.empty()) return g_strOverride;
    }
    return platform::GetProfileString("Devices", "LPT", "", SettingsFile());
}

std::unique_ptr<IPortIo> CreatePortIo(const std::string& device, int cableType) {
    if (device == "sim") return CreateSimPortIo("", cableType);
    if (device.rfind("sim:", 0) == 0) return CreateSimPortIo(device.substr(4), cableType);
    if (device.rfind("io:", 0) == 0) return CreateDirectPortIo(device.substr(3));
    if (device.rfind("gpio:", 0) == 0) {
        const std::string chip = device.substr(5);
        if (chip.empty()) return nullptr;
        return std::make_unique<CGpioPortIo>(chip, ReadGpioPinMap(SettingsFile()));
    }
    if (device.empty()) return nullptr;
    return std::make_unique<CPpdevPortIo>(device);
}
