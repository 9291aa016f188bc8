#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ChipInfo.h"
#include "core/IProgrammerBackend.h"
#include "core/IProgrammerOwner.h"
#include "core/ProgrammerEvents.h"

class CProgrammer;

// Size of each image buffer, and of the chip address space that operations, saving and
// verifying use.
constexpr int kImageBufferSize = 0x100000;
constexpr int kChipSpaceSize = 0x10000;

// Length in bytes of the file last loaded into Buffer 1 (for Intel HEX, of its text). Written
// by the loader on the owner's thread, read by a write worker.
extern std::atomic<int> g_nLoadedLength;

// A backend just created, with the result of its initialisation.
struct BackendStart {
    std::unique_ptr<IProgrammerBackend> backend;
    int result = 0;
};

// How the controller creates its backends. The layers that implement them supply the functions;
// an empty function means that kind of hardware is not available in this program.
struct BackendFactory {
    // Creates the serial backend; initialises it on the COM port at the baud rate unless baud is
    // 0 (an invalid baud index), which leaves it uninitialised.
    std::function<BackendStart(CProgrammer& programmer, int comPort, int baud)> createSerial;
    // Creates and initialises the parallel backend for cable type 1..4 at the cable speed.
    std::function<BackendStart(CProgrammer& programmer, int cableType, int cableSpeed)>
        createParallel;
};

// The single object through which the front end reaches the programming hardware: it owns the
// chip list, the selection, the two 1 MiB image buffers and the one backend, dispatches every
// operation to the backend and reports results only through events posted to the owner.
// Operations are called on the owner's thread; workers write the members marked as shared.
class CProgrammer {
public:
    explicit CProgrammer(BackendFactory factory = {});
    ~CProgrammer();
    CProgrammer(const CProgrammer&) = delete;
    CProgrammer& operator=(const CProgrammer&) = delete;

    // Creates the backend of the type and starts its hardware path; nonzero when usable.
    int Init(IProgrammerOwner* owner, int type, int cableSpeed);

    // Posts the event to the owner. Any thread.
    void PostEvent(int code);

    void CheckReady(int index);
    void DetectChip(int index);
    void EraseChip(int index);
    void WriteChip(int index);
    void ReadChip(int index);
    void WriteLockBits(int index, int level);

    // Stores the index (negative taken as 0) as the selection and returns its record; null, with
    // the selection unchanged, when no such record exists.
    const ChipInfo* SelectChip(int index);
    const ChipInfo* GetSelectedChip();

    // One past the last byte other than 0xFF among the first size bytes, capped at the selected
    // chip's ROM size (0x10000 without a chip); also stored in m_nDataLen.
    int GetDataLength(const std::uint8_t* buffer, int size);

    // Selects the first chip whose signature equals m_Signature and posts PE_DEVICE_DETECTED, or
    // posts PE_DEVICE_NOT_DETECTED. Returns 1 on a match. Any thread.
    int MatchSignature();

    // Reads ChipList.chip from its usual place and fills the owner's chip list.
    void LoadChipList();
    void LoadChipListFrom(const std::string& path);
    // Fills the owner's chip list from the list already loaded.
    void ShowChipList();

    // The chip list, in file order, and the display name of record i (UTF-8).
    int GetChipCount() const { return static_cast<int>(m_ChipList.size()); }
    const ChipInfo& GetChip(int index) const { return m_ChipList[static_cast<size_t>(index)]; }
    std::string GetChipName(int index) const;

    std::atomic<int> m_bReadWrittenLength{0};
    std::atomic<int> m_nSelChip{0};  // shared: moved by detection on a worker
    int m_nProgrammerType = 0;
    int m_nComPort = 1;
    int m_nBaudIndex = 0;
    std::atomic<int> m_nPos{0};      // shared: written by workers
    std::atomic<int> m_nDataLen{0};  // shared: written by workers
    std::vector<ChipInfo> m_ChipList;
    std::unique_ptr<std::uint8_t[]> m_pBuffer1;
    std::unique_ptr<std::uint8_t[]> m_pBuffer2;
    std::vector<std::uint8_t> m_pChipFile;
    std::atomic<std::uint8_t> m_Signature[3] = {};  // shared: written by detection
    IProgrammerOwner* m_pOwner = nullptr;
    std::unique_ptr<IProgrammerBackend> m_pSerial;
    std::unique_ptr<IProgrammerBackend> m_pParallel;

private:
    IProgrammerBackend* ActiveBackend() const;
    // Selects the chip and hands its algorithm code to the active backend; refuses with
    // PE_INVALID_OPERATION when the index names no record.
    void Dispatch(int index, const std::function<void(IProgrammerBackend&, std::uint8_t)>& op);

    BackendFactory m_factory;
};
