#include "sim/SimSettings.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

#include "platform/AppPaths.h"
#include "platform/Translate.h"
#include "sim/CTargetChip.h"

namespace {

std::mutex g_flashFileMutex;
std::string g_strFlashFile;  // guarded by g_flashFileMutex
std::mutex g_chipNoteMutex;
const void* g_pNotedChip = nullptr;  // guarded by g_chipNoteMutex, as are the two below
std::string g_strNotedModel;
std::string g_strNotedFlashFile;
std::atomic<int> g_nBusyReads{2};
std::atomic<int> g_nEraseMs{0};

}  // namespace

void SetSimFlashFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_flashFileMutex);
    g_strFlashFile = path;
}

std::string SimFlashFile() {
    std::lock_guard<std::mutex> lock(g_flashFileMutex);
    return g_strFlashFile;
}

std::string KeptSimFlashFile(const std::string& model) {
    CTargetChip::Model known = CTargetChip::Model::AT89S52;
    if (!model.empty() && !CTargetChip::ModelFromName(model, known)) return {};
    std::string name = CTargetChip::ModelName(known);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return platform::CacheDir() + "sim-" + name + ".bin";
}

void SetSimBusyReads(int reads) {
    g_nBusyReads.store(std::max(reads, 0));
}

int SimBusyReads() {
    return g_nBusyReads.load();
}

void SetSimEraseMs(int ms) {
    g_nEraseMs.store(std::max(ms, 0));
}

int SimEraseMs() {
    return g_nEraseMs.load();
}

void NoteSimulatedChip(const void* chip, const std::string& model, const std::string& flashFile) {
    std::lock_guard<std::mutex> lock(g_chipNoteMutex);
    g_pNotedChip = chip;
    g_strNotedModel = model;
    g_strNotedFlashFile = flashFile;
}

void ForgetSimulatedChip(const void* chip) {
    std::lock_guard<std::mutex> lock(g_chipNoteMutex);
    if (g_pNotedChip == chip) g_pNotedChip = nullptr;
}

std::string SimulatedChipText() {
    std::lock_guard<std::mutex> lock(g_chipNoteMutex);
    if (!g_pNotedChip) return {};
    if (g_strNotedFlashFile.empty()) {
        return platform::Printf(platform::Tr("使用模拟器件%s(闪存不保存)."),
                                g_strNotedModel.c_str());
    }
    return platform::Printf(platform::Tr("使用模拟器件%s(闪存文件 %s)."), g_strNotedModel.c_str(),
                            g_strNotedFlashFile.c_str());
}

std::string SimulatedChipModel() {
    std::lock_guard<std::mutex> lock(g_chipNoteMutex);
    return g_pNotedChip ? g_strNotedModel : std::string();
}
