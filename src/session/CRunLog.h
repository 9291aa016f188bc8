#pragma once

#include <string>

// The run log: a file of JSON lines, one per run, that several runs may share. Each line is
// appended with one write() on a descriptor opened with O_APPEND, so lines of runs that end at
// the same moment never interleave.
class CRunLog {
public:
    // Appends line and a newline to path (made when missing). False, with the reason reported
    // through platform::ReportFailureReason, when the file cannot be opened or written whole.
    static bool Append(const std::string& path, const std::string& line);
};
