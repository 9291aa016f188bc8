#include "isp/IspSelection.h"

#include <cstdlib>
#include <mutex>

#include "isp/CArduinoIspLink.h"
#include "isp/CUsbaspLink.h"
#include "platform/AppPaths.h"
#include "platform/Profile.h"
#include "sim/CArduinoIspEmulator.h"

namespace {

std::mutex g_overrideMutex;
std::string g_strOverride;  // guarded by g_overrideMutex
std::mutex g_noteMutex;
const void* g_pNotedLink = nullptr;  // guarded by g_noteMutex, as is the text
std::string g_strNotedText;

// A decimal number in [low, high] made of digits only; -1 otherwise.
long ParseNumber(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high ? value : -1;
}

bool ParseArduino(const std::string& rest, IspSelection& selection) {
    std::string device = rest;
    int baud = kDefaultArduinoBaud;
    const auto at = rest.rfind('@');
    if (at != std::string::npos) {
        const long rate = ParseNumber(rest.substr(at + 1), 1, 4'000'000);
        if (rate < 0) return false;
        baud = static_cast<int>(rate);
        device = rest.substr(0, at);
    }
    if (device.empty()) return false;
    selection.kind = IspSelection::Kind::Arduino;
    selection.device = device;
    selection.baud = baud;
    return true;
}

bool ParseUsbasp(const std::string& rest, IspSelection& selection) {
    selection.kind = IspSelection::Kind::Usbasp;
    const auto colon = rest.find(':');
    if (colon == std::string::npos) {
        selection.device = rest;
        return true;
    }
    const long bus = ParseNumber(rest.substr(0, colon), 0, 255);
    const long address = ParseNumber(rest.substr(colon + 1), 0, 255);
    if (bus < 0 || address < 0) return false;
    selection.usbBus = static_cast<int>(bus);
    selection.usbAddress = static_cast<int>(address);
    return true;
}

// "arduino:sim" starts an emulated board here; the simulation is for trying the program out, so
// there is no boot loader to wait for.
std::unique_ptr<IIspLink> CreateArduinoLink(const IspSelection& selection,
                                            std::function<bool()> stopping) {
    if (selection.device != "sim" && selection.device.rfind("sim:", 0) != 0) {
        return std::make_unique<CArduinoIspLink>(selection.device, selection.baud,
                                                 std::move(stopping));
    }
    CTargetChip::Model model = CTargetChip::Model::AT89S52;
    if (selection.device.size() > 4 &&
        !CTargetChip::ModelFromName(selection.device.substr(4), model))
        return nullptr;
    auto emulator = std::make_unique<CArduinoIspEmulator>(model);
    if (!emulator->Start()) return nullptr;
    CArduinoIspLink::Options options;
    options.bootWaitMs = 0;
    auto link = std::make_unique<CArduinoIspLink>(emulator->SlavePath(), selection.baud,
                                                  std::move(stopping), options);
    link->KeepEmulator(std::move(emulator));
    return link;
}

}  // namespace

bool ParseIspSelection(const std::string& text, IspSelection& selection) {
    selection = IspSelection{};
    if (text.empty()) return true;
    if (text.rfind("arduino:", 0) == 0) return ParseArduino(text.substr(8), selection);
    if (text == "usbasp") return ParseUsbasp("", selection);
    if (text.rfind("usbasp:", 0) == 0 && text.size() > 7)
        return ParseUsbasp(text.substr(7), selection);
    return false;
}

void SetIspOverride(const std::string& text) {
    std::lock_guard lock(g_overrideMutex);
    g_strOverride = text;
}

std::string IspSetting() {
    {
        std::lock_guard lock(g_overrideMutex);
        if (!g_strOverride.empty()) return g_strOverride;
    }
    return platform::GetProfileString("Devices", "ISP", "", platform::SettingsFile("Dranvik.ini"));
}

std::unique_ptr<IIspLink> CreateIspLink(const IspSelection& selection,
                                        std::function<bool()> stopping) {
    // One branch per kind of link this build has.
    if (selection.kind == IspSelection::Kind::Usbasp)
        return std::make_unique<CUsbaspLink>(selection, std::move(stopping));
    if (selection.kind == IspSelection::Kind::Arduino)
        return CreateArduinoLink(selection, std::move(stopping));
    return nullptr;
}

void NoteIspLink(const void* link, const std::string& text) {
    std::lock_guard lock(g_noteMutex);
    g_pNotedLink = link;
    g_strNotedText = text;
}

void ForgetIspLink(const void* link) {
    std::lock_guard lock(g_noteMutex);
    if (g_pNotedLink == link) g_pNotedLink = nullptr;
}

std::string IspLinkText() {
    std::lock_guard lock(g_noteMutex);
    return g_pNotedLink ? g_strNotedText : std::string();
}
