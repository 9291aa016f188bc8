#pragma once

#include <array>
#include <atomic>
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
    // Takes bytes from the line into the receive buffer and answers every whole command in it.
    // False when the thread must end. Emulator thread.
    bool Take(const std::uint8_t* bytes, int count);
    // With m_mutex held: the reply to the command at the front of the buffer, which is removed;
    // false (nothing removed) while the command is not whole yet.
    bool NextCommand(std::vector<std::uint8_t>& reply);
    std::vector<std::uint8_t> Execute(std::uint8_t command, const std::uint8_t* args);
    void Run();

    mutable std::mutex m_mutex;  // guards everything below but the line and the thread
    CTargetChip m_chip;
    CChipInstructionAdapter m_adapter{m_chip};  // what the sketch clocks into the chip
    Faults m_faults;
    std::deque<std::uint8_t> m_rx;  // the receive buffer
    std::uint8_t m_byDeviceCode = 0;
    bool m_bProgramming = false;
    bool m_bResetHigh = false;
    int m_nReplies = 0;
    int m_nLost = 0;

    CEmulatedLine m_line;
    std::thread m_thread;
};
