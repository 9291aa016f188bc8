#include "session/ProjectSettings.h"

#include <cerrno>
#include <sstream>

#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Translate.h"

namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string ProjectPath(const std::string& dir, const std::string& path) {
    return path.empty() || path[0] == '/' ? path : dir + path;
}

bool ReadProjectSettings(const std::string& path, const ProjectSettingFn& apply,
                         std::string& error) {
    std::string text;
    if (!platform::ReadWholeFile(path, text)) {
        error = platform::ErrnoReason(path, errno);
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line == "[Project]" ||
            line == "[Devices]")
            continue;
        const size_t eq = line.find('=');
        const std::string key = Trimmed(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? "" : Trimmed(line.substr(eq + 1));
        error.clear();
        if (eq == std::string::npos || !apply(key, value, dir, error)) {
            if (error.empty())
                error = platform::Printf(platform::Tr("%s, line %d: '%s' is not a project setting"),
                                         path.c_str(), number, line.c_str());
            return false;
        }
    }
    return true;
}
