#include "serial/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/FailureReason.h"
#include "platform/MessageBox.h"
#include "platform/Terminal.h"
#include "platform/Translate.h"
#include "serial/LineSpeed.h"
#include "serial/PortNames.h"
#include "sim/CBoxEmulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Unix98 pseudo-terminal slaves use majors 136..143.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned int dev = major(st.st_rdev);
    return dev >= 136 && dev <= 143;
}

// Sets parity, data and stop bits of a raw line; false for a definition the line cannot take.
bool ApplyFraming(termios& tio, char parity, int dataBits, int stopBits) {
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2)) return false;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= kSizes[dataBits - 5] | CLOCAL | CREAD;
    if (stopBits == 2) tio.c_cflag |= CSTOPB;
    switch (parity) {
        case 'N':
            break;
        case 'E':
            tio.c_cflag |= PARENB;
            break;
        case 'O':
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 'M':
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 'S':
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    return true;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

CSerialPort::CSerialPort()
    : m_pReceiveBuffer(new std::uint8_t[kReceiveBufferSize]()),
      m_stopEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CSerialPort::~CSerialPort() {
    BeginClosing();
    StopCommThread();
    {
        std::lock_guard lock(m_portLock);
        ClosePort();
    }
    m_pBox.reset();
    if (m_stopEvent >= 0) ::close(m_stopEvent);
}

bool CSerialPort::OpenPort(int portNumber, int baud, char parity, int dataBits, int stopBits,
                           std::uint32_t eventMask) {
    StopCommThread();
    if (m_stopEvent < 0) return false;
    ResetStopEvent();
    m_nPortNumber = portNumber;
    m_dwEventMask = eventMask;

    std::lock_guard lock(m_portLock);
    ClosePort();
    m_pBox.reset();
    ComDevice device = ResolveComDevice(portNumber);
    if (device.path.empty()) {
        // "sim:" with a chip model the box does not know, or no pseudo-terminal for the box.
        platform::ReportFailureReason(platform::ErrnoReason(ComDeviceName(portNumber), ENODEV));
        return false;
    }
    const int fd = platform::OpenTerminal(device.path);
    if (fd < 0) return false;
    // Exclusive use, as a COM port has: the lock finds a port in use (also by a program that
    // runs as root), then TIOCEXCL refuses further opens.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        platform::ReportFailureReason(platform::ErrnoReason(device.path, EBUSY));
        ::close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    m_port = fd;
    m_pBox = std::move(device.box);
    m_bPseudoTerminal = IsPseudoTerminal(fd);
    m_bHungUp = false;
    ConfigureLine(baud, parity, dataBits, stopBits);
    tcflush(m_port, TCIOFLUSH);
    return true;
}

void CSerialPort::ConfigureLine(int baud, char parity, int dataBits, int stopBits) {
    termios tio{};
    if (tcgetattr(m_port, &tio) != 0) {
        ReportError("GetCommState()", errno);
        return;
    }
    cfmakeraw(&tio);
    // A read of an empty line fails with EAGAIN; 0 then means only that the device went away.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = platform::TableSpeed(baud);
    if (baud <= 0 || !ApplyFraming(tio, parity, dataBits, stopBits) ||
        (speed != B0 && cfsetspeed(&tio, speed) != 0)) {
        ReportError("BuildCommDCB()", EINVAL);
        return;
    }
    int error = tcsetattr(m_port, TCSANOW, &tio) == 0 ? 0 : errno;
    if (error == 0 && speed == B0) error = serial::SetArbitrarySpeed(m_port, baud);
    // RTS stays asserted while the port is open; a pseudo-terminal has no modem lines.
    const int rts = TIOCM_RTS;
    if (error == 0 && ioctl(m_port, TIOCMBIS, &rts) != 0 && !m_bPseudoTerminal) error = errno;
    if (error != 0) ReportError("SetCommState()", error);
}

void CSerialPort::ClosePort() {
    if (m_port < 0) return;
    ioctl(m_port, TIOCNXCL);
    ::close(m_port);
    m_port = -1;
}

bool CSerialPort::StartCommThread() {
    if (m_commThread.joinable() || m_bClosing) return false;
    ResetStopEvent();
    // Stale input goes before the thread exists, so nothing that arrives once this returns can
    // be lost to the purge.
    {
        std::lock_guard lock(m_portLock);
        if (m_port >= 0) tcflush(m_port, TCIOFLUSH);
    }
    try {
        m_commThread = std::thread([this] { CommThreadProc(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CSerialPort::StopCommThread() {
    const std::uint64_t one = 1;
    if (m_stopEvent >= 0) (void)!::write(m_stopEvent, &one, sizeof one);
    if (m_commThread.joinable()) m_commThread.join();
}

void CSerialPort::ResetStopEvent() {
    std::uint64_t count = 0;
    (void)!::read(m_stopEvent, &count, sizeof count);
}

void CSerialPort::CommThreadProc() {
    const bool watchInput = (m_dwEventMask & kEvRxChar) != 0;
    for (;;) {
        // The stop event comes first: when both are ready, stopping wins.
        const bool watchPort = watchInput && m_port >= 0 && !m_bHungUp;
        pollfd fds[2] = {{m_stopEvent, POLLIN, 0}, {watchPort ? m_port : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            ReportError("WaitCommEvent()", errno);
            HangUp();  // waiting on the port again would only fail again
            continue;
        }
        if (fds[0].revents != 0) break;
        if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            HangUp();
        } else if ((fds[1].revents & POLLIN) != 0) {
            DrainInput();
        }
    }
}

void CSerialPort::DrainInput() {
    for (;;) {
        int queued;
        {
            std::lock_guard lock(m_portLock);
            queued = QueuedBytes();
        }
        if (queued < 0) HangUp();
        if (queued <= 0) return;
        const ReadResult result = ReadBlock(m_nReceiveSize);
        if (result.stopped) return;
        if (result.error != 0) {
            ReportError(result.waited ? "GetOverlappedResults() in ReadFile()" : "ReadFile()",
                        result.error);
        }
        // A block cut short by the device going away follows the hang-up, so that the handler
        // sees the cut as part of the hang-up and not as a reply of its own.
        if (result.hungUp) HangUp();
        m_nBlockSends = result.sends;
        if (result.count > 0 || result.error != 0) OnReceive(m_pReceiveBuffer.get(), result.count);
        if (result.hungUp) return;
        if (result.error != 0) return;
    }
}

int CSerialPort::QueuedBytes() {
    int queued = 0;
    if (m_port < 0 || ioctl(m_port, FIONREAD, &queued) != 0) return -1;
    return queued;
}

CSerialPort::ReadResult CSerialPort::ReadBlock(int size) {
    std::lock_guard lock(m_portLock);
    ReadResult result;
    const auto start = Clock::now();
    const auto total = start + std::chrono::milliseconds(
                                   static_cast<long long>(m_timeouts.totalMultiplierMs) * size +
                                   m_timeouts.totalConstantMs);
    auto lastByte = start;
    std::uint8_t* buffer = m_pReceiveBuffer.get();
    while (result.count < size) {
        const ssize_t n =
            ::read(m_port, buffer + result.count, static_cast<size_t>(size - result.count));
        if (n > 0) {
            result.count += static_cast<int>(n);
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno == EIO || errno == ENXIO || errno == ENODEV) {
            result.hungUp = true;  // end of file on a tty: the device went away
            break;
        }
        if (errno != EAGAIN) {
            result.error = errno;
            result.waited = result.count > 0;
            break;
        }
        const auto interval = lastByte + std::chrono::milliseconds(m_timeouts.intervalMs);
        if (!WaitFor(POLLIN, std::min(interval, total), result.stopped)) break;
    }
    result.sends = m_nSends;
    return result;
}

bool CSerialPort::WaitFor(short events, Clock::time_point deadline, bool& stopped) {
    for (;;) {
        pollfd fds[2] = {{m_stopEvent, POLLIN, 0}, {m_port, events, 0}};
        const int ready = poll(fds, 2, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (fds[0].revents != 0) {
            stopped = true;
            return false;
        }
        return true;  // ready, or a hang-up the next call reports
    }
}

int CSerialPort::Send(const std::uint8_t* data, int length) {
    int written = 0;
    const char* failed = nullptr;
    int error = 0;
    {
        std::lock_guard lock(m_portLock);
        if (m_port < 0) {
            failed = "WriteFile()";
            error = EBADF;
        } else {
            // Unread input is stale once we speak. On a pseudo-terminal an output flush would
            // also throw away what the other end has not read yet, which a real line never
            // does once tcdrain has returned, so only the input is flushed there.
            tcflush(m_port, m_bPseudoTerminal ? TCIFLUSH : TCIOFLUSH);
            ++m_nSends;
            const auto deadline = Clock::now() + std::chrono::milliseconds(1000LL * length + 1000);
            while (written < length) {
                const ssize_t n =
                    ::write(m_port, data + written, static_cast<size_t>(length - written));
                if (n > 0) {
                    written += static_cast<int>(n);
                } else if (n < 0 && errno == EAGAIN) {
                    bool stopped = false;
                    if (!WaitFor(POLLOUT, deadline, stopped)) break;  // time-out or closing
                } else if (!(n < 0 && errno == EINTR)) {
                    failed = "WriteFile()";
                    error = n < 0 ? errno : EIO;
                    break;
                }
            }
            if (!failed && tcdrain(m_port) != 0) {
                failed = "GetOverlappedResults() in WriteFile()";
                error = errno;
            }
        }
    }
    if (failed) ReportError(failed, error);
    return written;
}

void CSerialPort::SetReceiveSize(int n) {
    m_nReceiveSize = std::clamp(n, 1, kReceiveBufferSize);
}

void CSerialPort::HangUp() {
    if (m_bHungUp.exchange(true)) return;
    OnHangUp();
}

void CSerialPort::ReportError(const char* operation, int error) {
    if (m_bClosing) return;
    // The text is cut to the box's buffer, as it always was.
    char text[200];
    std::snprintf(text, sizeof text,
                  platform::Tr("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n"),
                  operation, std::strerror(error), m_nPortNumber.load());
    platform::ShowMessageBox(text, platform::Tr("Application Error"), platform::MessageIcon::Error);
}
