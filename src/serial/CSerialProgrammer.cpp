#include "serial/CSerialProgrammer.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "core/BoxProtocol.h"
#include "core/CProgrammer.h"

using namespace boxproto;

CSerialProgrammer::CSerialProgrammer(CProgrammer& controller) : m_pController(&controller) {}

CSerialProgrammer::~CSerialProgrammer() {
    BeginClosing();
    m_bStopping = true;
    m_replyWatch.Stop();
    m_ackEvent.Cancel();
    m_blockEvent.Cancel();
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
    // A ready query in the middle of a transfer would end it on the box; the transfer keeps
    // the backend busy until its own end.
    if (m_bTransferRunning) {
        Post(PE_UNAVAILABLE);
        return;
    }
    m_bReady = true;
    SendCommand(kCheckReady, code);
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
    if (!m_bPortOpen) {
        Post(PE_SERIAL_NOT_INITIALIZED);
        return false;
    }
    if (!m_bReady) {
        Post(PE_UNAVAILABLE);
        return false;
    }
    std::lock_guard lock(m_frameLock);
    m_frame[0] = command;
    m_frame[1] = code;
    if (level >= 0) m_frame[2] = static_cast<std::uint8_t>(level);
    // Busy before the frame leaves: a quick reply must find the backend awaiting it.
    m_bReady = false;
    m_bEndFrameAwaited = false;
    m_replyWatch.Arm(m_timings.replyTimeout);
    Send(m_frame.data(), kFrameSize);
    return true;
}

void CSerialProgrammer::OnReceive(const std::uint8_t* data, int count) {
    if (m_bStopping) return;
    std::lock_guard lock(m_replyLock);
    m_replyWatch.Disarm();
    m_bEndFrameAwaited = false;
    if (count == kFrameSize) {
        switch (data[0]) {
            case kReplyReady:
                m_bReady = true;
                Post(PE_READY);
                break;
            case kReplySignature:
                m_bReady = true;
                for (int i = 0; i < 3; ++i) m_pController->m_Signature[i] = data[2 + i];
                m_pController->MatchSignature();
                break;
            case kReplyErased:
                m_bReady = true;
                Post(PE_ERASE_DONE);
                break;
            case kReplyWriteReady:
                if (!m_bTransferRunning) StartTransfer(&CSerialProgrammer::WriteTransferThread);
                break;
            case kReplyReadReady:
                if (!m_bTransferRunning) StartTransfer(&CSerialProgrammer::ReadTransferThread);
                break;
            case kReplyLocked:
                m_bReady = true;
                Post(PE_LOCK_DONE);
                break;
            case kReplyBlock:
                if (m_bTransferRunning) m_blockEvent.Set(data + 2, kBlockSize);
                break;
            case kReplyInvalid:
                m_bReady = true;
                Post(PE_INVALID_OPERATION);
                break;
            default:
                m_bReady = true;
                break;
        }
    } else if (count == 1 && m_bTransferRunning) {
        m_ackEvent.Set(data, 1);
    } else {
        m_bReady = false;
        Post(PE_RECEIVE_ERROR);
    }
}

void CSerialProgrammer::OnHangUp() {
    // A transfer learns of it through its wait and ends with a receive error; a command that
    // awaits its reply would wait for ever, so it ends here. The state is read before the
    // transfer is woken, and a transfer ends under the same lock, so exactly one of the two
    // reports the error, and a command sent after the hang-up is left to its own failed send.
    std::lock_guard lock(m_replyLock);
    m_replyWatch.Disarm();
    if (!m_bTransferRunning && !m_bReady) Post(PE_RECEIVE_ERROR);
    m_ackEvent.Cancel();
    m_blockEvent.Cancel();
}

void CSerialProgrammer::OnReplyTimeout() {
    std::lock_guard lock(m_replyLock);
    if (m_bStopping || m_bTransferRunning || (m_bReady && !m_bEndFrameAwaited)) return;
    m_bEndFrameAwaited = false;
    m_bReady = true;
    Post(PE_RECEIVE_ERROR);
}

void CSerialProgrammer::StartTransfer(int (CSerialProgrammer::*proc)()) {
    // A finished transfer thread may not have been joined yet.
    if (m_transferThread.joinable()) m_transferThread.join();
    m_bTransferRunning = true;
    try {
        m_transferThread = std::thread([this, proc] { (this->*proc)(); });
    } catch (const std::system_error&) {
        EndTransfer();
        Post(PE_UNAVAILABLE);
    }
}

void CSerialProgrammer::EndTransfer() {
    m_bTransferRunning = false;
    m_bReady = true;
}

void CSerialProgrammer::FinishWrite(int event, bool endFrame, bool ready) {
    // The box answers the end frame with a ready reply; its PE_READY must follow this event,
    // since the window starts a verify on the PE_READY after PE_WRITE_DONE.
    std::lock_guard lock(m_replyLock);
    if (endFrame) {
        // A verify after the write waits for the box's answer to the end frame.
        m_bEndFrameAwaited = true;
        m_replyWatch.Arm(m_timings.replyTimeout);
        SendFrame(kCheckReady);
    }
    m_bTransferRunning = false;
    if (ready) m_bReady = true;
    Post(event);
}

void CSerialProgrammer::FinishRead(int event) {
    std::lock_guard lock(m_replyLock);
    EndTransfer();
    Post(event);
}

void CSerialProgrammer::SendFrame(std::uint8_t command, const std::uint8_t* data) {
    std::lock_guard lock(m_frameLock);
    m_frame[0] = command;
    if (data) std::memcpy(m_frame.data() + 2, data, kBlockSize);
    Send(m_frame.data(), kFrameSize);
}

void CSerialProgrammer::SendByte(std::uint8_t byte) {
    Send(&byte, 1);
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
    std::this_thread::sleep_for(m_timings.pause);
    m_ackEvent.Reset();
    std::array<std::uint8_t, CReplySignal::kMaxBytes> ack{};
    while (controller.m_nPos < length) {
        SendFrame(kDataBlock, image + controller.m_nPos);
        const auto result = m_ackEvent.Wait(m_timings.ackTimeout, ack);
        if (m_bStopping) return -1;
        if (result == CReplySignal::WaitResult::Signalled && ack[0] == kAckOk) {
            controller.m_nPos += kBlockSize;
            Post(PE_WRITE_PROGRESS);
            continue;
        }
        SetReceiveSize(kFrameSize);
        const bool rejected = result == CReplySignal::WaitResult::Signalled && ack[0] == kAckFailed;
        FinishWrite(rejected ? PE_WRITE_ERROR : PE_RECEIVE_ERROR, rejected, true);
        return -1;
    }
    SetReceiveSize(kFrameSize);
    FinishWrite(PE_WRITE_DONE, true, true);
    return 0;
}

int CSerialProgrammer::ReadTransferThread() {
    CProgrammer& controller = *m_pController;
    Post(PE_READ_STARTED);
    std::uint8_t request = kRequestNext;
    controller.m_nPos = 0;
    if (!controller.m_bReadWrittenLength) {
        const ChipInfo* chip = controller.GetSelectedChip();
        controller.m_nDataLen = chip ? chiplist::RomBytes(*chip) : 0;
    }
    // Buffer 2 bounds every read, whatever length the chip list or the last write left.
    const int length = std::clamp(controller.m_nDataLen.load(), 0, kImageBufferSize);
    std::uint8_t* buffer = controller.m_pBuffer2.get();
    m_blockEvent.Reset();
    bool retried = false;
    std::array<std::uint8_t, CReplySignal::kMaxBytes> block{};
    while (controller.m_nPos < length) {
        SendByte(request);
        const auto result = m_blockEvent.Wait(m_timings.blockTimeout, block);
        if (m_bStopping) return -1;
        if (result == CReplySignal::WaitResult::Signalled) {
            std::memcpy(buffer + controller.m_nPos, block.data(), kBlockSize);
            retried = false;
            controller.m_nPos += kBlockSize;
            request = kRequestNext;
            Post(PE_READ_PROGRESS);
            continue;
        }
        if (result == CReplySignal::WaitResult::TimedOut && !retried) {
            request = kRequestAgain;
            retried = true;
            continue;
        }
        // A second time-out in a row, or the device is gone (nothing more can be sent then).
        if (result == CReplySignal::WaitResult::TimedOut) SendByte(kRequestEnd);
        FinishRead(PE_RECEIVE_ERROR);
        return -1;
    }
    SendByte(kRequestEnd);
    FinishRead(PE_READ_DONE);
    return 0;
}
