#include "sim/SimSettings.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::mutex g_flashFileMutex;
std::string g_strFlashFile;  // guarded by g_flashFileMutex
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
