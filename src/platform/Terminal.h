#pragma once

#include <termios.h>

#include <string>

namespace platform {

// The termios constant of a rate in the fixed table, or B0 when the rate is not there.
speed_t TableSpeed(int baud);

// Opens path for reading and writing if it is a terminal (non-blocking, not as the controlling
// terminal, closed on exec), else returns -1 with the reason (path and error) sent to
// ReportFailureReason. Anything else (a regular file, a block device, a pipe) is only ever opened
// for reading and closed again untouched, so a wrong setting cannot write a frame over a file.
int OpenTerminal(const std::string& path);

}  // namespace platform
