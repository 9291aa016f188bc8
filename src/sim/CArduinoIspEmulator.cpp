#include "sim/CArduinoIspEmulator.h"

#include "core/Stk500Protocol.h"
#include "sim/SimSettings.h"

namespace {

using namespace stk500;

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
    m_bStop = false;
    m_reader = std::thread([this] { Receive(); });
    m_sketch = std::thread([this] { Serve(); });
    return true;
}

void CArduinoIspEmulator::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_received.notify_all();
    m_line.RequestStop();
    for (std::thread* thread : {&m_reader, &m_sketch}) {
        if (thread->joinable()) thread->join();
    }
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

void CArduinoIspEmulator::Receive() {
    std::uint8_t chunk[256];
    for (;;) {
        const int n = m_line.Read(chunk, sizeof chunk);
        if (n <= 0) break;
        const Clock::time_point last = m_line.ArrivedAt();
        {
            std::lock_guard lock(m_mutex);
            // Bytes arrive while the sketch works on earlier commands; what the buffer cannot
            // hold is lost, as on the board.
            for (int i = 0; i < n; ++i) {
                if (static_cast<int>(m_rx.size()) < kReceiveBuffer) {
                    m_rx.push_back(chunk[i]);
                    m_rxAt.push_back(last - m_line.ByteTime() * (n - 1 - i));
                } else {
                    ++m_nLost;
                }
            }
        }
        m_received.notify_one();
    }
    // The line is gone or stopping: the sketch stops too.
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_received.notify_all();
}

void CArduinoIspEmulator::Serve() {
    for (;;) {
        std::vector<std::uint8_t> reply;
        Clock::time_point arrived{};
        {
            std::unique_lock lock(m_mutex);
            m_received.wait(lock, [&] { return m_bStop || NextCommand(reply, arrived); });
            if (m_bStop) return;
            ++m_nReplies;
            const bool silent =
                m_faults.noSync || (m_faults.stopAfter > 0 && m_nReplies > m_faults.stopAfter);
            if (silent) reply.clear();
            if (m_nReplies == m_faults.dropReplyByte && !reply.empty()) reply.pop_back();
        }
        if (!reply.empty() &&
            !m_line.SendAfter(arrived, reply.data(), static_cast<int>(reply.size()))) {
            return;
        }
    }
}

bool CArduinoIspEmulator::NextCommand(std::vector<std::uint8_t>& reply,
                                      Clock::time_point& arrived) {
    if (m_rx.empty()) return false;
    const std::uint8_t command = m_rx.front();
    const int args = ArgumentCount(command);
    if (static_cast<int>(m_rx.size()) < args + 2) return false;
    std::array<std::uint8_t, 20> arg{};
    for (int i = 0; i < args; ++i) arg[static_cast<size_t>(i)] = m_rx[static_cast<size_t>(1 + i)];
    const bool framed = m_rx[static_cast<size_t>(1 + args)] == kCrcEop;
    arrived = m_rxAt[static_cast<size_t>(1 + args)];
    m_rx.erase(m_rx.begin(), m_rx.begin() + args + 2);
    m_rxAt.erase(m_rxAt.begin(), m_rxAt.begin() + args + 2);
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
