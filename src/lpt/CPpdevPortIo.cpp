#include "lpt/CPpdevPortIo.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FailureReason.h"

namespace {

int SystemIoctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

}  // namespace

CPpdevPortIo::CPpdevPortIo(std::string path, IoctlFunction ioctlFunction)
    : m_strPath(std::move(path)),
      m_ioctl(ioctlFunction ? std::move(ioctlFunction) : IoctlFunction(SystemIoctl)) {}

CPpdevPortIo::~CPpdevPortIo() {
    if (m_bClaimed) {
        Write(PPWDATA, m_bySavedData);
        Write(PPWCONTROL, m_bySavedControl);
        m_ioctl(m_fd, PPRELEASE, nullptr);
    }
    CloseDevice();
}

bool CPpdevPortIo::Open() {
    // With another parport driver (such as lp) registered, an exclusive claim is refused with
    // ENXIO, either by PPEXCL itself or by the claim after it; the port is then shared.
    if (!OpenAndClaim(true) && !OpenAndClaim(false)) {
        platform::ReportFailureReason(platform::ErrnoReason(m_strPath, errno));
        return false;
    }
    m_bySavedData = Read(PPRDATA);
    m_bySavedControl = Read(PPRCONTROL);
    return true;
}

bool CPpdevPortIo::OpenAndClaim(bool exclusive) {
    m_fd = ::open(m_strPath.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) return false;
    if (exclusive && m_ioctl(m_fd, PPEXCL, nullptr) != 0 && errno != ENXIO) {
        const int err = errno;
        CloseDevice();
        errno = err;
        return false;
    }
    m_bClaimed = m_ioctl(m_fd, PPCLAIM, nullptr) == 0;
    if (!m_bClaimed) {
        const int err = errno;  // the claim's, not the close's
        CloseDevice();
        errno = err;
    }
    return m_bClaimed;
}

void CPpdevPortIo::CloseDevice() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::uint8_t CPpdevPortIo::Read(unsigned long request) {
    unsigned char value = 0;
    if (!m_bClaimed || m_ioctl(m_fd, request, &value) != 0) {
        NoteFailure(request);
        return 0xFF;
    }
    return value;
}

void CPpdevPortIo::Write(unsigned long request, std::uint8_t value) {
    unsigned char v = value;
    if (!m_bClaimed || m_ioctl(m_fd, request, &v) != 0) NoteFailure(request);
}

void CPpdevPortIo::NoteFailure(unsigned long request) {
    const int err = errno;
    if (m_nFailedCalls.fetch_add(1) == 0) {
        std::fprintf(stderr, "%s: port request 0x%lx failed: %s\n", m_strPath.c_str(), request,
                     std::strerror(err));
    }
}

std::uint8_t CPpdevPortIo::ReadData() {
    return Read(PPRDATA);
}
std::uint8_t CPpdevPortIo::ReadStatus() {
    return Read(PPRSTATUS);
}
std::uint8_t CPpdevPortIo::ReadControl() {
    return Read(PPRCONTROL);
}
void CPpdevPortIo::WriteData(std::uint8_t value) {
    Write(PPWDATA, value);
}
void CPpdevPortIo::WriteControl(std::uint8_t value) {
    Write(PPWCONTROL, value);
}
