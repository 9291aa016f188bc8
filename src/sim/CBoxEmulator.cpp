#include "sim/CBoxEmulator.h"

#include <sys/prctl.h>

#include <algorithm>
#include <cstdlib>

#include "core/BoxProtocol.h"
#include "sim/SimSettings.h"

namespace {

using namespace boxproto;

// The one algorithm the box knows: the 4-byte serial programming instructions of the AT89S5x.
constexpr std::uint8_t kAlgorithmSpi = 2;

// Reads of a byte being programmed before the box gives it up as failed.
constexpr int kMaxPolls = 64;

constexpr int kBlockSize = 16;

}  // namespace

CBoxEmulator::CBoxEmulator(CTargetChip::Model model) : m_chip(model) {
    m_chip.SetBusyReads(sim::SimBusyReads());
    const std::string file = sim::SimFlashFile();
    if (!file.empty()) m_chip.SetBackingFile(file);
}

CBoxEmulator::~CBoxEmulator() {
    Stop();
}

void CBoxEmulator::SetLineRate(int baud) {
    m_line.SetLineRate(baud);
}

bool CBoxEmulator::Start() {
    if (!m_line.Open()) return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CBoxEmulator::Stop() {
    m_line.RequestStop();
    if (m_thread.joinable()) m_thread.join();
    m_line.Close();
}

void CBoxEmulator::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

void CBoxEmulator::LoadFlash(const std::vector<std::uint8_t>& image) {
    std::lock_guard lock(m_mutex);
    m_chip.SetReset(true);
    m_chip.Execute({0xAC, 0x53, 0x00, 0x00});
    m_chip.Execute({0xAC, 0x80, 0x00, 0x00});
    const int size = std::min(static_cast<int>(image.size()), m_chip.FlashSize());
    for (int a = 0; a < size; ++a) {
        const auto ah = static_cast<std::uint8_t>(a >> 8);
        const auto al = static_cast<std::uint8_t>(a);
        m_chip.Execute({0x40, ah, al, image[static_cast<size_t>(a)]});
    }
    m_chip.SetReset(false);
}

std::vector<std::uint8_t> CBoxEmulator::Flash() const {
    std::lock_guard lock(m_mutex);
    return m_chip.Flash();
}

int CBoxEmulator::LockLevel() const {
    std::lock_guard lock(m_mutex);
    return m_chip.LockLevel();
}

std::vector<std::vector<std::uint8_t>> CBoxEmulator::Received() const {
    std::lock_guard lock(m_mutex);
    return {m_log.begin(), m_log.end()};
}

void CBoxEmulator::Run() {
    prctl(PR_SET_TIMERSLACK, 1UL);  // pacing sleeps are a fraction of a millisecond
    std::uint8_t chunk[256];
    for (;;) {
        const int n = m_line.Read(chunk, sizeof chunk);
        if (n <= 0) return;
        if (EchoesLine()) {
            m_line.Echo(chunk, n);
            continue;
        }
        for (int i = 0; i < n; ++i) {
            if (!Feed(chunk[i])) return;
        }
    }
}

bool CBoxEmulator::EchoesLine() const {
    std::lock_guard lock(m_mutex);
    return m_faults.echo;
}

bool CBoxEmulator::Feed(std::uint8_t byte) {
    Reply reply;
    {
        std::lock_guard lock(m_mutex);
        if (m_mode == Mode::Read) {
            reply = HandleRequest(byte);
        } else {
            m_frame[static_cast<size_t>(m_nFill++)] = byte;
            if (m_nFill < kFrameSize) return true;
            m_nFill = 0;
            reply = HandleFrame();
        }
    }
    return reply.length == 0 || SendReply(reply);
}

CBoxEmulator::Reply CBoxEmulator::HandleFrame() {
    Log(m_frame.data(), kFrameSize);
    const std::uint8_t code = m_frame[0];
    if (m_mode == Mode::Write) {
        if (code == kCmdData) return HandleDataBlock();
        // Any other frame ends the write transfer and is then taken as a command.
        LeaveProgramming();
        m_mode = Mode::Command;
    }
    if (m_faults.silentCommand >= 0 && code == m_faults.silentCommand) return {};
    Reply reply = HandleCommand(code, m_frame[1]);
    ApplyReplyFaults(code, reply);
    return reply;
}

void CBoxEmulator::ApplyReplyFaults(std::uint8_t code, Reply& reply) {
    if (code == m_faults.shortReplyCommand) {
        reply.length = std::clamp(m_faults.shortReplyLength, 0, kFrameSize);
    }
    if (code == m_faults.delayCommand) reply.delay = std::chrono::milliseconds(m_faults.delayMs);
    const bool replaced = code == m_faults.wrongCodeCommand || code == m_faults.garbageCommand;
    // A box that answers something else has not started a transfer either.
    if (replaced && m_mode != Mode::Command) {
        LeaveProgramming();
        m_mode = Mode::Command;
    }
    if (code == m_faults.wrongCodeCommand) reply.bytes[0] = m_faults.wrongCode;
    if (code == m_faults.garbageCommand) {
        reply.length = std::clamp(m_faults.garbageLength, 0, kMaxReply);
        for (int i = 0; i < reply.length; ++i) {
            m_nNoise ^= m_nNoise << 13;
            m_nNoise ^= m_nNoise >> 17;
            m_nNoise ^= m_nNoise << 5;
            reply.bytes[static_cast<size_t>(i)] = static_cast<std::uint8_t>(m_nNoise >> 24);
        }
    }
}

CBoxEmulator::Reply CBoxEmulator::HandleCommand(std::uint8_t code, std::uint8_t algorithm) {
    Reply reply;
    reply.length = kFrameSize;
    reply.bytes[0] = code;
    reply.bytes[1] = algorithm;
    if (code == kCmdReady) return reply;
    const std::uint8_t level = m_frame[2];
    const bool known = algorithm == kAlgorithmSpi &&
                       (code == kCmdDetect || code == kCmdErase || code == kCmdWrite ||
                        code == kCmdRead || (code == kCmdLock && level >= 1 && level <= 3));
    if (!known) {
        reply.bytes[0] = kReplyInvalid;
        return reply;
    }
    EnterProgramming();
    switch (code) {
        case kCmdDetect:
            for (std::uint8_t i = 0; i < 3; ++i) {
                reply.bytes[2 + i] = m_chip.Execute({0x28, i, 0x00, 0x00});
            }
            break;
        case kCmdErase:
            m_chip.Execute({0xAC, 0x80, 0x00, 0x00});
            reply.delay = std::chrono::milliseconds(sim::SimEraseMs());
            break;
        case kCmdLock:
            m_chip.Execute({0xAC, static_cast<std::uint8_t>(0xE0 + level), 0x00, 0x00});
            break;
        default:  // a write or read transfer begins
            m_mode = code == kCmdWrite ? Mode::Write : Mode::Read;
            m_byAlgorithm = algorithm;
            m_nAddress = 0;
            m_nBlock = 0;
            return reply;
    }
    LeaveProgramming();
    return reply;
}

CBoxEmulator::Reply CBoxEmulator::HandleDataBlock() {
    ++m_nBlock;
    const bool ok = ProgramBlock(m_nAddress, m_frame.data() + 2);
    m_nAddress += kBlockSize;
    if (m_nBlock == m_faults.dropAck) return {};
    Reply reply;
    reply.length = 1;
    reply.bytes[0] = ok ? kAckOk : kAckFailed;
    if (m_nBlock == m_faults.ackFaultBlock) reply.bytes[0] = m_faults.ackFaultValue;
    if (m_nBlock == m_faults.lateAck) reply.delay = std::chrono::milliseconds(m_faults.delayMs);
    return reply;
}

CBoxEmulator::Reply CBoxEmulator::HandleRequest(std::uint8_t request) {
    Log(&request, 1);
    switch (request) {
        case kRequestNext: {
            ++m_nBlock;
            m_nDrops = 0;
            m_nBlockAddress = m_nAddress;
            m_nAddress += kBlockSize;
            Reply reply = BlockReply();
            if (m_nBlock == m_faults.lateReadBlock) {
                reply.delay = std::chrono::milliseconds(m_faults.delayMs);
            }
            return reply;
        }
        case kRequestAgain: {
            Reply reply = BlockReply();
            if (m_faults.lateRepeat && m_nBlock == m_faults.lateReadBlock) {
                reply.delay = std::chrono::milliseconds(m_faults.delayMs);
            }
            return reply;
        }
        case kRequestEnd:
            LeaveProgramming();
            m_mode = Mode::Command;
            return {};
        default:
            return {};
    }
}

CBoxEmulator::Reply CBoxEmulator::BlockReply() {
    if (m_nBlock == m_faults.dropReadBlock && m_nDrops < m_faults.dropReadTimes) {
        ++m_nDrops;
        return {};
    }
    Reply reply;
    reply.length = kFrameSize;
    reply.bytes[0] = kReplyBlock;
    reply.bytes[1] = m_byAlgorithm;
    for (int i = 0; i < kBlockSize; ++i) {
        reply.bytes[static_cast<size_t>(2 + i)] = ReadByte(m_nBlockAddress + i);
    }
    return reply;
}

void CBoxEmulator::Log(const std::uint8_t* bytes, int count) {
    if (m_log.size() == kLogLimit) m_log.pop_front();
    m_log.emplace_back(bytes, bytes + count);
}

void CBoxEmulator::EnterProgramming() {
    m_chip.SetReset(true);
    m_chip.Execute({0xAC, 0x53, 0x00, 0x00});
}

void CBoxEmulator::LeaveProgramming() {
    m_chip.SetReset(false);
}

bool CBoxEmulator::ProgramBlock(int address, const std::uint8_t* data) {
    bool ok = true;
    for (int i = 0; i < kBlockSize; ++i) {
        if (data[i] == 0xFF) continue;  // the erased value needs no programming
        const int a = address + i;
        const auto ah = static_cast<std::uint8_t>(a >> 8);
        const auto al = static_cast<std::uint8_t>(a);
        m_chip.Execute({0x40, ah, al, data[i]});
        // Data polling: the byte reads back as written once its programming has finished.
        int polls = 0;
        while (m_chip.Execute({0x20, ah, al, 0x00}) != data[i] && ++polls < kMaxPolls) {
        }
        ok = ok && polls < kMaxPolls;
    }
    return ok;
}

std::uint8_t CBoxEmulator::ReadByte(int address) {
    return m_chip.Execute(
        {0x20, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), 0x00});
}

bool CBoxEmulator::SendReply(const Reply& reply) {
    return m_line.Send(reply.bytes.data(), reply.length, reply.delay);
}
