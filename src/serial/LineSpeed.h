#pragma once

// Line rates outside the fixed table of termios, set and read through termios2. These live apart
// from the termios code because the kernel's termios2 header cannot share a file with <termios.h>.
namespace serial {

// Sets input and output rate of the tty to baud (BOTHER). 0 on success, else the errno.
int SetArbitrarySpeed(int fd, int baud);

// The output rate the tty is set to in bits per second, or -1 when it cannot be read.
int ReadLineSpeed(int fd);

}  // namespace serial
