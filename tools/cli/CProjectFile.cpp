#include "CProjectFile.h"

#include <sstream>

#include "CliOptions.h"
#include "isp/IspSelection.h"
#include "session/ProjectSettings.h"

bool CProjectFile::ApplyKey(const std::string& key, const std::string& value,
                            const std::string& dir, CliOptions& options, std::string& error) {
    if (key == "image") {
        options.projectImage = ProjectPath(dir, value);
    } else if (key == "sha256") {
        options.projectSha256 = value;
    } else if (key == "chip") {
        options.chip = value;
    } else if (key == "serial-file") {
        options.serialFile = ProjectPath(dir, value);
    } else if (key == "log") {
        options.logFile = ProjectPath(dir, value);
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
        options.simImage = ProjectPath(dir, value);
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
    options.projectFile = path;
    return ReadProjectSettings(
        path,
        [&options](const std::string& key, const std::string& value, const std::string& dir,
                   std::string& reason) { return ApplyKey(key, value, dir, options, reason); },
        error);
}
