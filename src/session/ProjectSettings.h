#pragma once

#include <functional>
#include <string>

// Reads a production project file (*.olp): "key = value" lines under [Project] and [Devices]
// headings; blank lines and lines starting with '#' or ';' are skipped. Each setting goes to
// apply with the project file's folder ("" or ending in '/'), from which relative paths are
// taken. False with a one-line reason in error when the file cannot be read or apply refuses a
// line (apply may set error itself; else the line is named as not a project setting).
using ProjectSettingFn = std::function<bool(const std::string& key, const std::string& value,
                                            const std::string& dir, std::string& error)>;
bool ReadProjectSettings(const std::string& path, const ProjectSettingFn& apply,
                         std::string& error);

// A path of the project taken from its folder unless it is absolute.
std::string ProjectPath(const std::string& dir, const std::string& path);
