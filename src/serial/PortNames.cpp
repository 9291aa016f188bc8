#include "serial/PortNames.h"

#include <map>
#include <mutex>

#include "platform/AppPaths.h"
#include "platform/Profile.h"
#include "sim/CBoxEmulator.h"

namespace {

std::mutex g_overrideMutex;
std::map<int, std::string> g_overrides;

constexpr const char kSimDevice[] = "sim";
constexpr const char kSimModelPrefix[] = "sim:";

}  // namespace

void SetComDeviceOverride(int comPort, const std::string& device) {
    std::lock_guard lock(g_overrideMutex);
    if (device.empty()) {
        g_overrides.erase(comPort);
    } else {
        g_overrides[comPort] = device;
    }
}

std::string ComDeviceName(int comPort) {
    {
        std::lock_guard lock(g_overrideMutex);
        const auto it = g_overrides.find(comPort);
        if (it != g_overrides.end()) return it->second;
    }
    const std::string key = "COM" + std::to_string(comPort);
    const std::string device =
        platform::GetProfileString("Devices", key, "", platform::SettingsFile("Dranvik.ini"));
    if (!device.empty()) return device;
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

ComDevice ResolveComDevice(int comPort) {
    ComDevice device;
    const std::string name = ComDeviceName(comPort);
    CTargetChip::Model model = CTargetChip::Model::AT89S52;
    if (name.rfind(kSimModelPrefix, 0) == 0) {
        if (!CTargetChip::ModelFromName(name.substr(sizeof kSimModelPrefix - 1), model)) {
            return device;  // an unknown chip model names no device
        }
    } else if (name != kSimDevice) {
        device.path = name;
        return device;
    }
    auto box = std::make_unique<CBoxEmulator>(model);
    if (!box->Start()) return device;
    device.path = box->SlavePath();
    device.box = std::move(box);
    return device;
}
