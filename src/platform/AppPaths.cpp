#include "platform/AppPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>

#ifndef OLSTRIN_DATA_DIR
#define OLSTRIN_DATA_DIR "/usr/share/olstrin"
#endif

namespace platform {

std::string g_strAppDir;

namespace {

std::mutex g_pathMutex;
std::string g_settingsOverride;

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The data folder of an installed program: <prefix>/share/olstrin/ beside <prefix>/bin/.
std::string InstalledDataDir() {
    return g_strAppDir + "../share/olstrin/";
}

// mkdir -p for the folder; false when it does not exist afterwards.
bool MakeDirs(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') ::mkdir(dir.substr(0, pos).c_str(), 0755);
    }
    return DirExists(dir);
}

// $VAR/olstrin/, or ~/fallback/olstrin/ when VAR is unset or not absolute.
std::string XdgDir(const char* var, const char* fallback) {
    const char* base = std::getenv(var);
    std::string dir;
    if (base && base[0] == '/') {
        dir = base;
    } else {
        const char* home = std::getenv("HOME");
        dir = std::string(home ? home : "/tmp") + "/" + fallback;
    }
    dir = WithSlash(dir) + "olstrin/";
    MakeDirs(dir);
    return dir;
}

std::string ConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

}  // namespace

void InitAppPaths() {
    char buf[PATH_MAX + 1] = {};
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("./");
    g_strAppDir = exe.substr(0, exe.rfind('/') + 1);
}

void SetSettingsDir(const std::string& dir) {
    std::lock_guard lock(g_pathMutex);
    g_settingsOverride = dir.empty() ? std::string() : WithSlash(dir);
}

std::string SettingsDir() {
    {
        std::lock_guard lock(g_pathMutex);
        if (!g_settingsOverride.empty()) return g_settingsOverride;
    }
    const bool installed = DirExists(InstalledDataDir());
    if (!installed && !g_strAppDir.empty() && ::access(g_strAppDir.c_str(), W_OK) == 0)
        return g_strAppDir;
    return ConfigDir();
}

std::string SettingsFile(const std::string& name) {
    return SettingsDir() + name;
}

std::string ChipListPath() {
    const std::string name = "ChipList.chip";
    const std::string settings = SettingsDir();
    if (settings != g_strAppDir && FileExists(settings + name)) return settings + name;
    if (FileExists(g_strAppDir + name)) return g_strAppDir + name;
    if (FileExists(InstalledDataDir() + name)) return InstalledDataDir() + name;
    return WithSlash(OLSTRIN_DATA_DIR) + name;
}

std::string CacheDir() {
    return XdgDir("XDG_CACHE_HOME", ".cache");
}

}  // namespace platform
