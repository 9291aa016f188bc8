#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/CChipInstructionAdapter.h"
#include "sim/CEmulatedLine.h"
#include "sim/CTargetChip.h"

// An Arduino board running the ArduinoISP sketch, emulated on the master side of a
// pseudo-terminal, with a simulated chip wired to it: the STK500 version 1 commands the sketch
// answers for the 51-series parts (sync, parameters, set device, enter and leave programming
// mode, universal). Like the board, it takes the host's bytes into a 64-byte receive buffer and
// loses what does not fit; the sketch empties it one command at a time. Faults can be injected
// and the line can be paced like a real one.
//
// Threads: the owner starts and stops it; the emulator thread serves the line; the setters and
// the inspection calls may be used from any thread while it runs.
class CArduinoIspEmulator {
public:
    // Misbehaviour to inject; 0 disables a count. Faults stay in force until replaced.
    struct Faults {
        bool noSync = false;    // answers nothing: another sketch, or another baud
        int dropReplyByte = 0;  // the Nth reply (from 1) loses its last byte
        int stopAfter = 0;      // after this many replies the board answers nothing more
        bool noChip = false;    // no chip answers: no 0x69, every bit reads 1
    };

    // The sketch's serial receive buffer (the Arduino core's).
    static constexpr int kReceiveBuffer = 64;

    explicit CArduinoIspEmulator(CTargetChip::Model model = CTargetChip::Model::AT89S52);
    ~CArduinoIspEmulator();
    CArduinoIspEmulator(const CArduinoIspEmulator&) = delete;
    CArduinoIspEmulator& operator=(const CArduinoIspEmulator&) = delete;

    // Opens a pseudo-terminal and starts serving it; false when none can be had. Owner's thread.
    bool Start();
    // Ends the thread and closes the line. Owner's thread; also done by the destructor.
    void Stop();
    const std::string& SlavePath() const { return m_line.SlavePath(); }

    // Paces the line at baud (0, the default: answers at once). Before Start.
    void SetLineRate(int baud) { m_line.SetLineRate(baud); }
    void SetFaults(const Faults& faults);

    std::vector<std::uint8_t> Flash() const;
    int LockLevel() const;
    // True while the sketch holds the chip's RST high.
    bool HoldsReset() const;
    // Bytes the receive buffer had no room for.
    int LostBytes() const;
    // The device code of the last SET_DEVICE.
    int DeviceCode() const;

private:
    using Clock = CEmulatedLine::Clock;

    // The line's receiving side: takes the host's bytes into the receive buffer as they arrive,
    // noting when each has fully arrived. Reader thread.
    void Receive();
    // The sketch: answers one whole command after another, each once it has arrived. Sketch
    // thread.
    void Serve();
    // With m_mutex held: the reply to the command at the front of the buffer, which is removed,
    // and when its last byte arrived; false (nothing removed) while the command is not whole yet.
    bool NextCommand(std::vector<std::uint8_t>& reply, Clock::time_point& arrived);
    std::vector<std::uint8_t> Execute(std::uint8_t command, const std::uint8_t* args);

    mutable std::mutex m_mutex;  // guards everything below but the line and the thread
    CTargetChip m_chip;
    CChipInstructionAdapter m_adapter{m_chip};  // what the sketch clocks into the chip
    Faults m_faults;
    std::condition_variable m_received;    // bytes came into the buffer, or stopping
    std::deque<std::uint8_t> m_rx;         // the receive buffer
    std::deque<Clock::time_point> m_rxAt;  // when each of its bytes fully arrived
    bool m_bStop = false;
    std::uint8_t m_byDeviceCode = 0;
    bool m_bProgramming = false;
    bool m_bResetHigh = false;
    int m_nReplies = 0;
    int m_nLost = 0;

    CEmulatedLine m_line;
    std::thread m_reader;
    std::thread m_sketch;
};
