#include "serial/PortNames.h"

#include <map>
#include <mutex>

#include "platform/AppPaths.h"
#include "platform/Profile.h"
#include "sim/CBoxEmulator.h"

namespace {

std::mutex g_overrideMutex;
std::map<int, std::string> g_overrides;

constexpr const char kSimSpec[] = "sim";
constexpr const char kSimModelPrefix[] = "sim:";

}  // namespace

void SetComDeviceOverride(int comPort, const std::string& spec) {
    std::lock_guard lock(g_overrideMutex);
    if (spec.empty()) {
        g_overrides.erase(comPort);
    } else {
        g_overrides[comPort] = spec;
    }
}

std::string ComDeviceSpec(int comPort) {
    {
        std::lock_guard lock(g_overrideMutex);
        const auto it = g_overrides.find(comPort);
        if (it != g_overrides.end()) return it->second;
    }
    const std::string key = "COM" + std::to_string(comPort);
    const std::string spec =
        platform::GetProfileString("Devices", key, "", platform::SettingsFile("Dranvik.ini"));
    if (!spec.empty()) return spec;
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

ComDevice ResolveComDevice(int comPort) {
    ComDevice device;
    const std::string spec = ComDeviceSpec(comPort);
    CTargetChip::Model model = CTargetChip::Model::AT89S52;
    if (spec.rfind(kSimModelPrefix, 0) == 0) {
        if (!CTargetChip::ModelFromName(spec.substr(sizeof kSimModelPrefix - 1), model)) {
            return device;  // an unknown chip model names no device
        }
    } else if (spec != kSimSpec) {
        device.path = spec;
        return device;
    }
    auto box = std::make_unique<CBoxEmulator>(model);
    if (!box->Start()) return device;
    device.path = box->SlavePath();
    device.box = std::move(box);
    return device;
}
