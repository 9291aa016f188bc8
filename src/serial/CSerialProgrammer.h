#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/BoxProtocol.h"
#include "core/IProgrammerBackend.h"
#include "serial/CReplySignal.h"
#include "serial/CReplyWatch.h"
#include "serial/CSerialPort.h"

class CProgrammer;

// The backend for the external programmer box on a serial port: it sends 18-byte command frames,
// streams image data in 16-byte blocks and collects read-back blocks, and reports every outcome as
// an event posted through the controller.
//
// Threads: the operations and Init run on the owner's thread; replies are handled on the port's
// comm thread; a write or read runs on one transfer thread at a time. The controller owns this
// object and must outlive it; the destructor stops every thread without waiting for a transfer
// to end, and nothing is posted once it has returned.
class CSerialProgrammer : public CSerialPort, public IProgrammerBackend {
public:
    // Command codes of the frames the host sends.
    enum Command : std::uint8_t {
        kCheckReady = boxproto::kCmdReady,  // also ends a write transfer
        kDetect = boxproto::kCmdDetect,
        kErase = boxproto::kCmdErase,
        kWrite = boxproto::kCmdWrite,
        kRead = boxproto::kCmdRead,
        kLockBits = boxproto::kCmdLock,
        kDataBlock = boxproto::kCmdData,
    };
    static constexpr int kFrameSize = 18;
    static constexpr int kBlockSize = 16;

    // How long the transfer threads wait; tests shorten them.
    struct Timings {
        std::chrono::milliseconds ackTimeout{1000};     // per write acknowledge
        std::chrono::milliseconds blockTimeout{500};    // per read block, retried once
        std::chrono::milliseconds pause{5};             // before the first data block
        std::chrono::milliseconds replyTimeout{10000};  // for the reply to a command frame
    };

    explicit CSerialProgrammer(CProgrammer& controller);
    ~CSerialProgrammer() override;

    // Opens COM portNumber at baud, 8N1, starts the comm thread and posts PE_SERIAL_INIT_DONE, or
    // posts PE_SERIAL_INIT_FAILED. Returns whether the port is open. Owner's thread, once.
    bool Init(CProgrammer* controller, int portNumber, int baud);

    // Before the first operation.
    void SetTimings(const Timings& timings) { m_timings = timings; }

    void CheckReady(std::uint8_t code) override;
    void DetectChip(std::uint8_t code) override;
    void EraseChip(std::uint8_t code) override;
    void WriteChip(std::uint8_t code) override;
    void ReadChip(std::uint8_t code) override;
    void WriteLockBits(std::uint8_t code, int level) override;

    // The gate every operation passes: refuses with PE_SERIAL_NOT_INITIALIZED or PE_UNAVAILABLE,
    // else sends the frame and awaits its reply. True when the frame was sent. Owner's thread.
    bool SendCommand(std::uint8_t command, std::uint8_t code, int level = -1);

    bool IsReady() const { return m_bReady.load(); }
    bool IsTransferRunning() const { return m_bTransferRunning.load(); }

protected:
    void OnReceive(const std::uint8_t* data, int count) override;
    void OnHangUp() override;

private:
    // A command frame, or a write's end frame, went unanswered for replyTimeout: the backend
    // takes commands again and a receive error ends what waits for the answer. Runs on the
    // watchdog's thread.
    void OnReplyTimeout();
    void StartTransfer(int (CSerialProgrammer::*proc)());
    int WriteTransferThread();
    int ReadTransferThread();
    // Ends a transfer: the backend takes commands again.
    void EndTransfer();
    // Ends a write: sends the end frame when asked, ends the transfer (ready again unless the box
    // must answer first) and posts the event, before the box's answer can be handled.
    void FinishWrite(int event, bool endFrame, bool ready);
    // Ends a read and posts its last event, seen whole by a hang-up on the comm thread.
    void FinishRead(int event);
    // Sends the frame with the command code and, when given, the 16 data bytes in bytes 2..17.
    void SendFrame(std::uint8_t command, const std::uint8_t* data = nullptr);
    void SendByte(std::uint8_t byte);
    // Posts through the controller unless the backend is being destroyed.
    void Post(int code);

    std::atomic<bool> m_bTransferRunning{false};
    CReplySignal m_ackEvent;    // a one-byte acknowledge arrived during a transfer
    CReplySignal m_blockEvent;  // a data-block reply arrived during a transfer
    std::atomic<bool> m_bReady{false};
    std::atomic<bool> m_bEndFrameAwaited{false};  // a write's end frame is not answered yet
    std::atomic<bool> m_bPortOpen{false};
    std::mutex m_frameLock;  // the frame is shared by the owner's thread and a transfer thread
    std::mutex m_replyLock;  // held while a reply is handled, so none overtakes a write's end
    std::array<std::uint8_t, kFrameSize> m_frame{};
    CProgrammer* m_pController;
    std::thread m_transferThread;  // started and joined by the comm thread, joined at destruction
    std::atomic<bool> m_bStopping{false};
    Timings m_timings;
    CReplyWatch m_replyWatch{[this] { OnReplyTimeout(); }};
};
