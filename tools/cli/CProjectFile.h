#pragma once

#include <string>

struct CliOptions;

// A production project (*.olp): one small INI-style text file that names what an operator's run
// needs, so that "olstrin-cli --project board.olp" is the whole command. Lines are "key = value"
// under a [Project] heading; blank lines and lines starting with '#' or ';' are skipped. Keys:
// image, sha256 (of the image file, pinning it), chip, chain (the steps of auto among detect,
// erase, write, verify), lock (1..3), serial (ADDR:FORM:START), serial-file, serial-overwrite
// (yes/no) and log. Relative paths are taken from the project file's folder.
class CProjectFile {
public:
    // Reads path into the options, as if its keys had been given where --project stands. False
    // with a one-line reason when the file cannot be read or holds an unknown key or bad value.
    static bool Apply(const std::string& path, CliOptions& options, std::string& error);

private:
    static bool ApplyKey(const std::string& key, const std::string& value, const std::string& dir,
                         CliOptions& options, std::string& error);
};
