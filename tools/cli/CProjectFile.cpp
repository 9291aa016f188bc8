#include "CProjectFile.h"

#include <cerrno>
#include <sstream>

#include "CliOptions.h"
#include "isp/IspSelection.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Translate.h"

namespace {

using platform::Printf;
using platform::Tr;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A path of the file taken from the project's folder unless it is absolute.
std::string FromFolder(const std::string& dir, const std::string& path) {
    return path.empty() || path[0] == '/' ? path : dir + path;
}

}  // namespace

bool CProjectFile::ApplyKey(const std::string& key, const std::string& value,
                            const std::string& dir, CliOptions& options, std::string& error) {
    if (key == "image") {
        options.projectImage = FromFolder(dir, value);
    } else if (key == "sha256") {
        options.projectSha256 = value;
    } else if (key == "chip") {
        options.chip = value;
    } else if (key == "serial-file") {
        options.serialFile = FromFolder(dir, value);
    } else if (key == "log") {
        options.logFile = FromFolder(dir, value);
    } else if (key == "serial-overwrite" && (value == "yes" || value == "no")) {
        options.serialOverwrite = value == "yes";
    } else if (key == "lock" && value.size() == 1 && value[0] >= '1' && value[0] <= '3') {
        options.lockAfter = value[0] - '0';
    } else if (key == "isp") {
        IspSelection selection;
        if (!ParseIspSelection(value, selection)) return false;
        options.ispLink = value;
        options.ispLinks.push_back(value);
    } else if (key == "sim-image") {
        options.simImage = FromFolder(dir, value);
        options.simImages.push_back(options.simImage);
    } else if (key == "serial") {
        CSerialNumberRule rule;
        if (!rule.Parse(value, error)) return false;
        options.serial = rule;
    } else if (key == "chain") {
        std::istringstream steps(value);
        std::string step;
        options.noDetect = options.noErase = options.noVerify = true;
        while (steps >> step) {
            if (step == "detect")
                options.noDetect = false;
            else if (step == "erase")
                options.noErase = false;
            else if (step == "verify")
                options.noVerify = false;
            else if (step != "write")
                return false;
        }
    } else {
        return false;
    }
    return true;
}

bool CProjectFile::Apply(const std::string& path, CliOptions& options, std::string& error) {
    std::string text;
    if (!platform::ReadWholeFile(path, text)) {
        error = platform::ErrnoReason(path, errno);
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    options.projectFile = path;
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
        if (eq == std::string::npos || !ApplyKey(key, value, dir, options, error)) {
            if (error.empty())
                error = Printf(Tr("%s, line %d: '%s' is not a project setting"), path.c_str(),
                               number, line.c_str());
            return false;
        }
    }
    return true;
}
