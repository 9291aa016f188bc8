#include "sim/CArduinoIspEmulator.h"

#include "sim/SimSettings.h"

namespace {

// STK500 version 1 as the sketch speaks it.
constexpr std::uint8_t kOk = 0x10;
constexpr std::uint8_t kUnknown = 0x12;
constexpr std::uint8_t kInSync = 0x14;
constexpr std::uint8_t kNoSync = 0x15;
constexpr std::uint8_t kCrcEop = 0x20;
constexpr std::uint8_t kGetSync = 0x30;
constexpr std::uint8_t kGetSignOn = 0x31;
constexpr std::uint8_t kGetParameter = 0x41;
constexpr std::uint8_t kSetDevice = 0x42;
constexpr std::uint8_t kSetDeviceExt = 0x45;
constexpr std::uint8_t kEnterProgmode = 0x50;
constexpr std::uint8_t kLeaveProgmode = 0x51;
constexpr std::uint8_t kUniversal = 0x56;

// The sketch's version numbers (hardware 2, software 1.18) and its programmer type 'S'.
std::uint8_t Parameter(std::uint8_t which) {
    switch (which) {
        case 0x80:
            return 2;
        case 0x81:
            return 1;
        case 0x82:
            return 18;
        case 0x93:
            return 'S';
        default:
            return 0;
    }
}

// Argument bytes between a command and its CRC_EOP; commands the sketch does not know have none.
int ArgumentCount(std::uint8_t command) {
    switch (command) {
        case kGetParameter:
            return 1;
        case kSetDevice:
            return 20;
        case kSetDeviceExt:
            return 5;
        case kUniversal:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

CArduinoIspEmulator::CArduinoIspEmulator(CTargetChip::Model model) : m_chip(model) {
    m_chip.SetBusyReads(sim::SimBusyReads());
    const std::string file = sim::SimFlashFile();
    if (!file.empty()) m_chip.SetBackingFile(file);
}

CArduinoIspEmulator::~CArduinoIspEmulator() {
    Stop();
}

bool CArduinoIspEmulator::Start() {
    if (!m_line.Open()) return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CArduinoIspEmulator::Stop() {
    m_line.RequestStop();
    if (m_thread.joinable()) m_thread.join();
    m_line.Close();
}

void CArduinoIspEmulator::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

std::vector<std::uint8_t> CArduinoIspEmulator::Flash() const {
    std::lock_guard lock(m_mutex);
    return m_chip.Flash();
}

int CArduinoIspEmulator::LockLevel() const {
    std::lock_guard lock(m_mutex);
    return m_chip.LockLevel();
}

bool CArduinoIspEmulator::HoldsReset() const {
    std::lock_guard lock(m_mutex);
    return m_bResetHigh;
}

int CArduinoIspEmulator::LostBytes() const {
    std::lock_guard lock(m_mutex);
    return m_nLost;
}

int CArduinoIspEmulator::DeviceCode() const {
    std::lock_guard lock(m_mutex);
    return m_byDeviceCode;
}

void CArduinoIspEmulator::Run() {
    std::uint8_t chunk[256];
    for (;;) {
        const int n = m_line.Read(chunk, sizeof chunk);
        if (n <= 0 || !Take(chunk, n)) return;
    }
}

bool CArduinoIspEmulator::Take(const std::uint8_t* bytes, int count) {
    for (;;) {
        std::vector<std::uint8_t> reply;
        {
            std::lock_guard lock(m_mutex);
            // Bytes arrive while the sketch works on earlier commands; what the buffer cannot
            // hold is lost, as on the board.
            for (; count > 0; ++bytes, --count) {
                if (static_cast<int>(m_rx.size()) < kReceiveBuffer) {
                    m_rx.push_back(*bytes);
                } else {
                    ++m_nLost;
                }
            }
            if (!NextCommand(reply)) return true;
            ++m_nReplies;
            const bool silent =
                m_faults.noSync || (m_faults.stopAfter > 0 && m_nReplies > m_faults.stopAfter);
            if (silent) reply.clear();
            if (m_nReplies == m_faults.dropReplyByte && !reply.empty()) reply.pop_back();
        }
        if (!reply.empty() && !m_line.Send(reply.data(), static_cast<int>(reply.size()))) {
            return false;
        }
    }
}

bool CArduinoIspEmulator::NextCommand(std::vector<std::uint8_t>& reply) {
    if (m_rx.empty()) return false;
    const std::uint8_t command = m_rx.front();
    const int args = ArgumentCount(command);
    if (static_cast<int>(m_rx.size()) < args + 2) return false;
    std::array<std::uint8_t, 20> arg{};
    for (int i = 0; i < args; ++i) arg[static_cast<size_t>(i)] = m_rx[static_cast<size_t>(1 + i)];
    const bool framed = m_rx[static_cast<size_t>(1 + args)] == kCrcEop;
    m_rx.erase(m_rx.begin(), m_rx.begin() + args + 2);
    // The sketch acts on nothing that is not closed by CRC_EOP.
    reply = framed ? Execute(command, arg.data()) : std::vector<std::uint8_t>{kNoSync};
    return true;
}

std::vector<std::uint8_t> CArduinoIspEmulator::Execute(std::uint8_t command,
                                                       const std::uint8_t* args) {
    switch (command) {
        case kGetSync:
        case kSetDeviceExt:
            return {kInSync, kOk};
        case kGetSignOn:
            return {kInSync, 'A', 'V', 'R', ' ', 'I', 'S', 'P', kOk};
        case kGetParameter:
            return {kInSync, Parameter(args[0]), kOk};
        case kSetDevice:
            m_byDeviceCode = args[0];
            return {kInSync, kOk};
        case kEnterProgmode:
            if (!m_bProgramming) {
                // Device codes from 0xE0 on are the 51-series parts: RST active high.
                m_bResetHigh = m_byDeviceCode >= 0xE0;
                m_chip.SetAbsent(m_faults.noChip);
                m_adapter.SetReset(m_bResetHigh);
                // The sketch sends the programming enable itself and ignores its answer.
                m_adapter.Exchange({0xAC, 0x53, 0x00, 0x00});
                m_bProgramming = true;
            }
            return {kInSync, kOk};
        case kLeaveProgmode:
            m_adapter.SetReset(false);
            m_bResetHigh = false;
            m_bProgramming = false;
            return {kInSync, kOk};
        case kUniversal:
            return {kInSync, m_adapter.Exchange({args[0], args[1], args[2], args[3]})[3], kOk};
        default:
            return {kUnknown};
    }
}
