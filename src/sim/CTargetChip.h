#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// A simulated AT89S51/AT89S52 in serial programming mode. It can be driven at the pin level
// (RST, SCK, MOSI in, MISO out: MOSI sampled on SCK's rising edge, MISO changed after the
// falling edge, most significant bit first) or one 4-byte instruction at a time. It honours the
// programming-enable handshake, chip erase, byte write with a programming time seen through data
// polling, byte read, page read (0x30, high address byte, then the page's 256 bytes out),
// signature read, lock bits and their read-back (0x24), and can be told that one address never
// finishes programming, that it ignores page reads, or that it is absent. Not thread-safe: one
// thread drives it at a time; counters may be read from any thread.
class CTargetChip {
public:
    enum class Model { AT89S51, AT89S52 };

    explicit CTargetChip(Model model = Model::AT89S52);
    ~CTargetChip();
    CTargetChip(const CTargetChip&) = delete;
    CTargetChip& operator=(const CTargetChip&) = delete;

    // "at89s51" / "at89s52" (any case) to a model; false for other names.
    static bool ModelFromName(const std::string& name, Model& model);

    // Pin level interface. Lines are connector levels (true = high).
    void SetLines(bool rst, bool sck, bool mosi);
    // An absent chip leaves MISO to its pull-up: every bit reads 1.
    bool Miso() const { return Absent() || m_bMiso; }

    // Drives RST directly (instruction level). RST low leaves programming mode.
    void SetReset(bool high);
    // Executes one instruction as if its 32 bits had been clocked in; returns the byte the chip
    // shifts out during the fourth byte.
    std::uint8_t Execute(const std::array<std::uint8_t, 4>& instruction);
    // Page-mode read at instruction level: the 256 bytes the chip shifts out after 0x30 and the
    // high address byte (all ones outside programming mode).
    void ReadPage(std::uint8_t high, std::uint8_t* out);

    bool InProgrammingMode() const { return m_bEnabled; }
    int FlashSize() const { return static_cast<int>(m_flash.size()); }
    const std::vector<std::uint8_t>& Flash() const { return m_flash; }
    std::array<std::uint8_t, 3> Signature() const;
    int LockLevel() const { return m_nLockLevel; }

    // Reads of an address being programmed return the datum with bit 7 inverted this many times
    // before the programmed value shows (default 2).
    void SetBusyReads(int reads) { m_nBusyReads = reads; }
    // An address whose writes never finish programming (-1: none).
    void SetStuckAddress(int address) { m_nStuckAddress = address; }
    // No chip in the socket (or one without power): nothing answers, every bit read is 1.
    void SetAbsent(bool absent) { m_bAbsent = absent; }
    // Absent too while a file named after the backing file with ".out" added exists: the chip
    // has been taken out of the socket. Looked at each time RST rises, as a programmer powers up
    // a chip it has just been given.
    bool Absent() const { return m_bAbsent || m_bTakenOut; }
    static std::string TakenOutFile(const std::string& backingFile) { return backingFile + ".out"; }
    // A chip that does not perform page-mode reads: it shifts out 0xFF for every byte of the page.
    void SetIgnoresPageReads(bool ignores) { m_bIgnoresPageReads = ignores; }

    // Keeps the flash in a file, followed by one byte with the lock level, so that a later run
    // sees a locked chip too: read now (when it exists), written back whenever programming mode
    // ends after a change, and at destruction. A file made for the other model is taken in as
    // far as it fits (the rest erased) and rewritten in this chip's size. The file is locked
    // (through PATH.lock) for the chip's life, so two runs never program one simulated chip at
    // once. False, with the reason reported through platform::ReportFailureReason, when the file
    // is in use by another chip, its folder does not exist, or an existing file cannot be read.
    bool SetBackingFile(const std::string& path);
    void Flush();

    std::uint64_t InstructionCount() const { return m_nInstructions.load(); }
    // Completed instructions with this first byte.
    std::uint64_t InstructionCount(std::uint8_t opcode) const {
        return m_opcodeCounts[opcode].load(std::memory_order_relaxed);
    }

    // Bytes of one page-mode read, and the lock-bit byte's bit of LB1 (LB2 and LB3 follow it).
    static constexpr int kPageSize = 256;
    static constexpr std::uint8_t kLockBit1 = 0x04;

    // The flash size and the display name of a model.
    static int FlashBytes(Model model);
    static const char* ModelName(Model model);

private:
    bool LockBackingFile(const std::string& path);
    std::uint8_t Answer(const std::array<std::uint8_t, 4>& instr);
    void Apply(const std::array<std::uint8_t, 4>& instr);
    std::uint8_t ReadFlash(int address);
    // Byte number index of the page with this high address byte, as a page read shifts it out.
    std::uint8_t PageByte(std::uint8_t high, int index);
    // On a falling edge that completes a byte: the next byte to shift out, and the end of the
    // instruction once all its bytes are in.
    void ByteReceived(int received);
    // Counts a completed instruction.
    void Completed(std::uint8_t opcode);

    Model m_model;
    std::vector<std::uint8_t> m_flash;
    int m_nLockLevel = 0;
    bool m_bEnabled = false;
    bool m_bReset = false;
    bool m_bSck = false;
    bool m_bMiso = false;
    int m_nBit = 0;                      // bits of the current instruction received so far
    std::array<std::uint8_t, 4> m_rx{};  // instruction bytes being received
    std::uint8_t m_txByte = 0;           // byte being shifted out
    int m_nBusyReads = 2;
    int m_nPendingAddress = -1;  // address still being programmed
    int m_nPendingReads = 0;
    std::uint8_t m_byPendingData = 0;
    int m_nStuckAddress = -1;
    bool m_bAbsent = false;
    bool m_bTakenOut = false;  // the ".out" file beside the backing file exists
    bool m_bIgnoresPageReads = false;
    std::string m_strBackingFile;
    bool m_bDirty = false;
    int m_nLockFd = -1;  // holds the backing file's lock
    std::atomic<std::uint64_t> m_nInstructions{0};
    std::array<std::atomic<std::uint64_t>, 256> m_opcodeCounts{};
};
