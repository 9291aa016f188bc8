#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/CEmulatedLine.h"
#include "sim/CTargetChip.h"

// The serial programmer box, emulated on the master side of a pseudo-terminal: a thread takes the
// host's command frames, data blocks and read requests from the line, does the chip-level work on
// a simulated chip inside, and answers as the box does. The flash lasts across operations (and in
// the simulation flash file when one is set). Faults can be injected to exercise the host's error
// paths, and the line can be paced like a real one at a given rate.
//
// Threads: the owner starts and stops it; the emulator thread serves the line; the setters and
// the inspection calls may be used from any thread while it runs.
class CBoxEmulator {
public:
    // Misbehaviour to inject. Block and request numbers count from 1 within each transfer; 0 or a
    // negative code disables a fault. Faults stay in force until replaced.
    struct Faults {
        int silentCommand = -1;  // this command code is never answered
        int dropAck = 0;         // the Nth data block of a write gets no acknowledge
        int ackFaultBlock = 0;   // the Nth data block is acknowledged with ackFaultValue
        std::uint8_t ackFaultValue = 0xFF;
        int dropReadBlock = 0;       // the Nth read block is not sent ...
        int dropReadTimes = 1;       // ... for this many requests in a row
        int shortReplyCommand = -1;  // this command is answered with only shortReplyLength bytes
        int shortReplyLength = 10;
        int delayCommand = -1;    // this command is answered delayMs late
        int delayMs = 0;          // also how late lateAck and lateReadBlock come
        int lateAck = 0;          // the Nth data block of a write is acknowledged delayMs late
        int lateReadBlock = 0;    // the Nth read block comes delayMs late the first time it is
                                  // asked for (a repeat request queued meanwhile is then answered)
        bool lateRepeat = false;  // the repeat of lateReadBlock comes delayMs late as well, so
                                  // its copy arrives once the next block has been asked for
        int wrongCodeCommand = -1;  // this command is answered with wrongCode in byte 0: a reply
        std::uint8_t wrongCode = 0x09;  // to another command, or a code nobody knows
        int garbageCommand = -1;        // this command is answered with garbageLength random bytes
        int garbageLength = 40;         // (at most kMaxReply)
        bool echo = false;  // the line sends every byte back and the box answers nothing, as a
                            // loop-back plug or an echoing cable without a box does
    };

    // The longest reply the box sends at once (garbage included).
    static constexpr int kMaxReply = 64;

    explicit CBoxEmulator(CTargetChip::Model model = CTargetChip::Model::AT89S52);
    ~CBoxEmulator();
    CBoxEmulator(const CBoxEmulator&) = delete;
    CBoxEmulator& operator=(const CBoxEmulator&) = delete;

    // Opens a pseudo-terminal and starts serving its master side; false when no pseudo-terminal
    // can be had. Owner's thread.
    bool Start();
    // Ends the thread and closes the master, so the line goes away under whoever has the slave
    // open (a pulled cable). Owner's thread; also done by the destructor.
    void Stop();

    // The slave device to open as the serial port. Valid after Start.
    const std::string& SlavePath() const { return m_line.SlavePath(); }

    // Paces the line at baud: no byte leaves faster than the line carries it, and a received
    // frame or byte is acted on only after its wire time. 0 (the default) answers at once.
    // Before Start.
    void SetLineRate(int baud);

    void SetFaults(const Faults& faults);

    // Programs the chip directly with the image (erased first).
    void LoadFlash(const std::vector<std::uint8_t>& image);
    std::vector<std::uint8_t> Flash() const;
    int LockLevel() const;

    // The most recent units the box took from the line, oldest first: each command frame or data
    // block (18 bytes), and each single read request byte. At most kLogLimit are kept.
    static constexpr std::size_t kLogLimit = 8192;
    std::vector<std::vector<std::uint8_t>> Received() const;

private:
    static constexpr int kFrameSize = 18;

    // What to send back for one unit.
    struct Reply {
        std::array<std::uint8_t, kMaxReply> bytes{};
        int length = 0;
        std::chrono::milliseconds delay{0};
    };

    enum class Mode { Command, Write, Read };

    void Run();
    bool EchoesLine() const;
    // Takes one byte from the line; false when the thread must end.
    bool Feed(std::uint8_t byte);
    // The following run with m_mutex held.
    Reply HandleFrame();
    Reply HandleCommand(std::uint8_t code, std::uint8_t algorithm);
    Reply HandleDataBlock();
    Reply HandleRequest(std::uint8_t request);
    Reply BlockReply();
    // Replaces a command's reply by the bytes of the fault set for the command, if any.
    void ApplyReplyFaults(std::uint8_t code, Reply& reply);
    void Log(const std::uint8_t* bytes, int count);
    void EnterProgramming();
    void LeaveProgramming();
    bool ProgramBlock(int address, const std::uint8_t* data);
    std::uint8_t ReadByte(int address);

    // Sends the reply once the line allows; false when stopped meanwhile. Emulator thread.
    bool SendReply(const Reply& reply);

    mutable std::mutex m_mutex;  // guards the chip, the faults, the log and the protocol state
    CTargetChip m_chip;
    Faults m_faults;
    std::deque<std::vector<std::uint8_t>> m_log;
    Mode m_mode = Mode::Command;
    std::array<std::uint8_t, kFrameSize> m_frame{};
    int m_nFill = 0;                      // bytes of the frame received so far
    std::uint8_t m_byAlgorithm = 0;       // of the transfer under way
    int m_nAddress = 0;                   // next chip address of a transfer
    int m_nBlockAddress = 0;              // address of the read block last asked for
    int m_nBlock = 0;                     // blocks of the transfer so far
    int m_nDrops = 0;                     // requests for the current read block left unanswered
    std::uint32_t m_nNoise = 0x2545F491;  // state of the garbage generator (xorshift)

    CEmulatedLine m_line;
    std::thread m_thread;
};
