#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// The serial line of an emulated device: the master side of a pseudo-terminal whose slave the
// host opens as its port, a stop event, and optional pacing at a line rate (no byte leaves faster
// than the line carries it, and a received byte counts as arrived only after its wire time).
//
// Threads: the owner opens, requests the stop and closes (after joining the thread that serves
// the line); Read, Send and WaitUntil belong to that serving thread.
class CEmulatedLine {
public:
    using Clock = std::chrono::steady_clock;

    CEmulatedLine() = default;
    ~CEmulatedLine();
    CEmulatedLine(const CEmulatedLine&) = delete;
    CEmulatedLine& operator=(const CEmulatedLine&) = delete;

    // Opens the pseudo-terminal (raw, so nothing is echoed before the host sets the line up)
    // and keeps its slave open, so the line stays up while the host has the port closed. False
    // when no pseudo-terminal can be had.
    bool Open();
    // Makes every wait of the serving thread end at once.
    void RequestStop();
    // Closes the master, so the line goes away under whoever has the slave open (a pulled cable).
    void Close();

    // The slave device to open as the serial port. Valid after Open.
    const std::string& SlavePath() const { return m_strSlavePath; }

    // 0 (the default) answers at once. Before the serving thread starts.
    void SetLineRate(int baud);
    std::chrono::nanoseconds ByteTime() const { return m_byteTime; }

    // Waits for bytes from the host and reads up to size of them; 0 when the thread must end (a
    // stop request, or the line is gone).
    int Read(std::uint8_t* buffer, int size);
    // Sends the bytes once the line has carried everything received and sent before, plus delay;
    // false when stopped meanwhile.
    bool Send(const std::uint8_t* bytes, int count,
              std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Sends the bytes once the line has carried what was sent before and the time ready has
    // come (when what they answer arrived); false when stopped meanwhile. For a device that
    // reads on one thread and answers on another: this one never looks at what Read keeps.
    bool SendAfter(Clock::time_point ready, const std::uint8_t* bytes, int count,
                   std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // When the last byte Read returned has fully arrived (paced line); the reading thread's.
    Clock::time_point ArrivedAt() const { return m_rxDone; }
    // Sends the bytes at once, as a line that echoes does.
    void Echo(const std::uint8_t* bytes, int count);
    // Sleeps until at; false when stopped meanwhile.
    bool WaitUntil(Clock::time_point at);

private:
    std::chrono::nanoseconds m_byteTime{0};  // wire time of one byte, 0 when not paced
    Clock::time_point m_rxDone{};            // when the last byte read has fully arrived
    Clock::time_point m_txFree{};            // when the line is free to send again
    int m_master = -1;
    int m_slaveKeep = -1;
    int m_stopEvent = -1;
    std::atomic<bool> m_bStop{false};
    std::string m_strSlavePath;
};
