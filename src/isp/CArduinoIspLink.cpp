#include "isp/CArduinoIspLink.h"

#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/Stk500Protocol.h"
#include "isp/IspSelection.h"
#include "platform/FailureReason.h"
#include "platform/Terminal.h"
#include "platform/Translate.h"
#include "sim/CArduinoIspEmulator.h"

namespace {

using namespace stk500;

// The sketch looks at the device code only to choose the RST polarity: from 0xE0 on (0xE0
// AT89S51, 0xE1 AT89S52) it holds RST high, as the 51-series parts need. The other parameters
// are the AT89S52's: byte-wise programming, 256-byte pages, 8 KiB of flash, no EEPROM.
constexpr std::uint8_t kDeviceCode = 0xE1;
const std::vector<std::uint8_t> kSetDeviceCommand = {
    kSetDevice, kDeviceCode, 0,    0,    1, 1, 1, 1, 0,    0xFF, 0xFF,
    0xFF,       0xFF,        0x01, 0x00, 0, 0, 0, 0, 0x20, 0x00, kCrcEop};

// How long the line must stay quiet before leaving programming mode after a failure.
constexpr int kQuietMs = 50;

// A wait is cut into slices this long so that the stop test is looked at often enough.
constexpr int kStopSliceMs = 40;

std::string Hex(const std::uint8_t* bytes, int count) {
    std::string text;
    char part[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

}  // namespace

CArduinoIspLink::CArduinoIspLink(std::string path, int baud, std::function<bool()> stopping,
                                 Options options)
    : m_strPath(std::move(path)),
      m_nBaud(baud),
      m_stopping(std::move(stopping)),
      m_options(std::move(options)) {
    m_options.maxInFlight =
        std::clamp(m_options.maxInFlight, 1, kBoardReceiveBuffer / kUniversalBytes);
}

CArduinoIspLink::~CArduinoIspLink() {
    Close();
    m_pEmulator.reset();
}

void CArduinoIspLink::KeepEmulator(std::unique_ptr<CArduinoIspEmulator> emulator) {
    m_pEmulator = std::move(emulator);
}

void CArduinoIspLink::Close() {
    ForgetIspLink(this);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CArduinoIspLink::Fail(const std::string& what) {
    m_strReason = m_strPath + ": " + what;
    return false;
}

void CArduinoIspLink::Sleep(int ms) {
    if (m_options.sleep) {
        m_options.sleep(ms);
        return;
    }
    for (int left = ms; left > 0 && !(m_stopping && m_stopping()); left -= kStopSliceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kStopSliceMs)));
    }
}

bool CArduinoIspLink::Open() {
    Close();
    m_strVersion.clear();
    const speed_t speed = platform::TableSpeed(m_nBaud);
    if (speed == B0) return Fail(platform::Printf("%d baud is not a standard rate", m_nBaud));
    m_fd = platform::OpenTerminal(m_strPath);
    if (m_fd < 0) {
        // OpenTerminal has reported the path and the error already.
        m_strReason = m_strPath + ": cannot be opened as a serial port";
        return false;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        m_strReason = platform::ErrnoReason(m_strPath, EBUSY);
        Close();
        return false;
    }
    termios tio{};
    if (tcgetattr(m_fd, &tio) != 0 || (cfmakeraw(&tio), cfsetspeed(&tio, speed)) != 0 ||
        tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        m_strReason = platform::ErrnoReason(m_strPath, errno);
        Close();
        return false;
    }
    // Opening raised DTR, which resets most boards: let the boot loader hand over to the
    // sketch, then forget whatever it printed.
    Sleep(m_options.bootWaitMs);
    tcflush(m_fd, TCIFLUSH);
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    if (!Sync() || !Command({kGetParameter, kSoftwareMajor, kCrcEop}, 1, &major) ||
        !Command({kGetParameter, kSoftwareMinor, kCrcEop}, 1, &minor)) {
        Close();
        return false;
    }
    m_strVersion = platform::Printf("ArduinoISP %u.%02u", major, minor);
    NoteIspLink(this, platform::Printf(platform::Tr("使用Arduino ISP(%s)."), m_strPath.c_str()));
    return true;
}

bool CArduinoIspLink::Sync() {
    const std::uint8_t sync[2] = {kGetSync, kCrcEop};
    for (int attempt = 0; attempt < m_options.syncAttempts; ++attempt) {
        if (m_stopping && m_stopping()) break;
        if (!WriteAll(sync, 2)) return false;
        std::uint8_t reply[2] = {};
        int got = 0;
        while (got < 2) {
            const int n = ReadSome(reply + got, 2 - got, m_options.syncReplyMs);
            if (n < 0) return false;
            if (n == 0) break;
            got += n;
        }
        if (got == 2 && reply[0] == kInSync && reply[1] == kOk) {
            m_strReason.clear();
            return true;
        }
        // A half-started sketch may still be answering an earlier try.
        tcflush(m_fd, TCIFLUSH);
    }
    return Fail(
        platform::Printf(platform::Tr("no answer to STK500 sync in %d tries at %d baud (is the "
                                      "ArduinoISP sketch running, at this baud?)"),
                         m_options.syncAttempts, m_nBaud));
}

bool CArduinoIspLink::WriteAll(const std::uint8_t* bytes, int count) {
    while (count > 0) {
        const ssize_t n = ::write(m_fd, bytes, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd fd = {m_fd, POLLOUT, 0};
            if (poll(&fd, 1, kStopSliceMs) < 0 && errno != EINTR)
                return Fail(platform::ErrnoReason("write", errno));
            if (m_stopping && m_stopping()) return Fail(platform::Tr("stopped"));
            continue;
        }
        if (n <= 0) return Fail(platform::ErrnoReason("write", n < 0 ? errno : EIO));
        bytes += n;
        count -= static_cast<int>(n);
    }
    return true;
}

int CArduinoIspLink::ReadSome(std::uint8_t* buffer, int size, int timeoutMs) {
    for (int waited = 0;;) {
        const ssize_t n = ::read(m_fd, buffer, static_cast<size_t>(size));
        if (n > 0) return static_cast<int>(n);
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            Fail(n == 0 ? platform::Tr("the device went away")
                        : platform::ErrnoReason("read", errno));
            return -1;
        }
        if (m_stopping && m_stopping()) {
            Fail(platform::Tr("stopped"));
            return 0;
        }
        if (waited >= timeoutMs) {
            Fail(platform::Printf(platform::Tr("the ArduinoISP board sent no reply within %d ms"),
                                  timeoutMs));
            return 0;
        }
        const int slice = std::min(kStopSliceMs, timeoutMs - waited);
        pollfd fd = {m_fd, POLLIN, 0};
        const int ready = poll(&fd, 1, slice);
        if (ready == 0) waited += slice;
        if (ready > 0 && (fd.revents & (POLLHUP | POLLERR)) && !(fd.revents & POLLIN)) {
            Fail(platform::Tr("the device went away"));
            return -1;
        }
    }
}

bool CArduinoIspLink::Command(const std::vector<std::uint8_t>& bytes, int answerBytes,
                              std::uint8_t* answer) {
    if (m_fd < 0) return Fail(platform::Tr("not open"));
    if (!WriteAll(bytes.data(), static_cast<int>(bytes.size()))) return false;
    std::uint8_t reply[8] = {};
    const int length = answerBytes + 2;
    for (int got = 0; got < length;) {
        const int n = ReadSome(reply + got, length - got, m_options.replyTimeoutMs);
        if (n <= 0) return false;
        got += n;
        if (reply[0] != kInSync) break;
    }
    if (reply[0] != kInSync || reply[length - 1] != kOk) {
        return Fail(platform::Printf(platform::Tr("unexpected reply %s to STK500 command %02X"),
                                     Hex(reply, length).c_str(), bytes[0]));
    }
    if (answer) std::copy(reply + 1, reply + 1 + answerBytes, answer);
    return true;
}

int CArduinoIspLink::Enter(const IspInstruction& enable) {
    if (!Command(kSetDeviceCommand, 0) || !Command({kEnterProgmode, kCrcEop}, 0)) return -1;
    std::uint8_t answer = 0;
    if (!Transact({&enable, 1}, {&answer, 1})) return -1;
    return answer;
}

bool CArduinoIspLink::Transact(std::span<const IspInstruction> in,
                               std::span<std::uint8_t> answers) {
    if (m_fd < 0) return Fail(platform::Tr("not open"));
    // Until every reply is in, a failure leaves some on their way.
    m_bRepliesOwed = true;
    const std::size_t total = in.size();
    std::size_t sent = 0;
    std::size_t done = 0;
    std::uint8_t out[kBoardReceiveBuffer];
    std::uint8_t reply[3 * (kBoardReceiveBuffer / kUniversalBytes)];
    int held = 0;  // bytes of a reply not yet complete
    while (done < total) {
        // Top the board's buffer up: never more unanswered commands than it holds.
        int length = 0;
        while (sent < total && sent - done < static_cast<std::size_t>(m_options.maxInFlight)) {
            const IspInstruction& instruction = in[sent++];
            const std::uint8_t command[kUniversalBytes] = {kUniversal,     instruction[0],
                                                           instruction[1], instruction[2],
                                                           instruction[3], kCrcEop};
            std::copy(command, command + kUniversalBytes, out + length);
            length += kUniversalBytes;
        }
        if (length > 0 && !WriteAll(out, length)) return false;
        const int room = static_cast<int>(3 * (sent - done)) - held;
        const int n = ReadSome(reply + held, room, m_options.replyTimeoutMs);
        if (n <= 0) return false;
        held += n;
        int used = 0;
        for (; held - used >= 3; used += 3) {
            const std::uint8_t* r = reply + used;
            if (r[0] != kInSync || r[2] != kOk) {
                return Fail(platform::Printf(
                    r[0] == kNoSync
                        ? platform::Tr("the board lost sync (reply %s to STK500 universal)")
                        : platform::Tr("unexpected reply %s to STK500 universal"),
                    Hex(r, 3).c_str()));
            }
            answers[done++] = r[1];
        }
        std::copy(reply + used, reply + held, reply);
        held -= used;
    }
    m_bRepliesOwed = false;
    return true;
}

std::string CArduinoIspLink::EnableHint() const {
    return m_strPath + platform::Tr(
                           ": the chip did not answer programming enable: check D10 to RST, "
                           "D11 to P1.5, D12 to P1.6, D13 to P1.7, GND, 5 V and the "
                           "chip's crystal (docs/wiring.md)");
}

void CArduinoIspLink::Leave() {
    if (m_fd < 0) return;
    const std::string reason = m_strReason;
    // Replies still on their way from a failed transfer are of no use now: let them come in
    // (until the line has been quiet for a moment; at most twenty reads) and drop them, so that
    // the reply read next is the leave's own.
    std::uint8_t stale[64];
    for (int reads = 0; m_bRepliesOwed && reads < 20 && ReadSome(stale, sizeof stale, kQuietMs) > 0;
         ++reads) {
    }
    m_bRepliesOwed = false;
    tcflush(m_fd, TCIOFLUSH);
    Command({kLeaveProgmode, kCrcEop}, 0);
    // The reason of the failure that led here is what the user needs, not the leave's own.
    m_strReason = reason;
}
