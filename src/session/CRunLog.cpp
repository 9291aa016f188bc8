#include "session/CRunLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FailureReason.h"

bool CRunLog::Append(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        platform::ReportFailureReason(platform::ErrnoReason(path, errno));
        return false;
    }
    const std::string whole = line + "\n";
    ssize_t written = 0;
    do {
        written = ::write(fd, whole.data(), whole.size());
    } while (written < 0 && errno == EINTR);
    const int err = written < 0 ? errno : EIO;
    ::close(fd);
    if (written == static_cast<ssize_t>(whole.size())) return true;
    // A short append (a full disk) is reported: the line in the file is not whole.
    platform::ReportFailureReason(platform::ErrnoReason(path, err));
    return false;
}
