#include "lpt/PortSelection.h"

#include <strings.h>

#include <mutex>

#include "lpt/CDirectPortIo.h"
#include "lpt/CPpdevPortIo.h"
#include "lpt/CSimPortIo.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/NumberText.h"
#include "platform/Profile.h"
#include "platform/Translate.h"
#include "sim/SimSettings.h"

namespace {

std::mutex g_overrideMutex;
std::string g_strOverride;  // guarded by g_overrideMutex

// The simulated target a "sim" or "sim:WORDS" name stands for. The words, comma-separated, are a
// model (at89s51, at89s52; AT89S52 when none) and the chip faults "nochip" (nothing in the
// socket: MISO reads all ones) and "nopageread" (page reads answered with 0xFF).
struct SimTarget {
    CTargetChip::Model model = CTargetChip::Model::AT89S52;
    bool absent = false;
    bool ignoresPageReads = false;
};

// False for a name that is not "sim" or "sim:" with words, for "sim:" alone, an empty word or a
// word of no meaning.
bool ParseSimTarget(const std::string& device, SimTarget& target) {
    target = SimTarget();
    if (device == "sim") return true;
    if (device.rfind("sim:", 0) != 0 || device.size() == 4) return false;
    const std::string words = device.substr(4);
    for (std::size_t start = 0;;) {
        const std::size_t comma = words.find(',', start);
        const std::string word =
            words.substr(start, comma == std::string::npos ? comma : comma - start);
        if (word == "nochip") {
            target.absent = true;
        } else if (word == "nopageread") {
            target.ignoresPageReads = true;
        } else if (!CTargetChip::ModelFromName(word, target.model)) {
            return false;
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// The base address of an "io:ADDRESS" name, false when it is no number or past 0xFFFC.
bool DirectBase(const std::string& device, std::uint16_t& base) {
    long long value = 0;
    if (device.rfind("io:", 0) != 0) return false;
    if (!platform::ParseNumber(std::string_view(device).substr(3), 0, 0xFFFC, value)) return false;
    base = static_cast<std::uint16_t>(value);
    return true;
}

std::unique_ptr<IPortIo> CreateSimPortIo(const SimTarget& target, int cableType) {
    auto chip = std::make_unique<CTargetChip>(target.model);
    chip->SetBusyReads(SimBusyReads());
    chip->SetAbsent(target.absent);
    chip->SetIgnoresPageReads(target.ignoresPageReads);
    const std::string flashFile = SimFlashFile();
    if (!flashFile.empty() && !chip->SetBackingFile(flashFile)) return nullptr;
    auto cable = std::make_unique<CSimCable>(CSimCable::DefaultWiring(cableType));
    cable->AttachChip(std::move(chip));
    return std::make_unique<CSimPortIo>(std::move(cable));
}

std::string SettingsFile() {
    return platform::SettingsFile("Dranvik.ini");
}

}  // namespace

std::optional<GpioPinMap> ReadGpioPinMap(const std::string& settingsFile) {
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
        std::string value = platform::GetProfileString("GPIO", key, "", settingsFile);
        if (value.empty()) continue;
        const std::string given = value;
        // The hand-written maps carry a comment after the value.
        const size_t comment = value.find(';');
        if (comment != std::string::npos) value.erase(comment);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        long long line = 0;
        if (!platform::ParseNumber(value, -0x7FFFFFFF, 65535, line)) {
            platform::ReportFailureReason(
                platform::Printf(platform::Tr("%s: [GPIO] %s=%s 不是线号(0到65535,负数表示不用)."),
                                 settingsFile.c_str(), key.c_str(), given.c_str()));
            return std::nullopt;
        }
        map[static_cast<size_t>(pin)] = line < 0 ? -1 : static_cast<int>(line);
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

std::string LptDeviceProblem(const std::string& device) {
    const char* problem = nullptr;
    SimTarget target;
    std::uint16_t base = 0;
    if (device == "sim:") {
        problem = N_("并口设备'%s'缺少模拟器件型号(at89s51或at89s52).");
    } else if (device.rfind("sim:", 0) == 0 && !ParseSimTarget(device, target)) {
        problem = N_("并口设备'%s'不是已知的模拟器件(at89s51,at89s52,nochip,nopageread).");
    } else if (device.rfind("io:", 0) == 0 && !DirectBase(device, base)) {
        problem = N_("并口设备'%s'的端口地址无效(0到0xFFFC).");
    } else if (device == "gpio:") {
        problem = N_("并口设备'%s'缺少GPIO芯片路径.");
    }
    return problem ? platform::Printf(platform::Tr(problem), device.c_str()) : std::string();
}

std::unique_ptr<IPortIo> CreatePortIo(const std::string& device, int cableType) {
    if (device.empty()) return nullptr;
    const std::string problem = LptDeviceProblem(device);
    if (!problem.empty()) {
        platform::ReportFailureReason(problem);
        return nullptr;
    }
    SimTarget target;
    if (ParseSimTarget(device, target)) return CreateSimPortIo(target, cableType);
    std::uint16_t base = 0;
    if (DirectBase(device, base)) return std::make_unique<CDirectPortIo>(base);
    if (device.rfind("gpio:", 0) == 0) {
        const std::optional<GpioPinMap> map = ReadGpioPinMap(SettingsFile());
        if (!map) return nullptr;
        return std::make_unique<CGpioPortIo>(device.substr(5), *map);
    }
    return std::make_unique<CPpdevPortIo>(device);
}
