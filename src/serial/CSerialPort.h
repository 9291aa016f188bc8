#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CBoxEmulator;

// Port events the comm thread can watch for (the values of the classic comm event mask).
constexpr std::uint32_t kEvRxChar = 0x0001;  // a byte was received
constexpr std::uint32_t kEvCts = 0x0008;     // CTS changed; a tty cannot wait for it, so ignored

// One serial port (a tty) with a comm thread that hands every block of received bytes to
// OnReceive. Senders write whole blocks synchronously under the port lock; received bytes are read
// in blocks of a settable size so that a fixed-length reply reaches the handler in one piece.
// System-call failures show an error box naming the failed step, the error text and the port.
//
// Calling order: OpenPort, SetReceiveSize, StartCommThread on the owner's thread; then Send and
// SetReceiveSize from any thread. OnReceive and OnHangUp run on the comm thread. A derived class
// must call StopCommThread first thing in its destructor, so that no handler runs on a half
// destroyed object.
class CSerialPort {
public:
    // How long a block read waits: at most intervalMs between two bytes and totalMultiplierMs per
    // byte plus totalConstantMs in all.
    struct ReadTimeouts {
        int intervalMs = 1000;
        int totalMultiplierMs = 1000;
        int totalConstantMs = 1000;
    };

    // Largest block a read may ask for: the receive buffer, which is never replaced.
    static constexpr int kReceiveBufferSize = 18 + 128;

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM portNumber (see PortNames.h for the device it names) for exclusive use, raw, with
    // the line settings given, RTS asserted, and discards everything queued. False, with no box
    // shown and the reason (path and error) sent to platform::ReportFailureReason, when the device
    // cannot be opened, is in use or is not a terminal (a file or block device is never opened for
    // writing); true otherwise, also when a later set-up step failed and was reported. A second
    // call closes the port first (and stops the comm thread). Owner's thread.
    bool OpenPort(int portNumber, int baud, char parity, int dataBits, int stopBits,
                  std::uint32_t eventMask);

    // Starts the comm thread; false when it could not be created. Owner's thread.
    bool StartCommThread();

    // Stops the comm thread (its waits end at once) and joins it. Until the next StartCommThread
    // every wait of a sender ends at once too. Not from the comm thread.
    void StopCommThread();

    // Discards unread input, writes the whole block and waits until it has left the port. Returns
    // the bytes written; failures show the error box. Any thread.
    int Send(const std::uint8_t* data, int length);

    // Sets the block size of the next reads (1..kReceiveBufferSize). Any thread.
    void SetReceiveSize(int n);

    // Replaces the read time-outs (tests shorten them). Before StartCommThread.
    void SetReadTimeouts(const ReadTimeouts& timeouts) { m_timeouts = timeouts; }

    // Shows "WARNING:  <operation> Failed with the following error: ..." with the text of error
    // and the port number, unless the port is being destroyed. Any thread; blocks until the box
    // is closed.
    void ReportError(const char* operation, int error);

    // True once the device went away (a tty hang-up); the comm thread has stopped reading.
    bool IsHungUp() const { return m_bHungUp.load(); }

protected:
    // A block of count bytes arrived (count may be short after a time-out). Comm thread; data
    // stays valid until the handler returns.
    virtual void OnReceive(const std::uint8_t* data, int count) = 0;

    // The device went away. Comm thread, once.
    virtual void OnHangUp() {}

    // True when a send has discarded the line's input since the block being handed to OnReceive
    // was read: the block answers an earlier send, not the latest one. From OnReceive.
    bool IsBlockStale() const { return m_nBlockSends != m_nSends.load(); }

    // Marks the port as closing: error boxes are no longer shown. Called by destructors.
    void BeginClosing() { m_bClosing = true; }

private:
    // Outcome of one block read.
    struct ReadResult {
        int count = 0;
        bool stopped = false;     // the stop event ended the read
        bool hungUp = false;      // the device went away
        int error = 0;            // errno of a failed read, 0 otherwise
        bool waited = false;      // the failure came after waiting
        std::uint64_t sends = 0;  // sends made when the read ended
    };

    // Forgets the stop of an earlier comm thread.
    void ResetStopEvent();
    void CommThreadProc();
    void DrainInput();
    ReadResult ReadBlock(int size);
    // Bytes queued at the port, or -1 when the device is gone. Under the lock.
    int QueuedBytes();
    // Waits until the descriptor is ready for events or the deadline passes; false on stop or
    // time-out. Under the lock.
    bool WaitFor(short events, std::chrono::steady_clock::time_point deadline, bool& stopped);
    // Applies the raw line settings; the first failed step is reported and ends the set-up.
    void ConfigureLine(int baud, char parity, int dataBits, int stopBits);
    void HangUp();
    void ClosePort();

    std::unique_ptr<std::uint8_t[]> m_pReceiveBuffer;
    std::atomic<int> m_nReceiveSize{18};
    std::thread m_commThread;
    std::mutex m_portLock;  // held around every call on the tty
    int m_stopEvent = -1;   // eventfd: readable when the comm thread must end
    int m_port = -1;        // the open tty, or -1
    bool m_bPseudoTerminal = false;
    ReadTimeouts m_timeouts;
    std::atomic<int> m_nPortNumber{0};
    std::uint32_t m_dwEventMask = 0;
    std::atomic<std::uint64_t> m_nSends{0};  // sends so far; each discards unread input first
    std::uint64_t m_nBlockSends = 0;         // m_nSends when the handed-over block was read
    std::atomic<bool> m_bHungUp{false};
    std::atomic<bool> m_bClosing{false};
    std::unique_ptr<CBoxEmulator> m_pBox;  // the emulated box behind a "sim" port
};
