#pragma once

#include <string>

// Where the program finds itself and keeps its files.
namespace platform {

// The executable's folder with a trailing '/', set by InitAppPaths.
extern std::string g_strAppDir;

// Sets g_strAppDir from /proc/self/exe. Call once at start, before any other function here.
void InitAppPaths();

// Overrides the folder of Dranvik.ini and LastFile.ini (the CLI's --settings, tests). An empty
// string returns to the default choice.
void SetSettingsDir(const std::string& dir);

// The folder holding Dranvik.ini and LastFile.ini, with a trailing '/': the application folder
// when it is writable and not an installed prefix (portable use), else $XDG_CONFIG_HOME/olstrin/
// (default ~/.config/olstrin/), created on demand. An installed program (one with
// ../share/olstrin/ beside its folder) always uses the config folder, even when run as root.
std::string SettingsDir();

// SettingsDir() + name.
std::string SettingsFile(const std::string& name);

// ChipList.chip: in the settings folder when that is the user's config folder and the file is
// there, else beside the executable when present, else in the installed data folder
// (../share/olstrin/ beside the executable's folder, then the configured data folder).
std::string ChipListPath();

// $XDG_CACHE_HOME/olstrin/ (default ~/.cache/olstrin/), created on demand, trailing '/'.
std::string CacheDir();

}  // namespace platform
