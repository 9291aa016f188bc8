#include "sim/CEmulatedLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

CEmulatedLine::~CEmulatedLine() {
    RequestStop();
    Close();
}

bool CEmulatedLine::Open() {
    m_bStop = false;
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) return false;
    char name[128];
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        Close();
        return false;
    }
    m_strSlavePath = name;
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    m_stopEvent = eventfd(0, EFD_CLOEXEC);
    if (m_slaveKeep < 0 || m_stopEvent < 0) {
        Close();
        return false;
    }
    termios tio{};
    if (tcgetattr(m_slaveKeep, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slaveKeep, TCSANOW, &tio);
    }
    // Writes that the other end does not take are dropped, as on a line nobody listens to.
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    return true;
}

void CEmulatedLine::RequestStop() {
    m_bStop = true;
    if (m_stopEvent >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(m_stopEvent, &one, sizeof one);
    }
}

void CEmulatedLine::Close() {
    for (int* fd : {&m_slaveKeep, &m_master, &m_stopEvent}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void CEmulatedLine::SetLineRate(int baud) {
    m_byteTime =
        baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0);
}

int CEmulatedLine::Read(std::uint8_t* buffer, int size) {
    while (!m_bStop) {
        pollfd fds[2] = {{m_stopEvent, POLLIN, 0}, {m_master, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (fds[0].revents != 0) return 0;
        const ssize_t n = ::read(m_master, buffer, static_cast<size_t>(size));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return 0;  // the line is gone
        if (m_byteTime.count() > 0) m_rxDone = std::max(m_rxDone, Clock::now()) + m_byteTime * n;
        return static_cast<int>(n);
    }
    return 0;
}

bool CEmulatedLine::Send(const std::uint8_t* bytes, int count, std::chrono::milliseconds delay) {
    return SendAfter(m_rxDone, bytes, count, delay);
}

bool CEmulatedLine::SendAfter(Clock::time_point ready, const std::uint8_t* bytes, int count,
                              std::chrono::milliseconds delay) {
    Clock::time_point at = Clock::now();
    if (m_byteTime.count() > 0) at = std::max({at, ready, m_txFree}) + m_byteTime * count;
    at += delay;
    if (!WaitUntil(at)) return false;
    (void)!::write(m_master, bytes, static_cast<size_t>(count));
    m_txFree = at;
    return true;
}

void CEmulatedLine::Echo(const std::uint8_t* bytes, int count) {
    (void)!::write(m_master, bytes, static_cast<size_t>(count));
}

bool CEmulatedLine::WaitUntil(Clock::time_point at) {
    using std::chrono::milliseconds;
    for (;;) {
        const auto left = at - Clock::now();
        if (left <= std::chrono::nanoseconds(0)) return !m_bStop;
        if (left > milliseconds(20)) {
            // Long waits (injected delays) watch the stop event; a short one is a single sleep,
            // so pacing costs one wake-up.
            pollfd fd = {m_stopEvent, POLLIN, 0};
            const auto ms = std::chrono::duration_cast<milliseconds>(left) - milliseconds(10);
            if (poll(&fd, 1, static_cast<int>(std::min<long long>(ms.count(), INT_MAX))) > 0) {
                return false;
            }
            continue;
        }
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                          static_cast<long>(ns % 1'000'000'000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    }
}
