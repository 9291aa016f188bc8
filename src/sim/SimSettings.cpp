#include "sim/SimSettings.h"

#include <algorithm>
#include <atomic>
#include <mutex>

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
    if (g_strNotedFlashFile.empty()) return "使用模拟器件" + g_strNotedModel + "(闪存不保存).";
    return "使用模拟器件" + g_strNotedModel + "(闪存文件 " + g_strNotedFlashFile + ").";
}

std::string SimulatedChipModel() {
    std::lock_guard<std::mutex> lock(g_chipNoteMutex);
    return g_pNotedChip ? g_strNotedModel : std::string();
}
