#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "core/CProgrammer.h"
#include "core/IIspLink.h"
#include "core/IProgrammerBackend.h"
#include "lpt/CChipAlgorithm.h"
#include "lpt/CLptPort.h"
#include "lpt/ILptClock.h"

// The backend for the parallel download cables (types 1 to 4): the cable's pin roles, the bit
// layer that clocks the chip's serial programming instructions through the port, the command
// sets, and one short-lived worker thread per accepted operation. The code-2 command set talks to
// an ISP link: the bit layer's own, or another programmer's given at construction (then no
// parallel port is opened and the cable-only code 3 is not served). The starters run on the
// owner's thread and either refuse at once or start the worker; the worker reports only through
// events posted by the controller. The destructor (owner's thread) makes a running worker leave
// at its next byte or wait, joins it, and nothing is posted afterwards.
class CParallelIsp : public CLptPort, public IProgrammerBackend {
public:
    // An empty factory means the usual device selection for the cable type; a null clock the
    // system's. The clock must outlive the backend.
    explicit CParallelIsp(PortIoFactory factory = {}, ILptClock* clock = nullptr);
    // Over the link the maker returns, given this backend's stop test.
    explicit CParallelIsp(const IspLinkMaker& makeLink, ILptClock* clock = nullptr);
    ~CParallelIsp() override;

    // Opens the port, posts PE_PARALLEL_INIT_DONE or PE_PARALLEL_INIT_FAILED, maps the cable
    // roles and attaches the command sets. Owner's thread, once. Returns m_bPortOK.
    int Init(CProgrammer* programmer, std::uint16_t base, int cableType, int cableSpeed);
    // The same for a backend over another programmer's link: opens the link (its failure reason
    // goes to standard error). Owner's thread, once.
    int InitLink(CProgrammer* programmer);

    // Starters (owner's thread).
    void CheckReady(std::uint8_t code) override;
    void DetectChip(std::uint8_t code) override;
    void EraseChip(std::uint8_t code) override;
    void WriteChip(std::uint8_t code) override;
    void ReadChip(std::uint8_t code) override;
    void WriteLockBits(std::uint8_t code, int level) override;

    // The command set serving the code, also stored as m_pAlgorithm; null when none does.
    // Owner's thread.
    CChipAlgorithm* FindAlgorithm(std::uint8_t code);

    // Bit layer, used by the command sets on the worker. A line change is followed by
    // LatchPulse; so is the start of a MISO sample.
    void SetMOSI(int level);
    void SetRST(int level);
    void SetSCK(int level);
    void LatchPulse();
    int GetMISO();
    // Exchanges the first n (at most 10) bytes of m_TxBuf and m_RxBuf, most significant bit
    // first.
    void Transfer(int n);
    // Clocks n bytes in from MISO, most significant bit first, leaving MOSI as it is.
    void Receive(std::uint8_t* out, int n);
    // Whether code 2 reads whole pages in page mode (Dranvik.ini [Options] PageRead, default on).
    bool PageRead() const { return m_bPageRead; }
    void ShiftOutLsbFirst(std::uint8_t byte);
    // The link the code-2 command set sends its instructions through.
    IIspLink& Link() const { return *m_pLink; }
    // Posts through the controller unless closing has begun (also the command sets' notices).
    void Post(int code);

    // Waits on the clock; returns early once closing has begun. Worker only.
    void Wait(int ms);
    // True once the destructor has asked the worker to leave. Any thread.
    bool Stopping() const { return m_bStop.load(); }
    bool IsBusy() const { return m_bBusy.load() != 0; }

    std::array<std::uint8_t, 10> m_TxBuf{};
    std::array<std::uint8_t, 10> m_RxBuf{};

    // Cable roles: pin numbers (0: none) and levels, filled by Init.
    int m_nPinMOSI = 0;
    int m_nPinMISO = 0;
    int m_nPinRST = 0;
    int m_nPinSCK = 0;
    int m_nPinLE = 0;
    int m_nPinOE = 0;
    int m_nPinR1 = 0;
    int m_nPinR2 = 0;
    int m_nLEEnable = 0;
    int m_nLEDisable = 0;
    int m_nOEEnable = 0;
    int m_nOEDisable = 0;

private:
    enum Operation { kDetect = 1, kErase = 2, kWrite = 3, kRead = 4, kLock = 5 };

    // A worker thread and the flag it raises as its very last act.
    struct Worker {
        std::thread thread;
        std::unique_ptr<std::atomic<bool>> done;
    };

    void MapRoles();
    void Start(int operation, std::uint8_t code, int lockLevel = 0);
    // Joins the workers that have finished, or all of them.
    void JoinWorkers(bool all);
    void OperationThread(CChipAlgorithm& algorithm);
    void ShiftWriteThread(CChipAlgorithm& algorithm);
    // Programs Buffer 1 from position 0 to m_nDataLen; on a failed byte ends the operation with
    // PE_WRITE_ERROR. False when the worker must leave.
    bool WriteBytes(CChipAlgorithm& algorithm);
    void ReadBytes(CChipAlgorithm& algorithm);
    // Waits at most 2 seconds for pin 13 to read the level; false on expiry or stop.
    bool WaitPin13(bool high);
    // Releases OE and the busy flag, then posts the report.
    void Finish(int report);
    // When the command set reports a fault: says why on standard error, leaves programming mode
    // and ends the operation with its failure. False when there is none.
    bool Failed(CChipAlgorithm& algorithm);
    // Reads the page-read setting and attaches the command sets.
    void Attach();

    int m_nCableSpeed = 0;
    int m_nCableType = 0;
    bool m_bPageRead = true;
    int m_nLockLevel = 0;
    CChipAlgorithm* m_pAlgorithm = nullptr;
    std::vector<std::unique_ptr<CChipAlgorithm>> m_Algorithms;
    std::unique_ptr<IIspLink> m_pLink;
    int m_nOperation = 0;
    std::atomic<int> m_bBusy{0};
    int m_bPortOK = 0;
    CProgrammer* m_pProgrammer = nullptr;
    ILptClock& m_clock;
    std::atomic<bool> m_bStop{false};
    std::vector<Worker> m_workers;
};
