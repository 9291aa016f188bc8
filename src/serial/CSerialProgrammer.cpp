#include "serial/CSerialProgrammer.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/BoxProtocol.h"
#include "core/CProgrammer.h"

using namespace boxproto;

CSerialProgrammer::CSerialProgrammer(CProgrammer& controller, platform::IClock* clock)
    : m_clock(clock ? *clock : platform::SystemClock()), m_pController(&controller) {}

CSerialProgrammer::~CSerialProgrammer() {
    BeginClosing();
    m_bStopping = true;
    m_replyWatch.Stop();
    m_transferReply.Cancel();
    // The comm thread goes first: it is the one that starts transfer threads.
    StopCommThread();
    if (m_transferThread.joinable()) m_transferThread.join();
}

bool CSerialProgrammer::Init(CProgrammer* controller, int portNumber, int baud) {
    m_pController = controller;
    m_bPortOpen = OpenPort(portNumber, baud, 'N', 8, 1, kEvRxChar | kEvCts);
    if (m_bPortOpen) {
        SetReceiveSize(kFrameSize);
        StartCommThread();
        Post(PE_SERIAL_INIT_DONE);
    } else {
        Post(PE_SERIAL_INIT_FAILED);
    }
    return m_bPortOpen;
}

void CSerialProgrammer::CheckReady(std::uint8_t code) {
    Issue(kCheckReady, code, -1, true);
}

void CSerialProgrammer::DetectChip(std::uint8_t code) {
    SendCommand(kDetect, code);
}

void CSerialProgrammer::EraseChip(std::uint8_t code) {
    SendCommand(kErase, code);
}

void CSerialProgrammer::WriteChip(std::uint8_t code) {
    SendCommand(kWrite, code);
}

void CSerialProgrammer::ReadChip(std::uint8_t code) {
    SendCommand(kRead, code);
}

void CSerialProgrammer::WriteLockBits(std::uint8_t code, int level) {
    SendCommand(kLockBits, code, level);
}

bool CSerialProgrammer::SendCommand(std::uint8_t command, std::uint8_t code, int level) {
    return Issue(command, code, level, false);
}

bool CSerialProgrammer::Issue(std::uint8_t command, std::uint8_t code, int level, bool anyway) {
    if (!m_bPortOpen) {
        Post(PE_SERIAL_NOT_INITIALIZED);
        return false;
    }
    std::lock_guard lock(m_replyLock);
    // Not even a ready query goes out during a transfer: it would end the transfer on the box.
    if (m_bTransferRunning || !(m_bReady || anyway)) {
        Post(PE_UNAVAILABLE);
        return false;
    }
    m_frame[1] = code;
    m_bReady = false;
    SendAwaited(command, level);
    return true;
}

void CSerialProgrammer::SendAwaited(std::uint8_t command, int level) {
    GiveUp();
    m_frame[0] = command;
    std::fill(m_frame.begin() + 2, m_frame.end(), kFrameFiller);
    if (level >= 0) m_frame[2] = static_cast<std::uint8_t>(level);
    m_nAwaited = command;
    m_replyWatch.Arm(m_timings.replyTimeout, ++m_nSequence);
    Send(m_frame.data(), kFrameSize);
}

void CSerialProgrammer::GiveUp() {
    if (m_nAwaited == kNoReply) return;
    m_replyWatch.Disarm();
    m_nStaleReply = m_nAwaited;
    m_nAwaited = kNoReply;
}

void CSerialProgrammer::FailCommand() {
    GiveUp();
    m_bReady = true;
    Post(PE_RECEIVE_ERROR);
}

void CSerialProgrammer::OnReceive(const std::uint8_t* data, int count) {
    if (m_bStopping) return;
    bool matchSignature = false;
    bool forTransfer = false;
    {
        std::lock_guard lock(m_replyLock);
        // Read before the latest send: it answers a frame or request already given up.
        if (IsBlockStale()) return;
        forTransfer = m_bTransferRunning;
        if (forTransfer) {
            m_transferReply.Set(data, count);
        } else {
            matchSignature = HandleReply(data, count);
        }
    }
    // The transfer thread wakes once the lock is free for its next send, so it never wakes
    // only to wait for this thread again.
    if (forTransfer) m_transferReply.Notify();
    if (matchSignature) m_pController->MatchSignature();
}

bool CSerialProgrammer::HandleReply(const std::uint8_t* data, int count) {
    // Nothing awaits a reply: the rest of a garbled answer or a reply given up is dropped.
    if (m_nAwaited == kNoReply) return false;
    const bool frame = count == kFrameSize && !IsEcho(data);
    if (frame && data[0] == m_nStaleReply && data[0] != m_nAwaited) {
        m_nStaleReply = kNoReply;
        return false;
    }
    const int code = frame ? data[0] : kNoReply;
    if (code != m_nAwaited && code != kReplyInvalid) {
        FailCommand();
        return false;
    }
    m_replyWatch.Disarm();
    m_nAwaited = kNoReply;
    m_nStaleReply = kNoReply;
    switch (code) {
        case kReplyWriteReady:
            StartTransfer(&CSerialProgrammer::WriteTransferThread);
            return false;
        case kReplyReadReady:
            StartTransfer(&CSerialProgrammer::ReadTransferThread);
            return false;
        case kReplySignature:
            for (int i = 0; i < 3; ++i) m_pController->m_Signature[i] = data[2 + i];
            m_bReady = true;
            return true;
        case kReplyReady:
            Post(PE_READY);
            break;
        case kReplyErased:
            Post(PE_ERASE_DONE);
            break;
        case kReplyLocked:
            Post(PE_LOCK_DONE);
            break;
        default:
            Post(PE_INVALID_OPERATION);
            break;
    }
    m_bReady = true;
    return false;
}

bool CSerialProgrammer::IsEcho(const std::uint8_t* data) const {
    return std::equal(m_frame.begin(), m_frame.end(), data);
}

void CSerialProgrammer::OnHangUp() {
    // A transfer learns of it through its wait and ends with a receive error; a command that
    // awaits its reply would wait for the watchdog, so it ends here. A transfer ends under the
    // same lock, so exactly one of the two reports the error, and a command sent after the
    // hang-up is left to its own failed send.
    std::lock_guard lock(m_replyLock);
    if (!m_bTransferRunning && m_nAwaited != kNoReply) FailCommand();
    m_transferReply.Cancel();
}

void CSerialProgrammer::OnReplyTimeout(std::uint64_t sequence) {
    std::lock_guard lock(m_replyLock);
    // Answered meanwhile, or another frame is awaited now.
    if (m_bStopping || sequence != m_nSequence || m_nAwaited == kNoReply) return;
    FailCommand();
}

void CSerialProgrammer::StartTransfer(int (CSerialProgrammer::*proc)()) {
    // A finished transfer thread may not have been joined yet.
    if (m_transferThread.joinable()) m_transferThread.join();
    m_transferReply.Reset();
    m_bTransferRunning = true;
    try {
        m_transferThread = std::thread([this, proc] { (this->*proc)(); });
    } catch (const std::system_error&) {
        m_bTransferRunning = false;
        m_bReady = true;
        Post(PE_UNAVAILABLE);
    }
}

void CSerialProgrammer::FinishWrite(int event, bool endFrame, bool ready) {
    // The box answers the end frame with a ready reply; its PE_READY must follow this event,
    // since the window starts a verify on the PE_READY after PE_WRITE_DONE.
    std::lock_guard lock(m_replyLock);
    if (endFrame) SendAwaited(kCheckReady);
    m_bTransferRunning = false;
    if (ready) m_bReady = true;
    Post(event);
}

void CSerialProgrammer::FinishRead(int event, bool endByte) {
    std::lock_guard lock(m_replyLock);
    if (endByte) {
        const std::uint8_t end = kRequestEnd;
        Send(&end, 1);
    }
    m_bTransferRunning = false;
    m_bReady = true;
    Post(event);
}

void CSerialProgrammer::SendData(const std::uint8_t* data) {
    std::lock_guard lock(m_replyLock);
    m_frame[0] = kDataBlock;
    std::memcpy(m_frame.data() + 2, data, kBlockSize);
    SendUnit(m_frame.data(), kFrameSize);
}

void CSerialProgrammer::SendRequest(std::uint8_t request) {
    std::lock_guard lock(m_replyLock);
    SendUnit(&request, 1);
}

void CSerialProgrammer::SendUnit(const std::uint8_t* bytes, int length) {
    m_transferReply.Reset();
    Send(bytes, length);
}

void CSerialProgrammer::Post(int code) {
    if (!m_bStopping) m_pController->PostEvent(code);
}

int CSerialProgrammer::WriteTransferThread() {
    CProgrammer& controller = *m_pController;
    Post(PE_WRITE_STARTED);
    controller.m_nPos = 0;
    const std::uint8_t* image = controller.m_pBuffer1.get();
    const int length = controller.GetDataLength(image, kChipSpaceSize);
    if (length == 0) {
        // Nothing to program: end at once. The backend becomes ready when the box answers.
        FinishWrite(PE_WRITE_DONE, true, false);
        return 0;
    }
    SetReceiveSize(1);
    m_clock.SleepMs(static_cast<int>(m_timings.pause.count()));
    Reply ack;
    SendData(image);
    for (;;) {
        const auto result = m_transferReply.Wait(m_timings.ackTimeout, ack);
        if (m_bStopping) return -1;
        const bool answered = result == CReplySignal::WaitResult::Signalled && ack.count == 1;
        if (!answered || ack.bytes[0] != kAckOk) {
            SetReceiveSize(kFrameSize);
            const bool rejected = answered && ack.bytes[0] == kAckFailed;
            FinishWrite(rejected ? PE_WRITE_ERROR : PE_RECEIVE_ERROR, rejected, true);
            return -1;
        }
        controller.m_nPos += kBlockSize;
        // The next block goes out before the progress event, so the box never waits for
        // whoever the event wakes.
        const bool more = controller.m_nPos < length;
        if (more) SendData(image + controller.m_nPos);
        Post(PE_WRITE_PROGRESS);
        if (!more) break;
    }
    SetReceiveSize(kFrameSize);
    FinishWrite(PE_WRITE_DONE, true, true);
    return 0;
}

namespace {

bool IsBlock(const CReplySignal::Reply& reply) {
    return reply.count == CSerialProgrammer::kFrameSize && reply.bytes[0] == kReplyBlock;
}

bool SameBlock(const CReplySignal::Reply& a, const CReplySignal::Reply& b) {
    return std::equal(a.bytes.begin() + 2, a.bytes.end(), b.bytes.begin() + 2);
}

}  // namespace

bool CSerialProgrammer::AwaitLateCopy(const Reply& last, bool& copyDue) {
    using enum CReplySignal::WaitResult;
    // A block late for its wait arrives twice: the line brings the copy within a block wait, or
    // stays quiet, before the next request.
    Reply copy;
    const auto result = m_transferReply.Wait(m_timings.blockTimeout, copy);
    if (m_bStopping) return false;
    copyDue = result == TimedOut;
    if (copyDue || (result == Signalled && IsBlock(copy) && SameBlock(copy, last))) return true;
    FinishRead(PE_RECEIVE_ERROR, result != Cancelled);
    return false;
}

int CSerialProgrammer::ReadTransferThread() {
    using enum CReplySignal::WaitResult;
    CProgrammer& controller = *m_pController;
    Post(PE_READ_STARTED);
    controller.m_nPos = 0;
    if (!controller.m_bReadWrittenLength) {
        const ChipInfo* chip = controller.GetSelectedChip();
        controller.m_nDataLen = chip ? chiplist::RomBytes(*chip) : 0;
    }
    // Buffer 2 bounds every read, whatever length the chip list or the last write left.
    const int length = std::clamp(controller.m_nDataLen.load(), 0, kImageBufferSize);
    std::uint8_t* buffer = controller.m_pBuffer2.get();
    std::uint8_t request = kRequestNext;
    // After a repeat request the block just taken may still come once more, and it comes before
    // anything asked for later. A next block equal to the last one while that copy is due cannot
    // be told from the copy, so it is asked for again: every send drops the input before it, and
    // whatever answers the repeat is the block asked for.
    bool copyDue = false;
    bool timedOut = false;  // the last request got no answer within a block wait
    // The block taken last is reported once the next request is out, so the box never waits
    // for whoever the event wakes.
    bool progressDue = false;
    Reply block;
    Reply last;
    while (controller.m_nPos < length) {
        SendRequest(request);
        if (std::exchange(progressDue, false)) Post(PE_READ_PROGRESS);
        auto result = m_transferReply.Wait(m_timings.blockTimeout, block);
        if (m_bStopping) return -1;
        if (result == TimedOut && !timedOut) {
            request = kRequestAgain;
            timedOut = true;
            continue;
        }
        if (result != Signalled || !IsBlock(block)) {
            FinishRead(PE_RECEIVE_ERROR, result != Cancelled);
            return -1;
        }
        if (request == kRequestNext && copyDue && SameBlock(block, last)) {
            request = kRequestAgain;
            continue;
        }
        std::memcpy(buffer + controller.m_nPos, block.bytes.data() + 2, kBlockSize);
        controller.m_nPos += kBlockSize;
        last = block;
        copyDue = request == kRequestAgain;
        progressDue = !timedOut;
        if (timedOut) {
            Post(PE_READ_PROGRESS);
            if (!AwaitLateCopy(last, copyDue)) return -1;
        }
        timedOut = false;
        request = kRequestNext;
    }
    if (progressDue) Post(PE_READ_PROGRESS);
    FinishRead(PE_READ_DONE, true);
    return 0;
}
