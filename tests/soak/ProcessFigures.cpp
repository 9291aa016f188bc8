#include "ProcessFigures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int CountEntries(const char* folder) {
    std::error_code ec;
    int count = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        ++count;
    }
    return count;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

}  // namespace

ProcessFigures ProcessFigures::Sample() {
    ProcessFigures figures;
    figures.threads = CountEntries("/proc/self/task");
    // Listing the folder opens one descriptor of its own, which is not the process's.
    figures.fds = CountEntries("/proc/self/fd") - 1;
    figures.rssKiB = ResidentKiB();
    return figures;
}
