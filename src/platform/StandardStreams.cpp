#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int OpenClosedStandardStreams() {
    int closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closed |= 1 << fd;
        // The lowest free descriptor is this one, as every lower one is open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    return closed;
}

}  // namespace platform
