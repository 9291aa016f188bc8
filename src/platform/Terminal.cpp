#include "platform/Terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FailureReason.h"

namespace platform {

speed_t TableSpeed(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

int OpenTerminal(const std::string& path) {
    const int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int probe = ::open(path.c_str(), O_RDONLY | flags);
    if (probe < 0) {
        ReportFailureReason(ErrnoReason(path, errno));
        return -1;
    }
    struct stat probed {};
    int fd = -1;
    int error = ENOTTY;
    if (fstat(probe, &probed) == 0 && S_ISCHR(probed.st_mode) && isatty(probe)) {
        fd = ::open(path.c_str(), O_RDWR | flags);
        struct stat opened {};
        // The path must still name the same device once opened for writing.
        if (fd < 0) {
            error = errno;
        } else if (fstat(fd, &opened) != 0 || opened.st_rdev != probed.st_rdev || !isatty(fd)) {
            ::close(fd);
            fd = -1;
        }
    }
    ::close(probe);
    if (fd < 0) ReportFailureReason(ErrnoReason(path, error));
    return fd;
}

}  // namespace platform
