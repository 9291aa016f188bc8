#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/BoxProtocol.h"
#include "core/IProgrammerBackend.h"
#include "platform/IClock.h"
#include "serial/CReplySignal.h"
#include "serial/CReplyWatch.h"
#include "serial/CSerialPort.h"

class CProgrammer;

// The backend for the external programmer box on a serial port: it sends 18-byte command frames,
// streams image data in 16-byte blocks and collects read-back blocks, and reports every outcome as
// an event posted through the controller.
//
// Every command frame awaits the reply with its own code (or 0xFF, an invalid operation). Any
// other answer (another code, a short or overlong block, the line echoing the frame) and a reply
// that does not come within the watchdog end the command with one PE_RECEIVE_ERROR; the backend
// then takes commands again and drops what arrives until the next frame, so a late or stray reply
// never completes a later command nor starts a transfer. A read never keeps a block it cannot be
// sure of: a copy that follows a repeated block is recognised and dropped, and a block that could
// be that copy is asked for again.
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
    // The bytes of a command frame that its command does not define. A box answers with its own
    // bytes there, so a reply that repeats the frame byte for byte is the line's echo.
    static constexpr std::uint8_t kFrameFiller = 0xA5;

    // How long the backend waits, on its clock.
    struct Timings {
        std::chrono::milliseconds ackTimeout{1000};     // per write acknowledge
        std::chrono::milliseconds blockTimeout{500};    // per read block, retried once
        std::chrono::milliseconds pause{5};             // before the first data block
        std::chrono::milliseconds replyTimeout{10000};  // for the reply to a command frame
    };

    // Every wait of the backend (replies, acknowledges, blocks, the pause) runs on the clock,
    // the system's unless one is given; it must outlive the backend.
    explicit CSerialProgrammer(CProgrammer& controller, platform::IClock* clock = nullptr);
    ~CSerialProgrammer() override;

    // Opens COM portNumber at baud, 8N1, starts the comm thread and posts PE_SERIAL_INIT_DONE, or
    // posts PE_SERIAL_INIT_FAILED. Returns whether the port is open. Owner's thread, once.
    bool Init(CProgrammer* controller, int portNumber, int baud);

    // Before the first operation.
    void SetTimings(const Timings& timings) { m_timings = timings; }
    const Timings& GetTimings() const { return m_timings; }

    // Sent also while another frame awaits its reply, which is then given up.
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
    static constexpr int kNoReply = -1;
    using Reply = CReplySignal::Reply;

    // SendCommand; `anyway` sends also while a frame awaits its reply.
    bool Issue(std::uint8_t command, std::uint8_t code, int level, bool anyway);
    // Sends a command frame (byte 1 as it stands, level in byte 2 when given) and awaits the
    // reply with its code, giving up a frame still awaited. Under m_replyLock.
    void SendAwaited(std::uint8_t command, int level = -1);
    // The awaited frame gets no reply any more: should it come late, it is dropped once.
    void GiveUp();
    // Ends the awaited command with a receive error; the backend takes commands again.
    void FailCommand();
    // Acts on a block that arrived outside a transfer; true when the signature must be matched
    // (which may wait for the owner's thread, so it runs after the lock is released).
    bool HandleReply(const std::uint8_t* data, int count);
    bool IsEcho(const std::uint8_t* data) const;
    // The watchdog expired for the frame with that sequence number. Watchdog's thread.
    void OnReplyTimeout(std::uint64_t sequence);
    void StartTransfer(int (CSerialProgrammer::*proc)());
    int WriteTransferThread();
    int ReadTransferThread();
    // Awaits the copy of a block taken after its wait ran out (last): copyDue tells whether it is
    // still due. False when the read has ended, the box told so when something else came.
    bool AwaitLateCopy(const Reply& last, bool& copyDue);
    // Ends a write: sends the end frame when asked, ends the transfer (ready again unless the box
    // must answer first) and posts the event, before the box's answer can be handled.
    void FinishWrite(int event, bool endFrame, bool ready);
    // Ends a read: sends the end byte when asked, and posts the read's last event.
    void FinishRead(int event, bool endByte);
    // A transfer's data frame or request byte: replies to earlier ones are forgotten first.
    void SendData(const std::uint8_t* data);
    void SendRequest(std::uint8_t request);
    void SendUnit(const std::uint8_t* bytes, int length);
    // Posts through the controller unless the backend is being destroyed.
    void Post(int code);

    platform::IClock& m_clock;
    std::atomic<bool> m_bTransferRunning{false};
    CReplySignal m_transferReply{
        m_clock};  // what arrived for the transfer's last data frame or request
    std::atomic<bool> m_bReady{false};
    std::atomic<bool> m_bPortOpen{false};
    // Held while the frame is built and sent and while a reply is handled, so that a reply is
    // judged against the frame that is really the latest one, and none overtakes a write's end.
    std::mutex m_replyLock;
    std::array<std::uint8_t, kFrameSize> m_frame{};
    int m_nAwaited = kNoReply;      // the reply code the last command frame awaits
    int m_nStaleReply = kNoReply;   // the code of a frame given up, whose reply is dropped once
    std::uint64_t m_nSequence = 0;  // of the last command frame, for the watchdog
    CProgrammer* m_pController;
    std::thread m_transferThread;  // started and joined by the comm thread, joined at destruction
    std::atomic<bool> m_bStopping{false};
    Timings m_timings;
    CReplyWatch m_replyWatch{m_clock, [this](std::uint64_t sequence) { OnReplyTimeout(sequence); }};
};
