#pragma once

namespace platform {

// Opens each of the descriptors 0, 1 and 2 that is closed on /dev/null (standard input for
// reading, the others for writing), so that the first file the program opens can never become its
// standard input, output or error and receive its log or messages. Call first in main, before
// anything opens a file or starts a thread. Returns the closed ones as a bit mask: bit n for
// descriptor n.
int OpenClosedStandardStreams();

}  // namespace platform
