#include "lpt/CParallelIsp.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include "lpt/CBitBangLink.h"
#include "lpt/CShiftOutAlgorithm.h"
#include "lpt/CSpiByteAlgorithm.h"
#include "lpt/PortSelection.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/Profile.h"

namespace {

constexpr int kHandshakeLimitMs = 2000;  // bound of each pin-13 wait of the shift write
constexpr int kWaitSliceMs = 10;         // a stop request is noticed within one slice
constexpr int kHandshakePin = 13;

// Where a pin role or a latch level comes from: key names the settings-file entry, with value as
// its default; a null key is a fixed value the cable's wiring decides.
struct RoleSource {
    const char* key;
    int value;
};

constexpr RoleSource Fixed(int value) {
    return {nullptr, value};
}

// The pin roles and the LE/OE levels of one cable type.
struct CableRoles {
    RoleSource mosi, miso, sck, rst, le, oe, r1, r2;
    RoleSource leEnable, leDisable, oeEnable, oeDisable;
};

constexpr const char* kPinSection = "引脚控制";
constexpr const char* kLatchSection = "锁存控制(LE)";
constexpr const char* kOutputSection = "输出控制(OE)";

// The Altera cables fix the data lines; level is the LE levels' default and the OE enable's.
constexpr CableRoles Altera(int level) {
    return {Fixed(8),          Fixed(11),          Fixed(2),          Fixed(3),
            {"LE", 14},        {"OE", 2},          {"R1", 3},         {"R2", 4},
            {"Enable", level}, {"Disable", level}, {"Enable", level}, {"Disable", 0}};
}

// Cable types 1 to 4. Kestavo takes every role from the settings file; the Atmel ByteBlaster is
// fixed and has no OE line; the ByteBlasterMV works at level 0, the ByteBlasterII at level 1.
// clang-format off
constexpr CableRoles kCableRoles[] = {
    {{"MOSI", 14}, {"MISO", 15}, {"SCK", 1}, {"RST", 16}, {"LE", 17}, {"OE", 2}, {"R1", 3},
     {"R2", 4}, {"Enable", 1}, {"Disable", 0}, {"Enable", 0}, {"Disable", 1}},
    {Fixed(2), Fixed(10), Fixed(1), Fixed(17), Fixed(4), Fixed(0), Fixed(14), Fixed(16),
     Fixed(0), Fixed(0), Fixed(0), Fixed(0)},
    Altera(0),
    Altera(1),
};
// clang-format on

}  // namespace

CParallelIsp::CParallelIsp(PortIoFactory factory, ILptClock* clock)
    : CLptPort(factory ? std::move(factory) : PortIoFactory([this](const std::string& device) {
          return CreatePortIo(device, m_nCableType);
      })),
      m_pLink(std::make_unique<CBitBangLink>(*this)),
      m_clock(clock ? *clock : SystemLptClock()) {
    m_Algorithms.push_back(std::make_unique<CSpiByteAlgorithm>());
    m_Algorithms.push_back(std::make_unique<CShiftOutAlgorithm>());
}

CParallelIsp::CParallelIsp(const IspLinkMaker& makeLink, ILptClock* clock)
    : CLptPort([](const std::string&) { return std::unique_ptr<IPortIo>(); }),
      m_pLink(makeLink([this] { return Stopping(); })),
      m_clock(clock ? *clock : SystemLptClock()) {
    m_Algorithms.push_back(std::make_unique<CSpiByteAlgorithm>());
}

CParallelIsp::~CParallelIsp() {
    m_bStop = true;
    JoinWorkers(true);
}

int CParallelIsp::Init(CProgrammer* programmer, std::uint16_t base, int cableType, int cableSpeed) {
    m_pProgrammer = programmer;
    m_nCableSpeed = cableSpeed;
    m_nCableType = cableType;
    m_bPortOK = InitPortIo(base);
    Post(m_bPortOK ? PE_PARALLEL_INIT_DONE : PE_PARALLEL_INIT_FAILED);
    m_bBusy = 0;
    MapRoles();
    Attach();
    SetPin(m_nPinLE, m_nLEEnable);
    return m_bPortOK;
}

int CParallelIsp::InitLink(CProgrammer* programmer) {
    m_pProgrammer = programmer;
    m_bPortOK = m_pLink && m_pLink->Open();
    if (!m_bPortOK) {
        platform::ReportFailureReason(m_pLink ? m_pLink->Reason() : "no programmer link was made");
    }
    Post(m_bPortOK ? PE_PARALLEL_INIT_DONE : PE_PARALLEL_INIT_FAILED);
    m_bBusy = 0;
    Attach();
    return m_bPortOK;
}

void CParallelIsp::Attach() {
    m_bPageRead = platform::GetProfileInt("Options", "PageRead", 1,
                                          platform::SettingsFile("Dranvik.ini")) != 0;
    for (auto& algorithm : m_Algorithms) algorithm->Attach(this);
}

void CParallelIsp::MapRoles() {
    if (m_nCableType < 1 || m_nCableType > static_cast<int>(std::size(kCableRoles))) return;
    const CableRoles& roles = kCableRoles[m_nCableType - 1];
    const std::string ini = platform::SettingsFile("Dranvik.ini");
    auto read = [&ini](const char* section, const RoleSource& source) {
        return source.key ? platform::GetProfileInt(section, source.key, source.value, ini)
                          : source.value;
    };
    // Each member, the settings section it is read from and the cable's source for it.
    struct Role {
        int CParallelIsp::*member;
        const char* section;
        RoleSource CableRoles::*source;
    };
    static constexpr Role kRoles[] = {
        {&CParallelIsp::m_nPinMOSI, kPinSection, &CableRoles::mosi},
        {&CParallelIsp::m_nPinMISO, kPinSection, &CableRoles::miso},
        {&CParallelIsp::m_nPinSCK, kPinSection, &CableRoles::sck},
        {&CParallelIsp::m_nPinRST, kPinSection, &CableRoles::rst},
        {&CParallelIsp::m_nPinLE, kPinSection, &CableRoles::le},
        {&CParallelIsp::m_nPinOE, kPinSection, &CableRoles::oe},
        {&CParallelIsp::m_nPinR1, kPinSection, &CableRoles::r1},
        {&CParallelIsp::m_nPinR2, kPinSection, &CableRoles::r2},
        {&CParallelIsp::m_nLEEnable, kLatchSection, &CableRoles::leEnable},
        {&CParallelIsp::m_nLEDisable, kLatchSection, &CableRoles::leDisable},
        {&CParallelIsp::m_nOEEnable, kOutputSection, &CableRoles::oeEnable},
        {&CParallelIsp::m_nOEDisable, kOutputSection, &CableRoles::oeDisable},
    };
    for (const Role& role : kRoles) this->*role.member = read(role.section, roles.*role.source);
}

CChipAlgorithm* CParallelIsp::FindAlgorithm(std::uint8_t code) {
    for (auto& algorithm : m_Algorithms) {
        if (algorithm->m_nCode == code) {
            m_pAlgorithm = algorithm.get();
            return m_pAlgorithm;
        }
    }
    return nullptr;
}

void CParallelIsp::CheckReady(std::uint8_t code) {
    Post(m_bPortOK && FindAlgorithm(code) ? PE_READY : PE_UNAVAILABLE);
}

void CParallelIsp::DetectChip(std::uint8_t code) {
    Start(kDetect, code);
}
void CParallelIsp::EraseChip(std::uint8_t code) {
    Start(kErase, code);
}
void CParallelIsp::WriteChip(std::uint8_t code) {
    Start(kWrite, code);
}
void CParallelIsp::ReadChip(std::uint8_t code) {
    Start(kRead, code);
}

void CParallelIsp::WriteLockBits(std::uint8_t code, int level) {
    Start(kLock, code, level);
}

void CParallelIsp::Start(int operation, std::uint8_t code, int lockLevel) {
    if (m_bBusy) {
        Post(PE_UNAVAILABLE);
        return;
    }
    CChipAlgorithm* algorithm = FindAlgorithm(code);
    if (!algorithm) {
        Post(PE_INVALID_OPERATION);
        return;
    }
    if (operation == kLock) m_nLockLevel = lockLevel;
    m_nOperation = operation;
    m_bBusy = 1;
    JoinWorkers(false);
    const bool shiftWrite = operation == kWrite && code == 3;
    auto done = std::make_unique<std::atomic<bool>>(false);
    std::atomic<bool>* flag = done.get();
    try {
        std::thread thread([this, algorithm, shiftWrite, flag] {
            if (shiftWrite) {
                ShiftWriteThread(*algorithm);
            } else {
                OperationThread(*algorithm);
            }
            flag->store(true);
        });
        m_workers.push_back({std::move(thread), std::move(done)});
    } catch (const std::system_error&) {
        m_bBusy = 0;
        Post(PE_UNAVAILABLE);
    }
}

void CParallelIsp::JoinWorkers(bool all) {
    // A worker clears the busy flag before its report, and the report of a detection waits for
    // the owner to move the chip selection, so a finished operation's thread may still be
    // running when the next one starts: it is joined later rather than waited for now.
    std::erase_if(m_workers, [all](Worker& worker) {
        if (!all && !worker.done->load()) return false;
        worker.thread.join();
        return true;
    });
}

void CParallelIsp::OperationThread(CChipAlgorithm& algorithm) {
    CProgrammer& p = *m_pProgrammer;
    SetPin(m_nPinOE, m_nOEEnable);
    m_bBusy = 1;
    algorithm.Begin();
    if (Failed(algorithm)) return;
    switch (m_nOperation) {
        case kDetect: {
            std::uint8_t signature[3] = {};
            algorithm.ReadSignature(signature);
            if (Failed(algorithm)) return;
            for (int i = 0; i < 3; ++i) p.m_Signature[i] = signature[i];
            algorithm.End();
            Finish(-1);
            if (!Stopping()) p.MatchSignature();
            return;
        }
        case kErase:
            algorithm.Erase();
            if (Failed(algorithm)) return;
            algorithm.End();
            Finish(PE_ERASE_DONE);
            return;
        case kWrite:
            p.GetDataLength(p.m_pBuffer1.get(), kChipSpaceSize);
            algorithm.Begin();
            if (Failed(algorithm) || !WriteBytes(algorithm)) return;
            algorithm.End();
            Finish(PE_WRITE_DONE);
            return;
        case kRead:
            ReadBytes(algorithm);
            return;
        case kLock: {
            const int confirmed = algorithm.WriteLock(m_nLockLevel);
            if (Failed(algorithm)) return;
            algorithm.End();
            Finish(confirmed ? PE_LOCK_DONE : PE_LOCK_ERROR);
            return;
        }
        default:
            Finish(-1);
            return;
    }
}

void CParallelIsp::ShiftWriteThread(CChipAlgorithm& algorithm) {
    CProgrammer& p = *m_pProgrammer;
    SetPin(m_nPinOE, m_nOEEnable);
    m_bBusy = 1;
    algorithm.Begin();
    SetSCK(0);
    SetRST(0);
    Wait(1);
    if (!WaitPin13(false)) return Finish(PE_WRITE_ERROR);
    SetRST(1);
    if (!WaitPin13(true)) return Finish(PE_WRITE_ERROR);
    Wait(1);
    // The loaded file's length; a long HEX text can pass the end of Buffer 1, where it stops.
    p.m_nDataLen = std::min(g_nLoadedLength.load(), kImageBufferSize);
    algorithm.Begin();
    if (!WriteBytes(algorithm)) return;
    algorithm.End();
    m_bBusy = 0;  // OE stays enabled after a shift write
    Post(PE_WRITE_DONE);
}

bool CParallelIsp::WriteBytes(CChipAlgorithm& algorithm) {
    CProgrammer& p = *m_pProgrammer;
    const std::uint8_t* image = p.m_pBuffer1.get();
    // The length is taken once: the owner may recompute m_nDataLen (saving Buffer 2) meanwhile.
    const int length = p.m_nDataLen;
    for (int pos = 0; pos < length; ++pos) {
        if (Stopping()) {
            // A stopped write still leaves programming mode, so the target runs again.
            algorithm.End();
            return false;
        }
        p.m_nPos = pos;
        const int written = algorithm.WriteByte(image[pos], pos);
        if (Failed(algorithm)) return false;
        if (!written) {
            // OE stays enabled and m_nPos stays at the failed byte; Buffer 2 holds what the
            // chip has there, so the owner can say why the byte would not take.
            p.m_pBuffer2[pos] = algorithm.ReadByte(pos);
            algorithm.End();
            m_bBusy = 0;
            Post(PE_WRITE_ERROR);
            return false;
        }
        if (pos % 15 == 0) Post(PE_WRITE_PROGRESS);
    }
    p.m_nPos = length;
    return true;
}

void CParallelIsp::ReadBytes(CChipAlgorithm& algorithm) {
    CProgrammer& p = *m_pProgrammer;
    if (!p.m_bReadWrittenLength) {
        const ChipInfo* chip = p.GetSelectedChip();
        p.m_nDataLen = chip ? chiplist::RomBytes(*chip) : 0;
    }
    // A length past the end of Buffer 2 stops there.
    const int length = std::min(p.m_nDataLen.load(), kImageBufferSize);
    const bool locked = length > 0 && algorithm.ReadOutLocked();
    if (Failed(algorithm)) return;
    if (locked) {
        // What the wire returns from such a chip is not its flash.
        algorithm.End();
        Finish(PE_READ_LOCKED);
        return;
    }
    std::uint8_t* buffer = p.m_pBuffer2.get();
    for (int pos = 0; pos < length;) {
        if (Stopping()) {
            algorithm.End();
            return;
        }
        const int end = pos + algorithm.ReadBlock(pos, length - pos, buffer + pos);
        if (Failed(algorithm)) return;
        for (; pos < end; ++pos) {
            p.m_nPos = pos;
            if (pos % 15 == 0) Post(PE_READ_PROGRESS);
        }
    }
    p.m_nPos = length;
    algorithm.End();
    Finish(PE_READ_DONE);
}

bool CParallelIsp::WaitPin13(bool high) {
    const std::int64_t start = m_clock.NowMs();
    while (!Stopping()) {
        if ((GetPin(kHandshakePin) != 0) == high) return true;
        if (m_clock.NowMs() - start >= kHandshakeLimitMs) return false;
    }
    return false;
}

void CParallelIsp::Finish(int report) {
    SetPin(m_nPinOE, m_nOEDisable);
    m_bBusy = 0;
    if (report >= 0) Post(report);
}

bool CParallelIsp::Failed(CChipAlgorithm& algorithm) {
    const CChipAlgorithm::Fault fault = algorithm.LastFault();
    if (fault == CChipAlgorithm::Fault::kNone) return false;
    const bool noChip = fault == CChipAlgorithm::Fault::kNoChipAnswer;
    if (!Stopping())
        platform::ReportFailureReason(noChip ? m_pLink->EnableHint() : m_pLink->Reason());
    algorithm.End();
    Finish(noChip ? PE_NO_CHIP_ANSWER : m_nOperation == kWrite ? PE_WRITE_ERROR : PE_RECEIVE_ERROR);
    return true;
}

void CParallelIsp::Post(int code) {
    if (!Stopping() && m_pProgrammer) m_pProgrammer->PostEvent(code);
}

void CParallelIsp::Wait(int ms) {
    while (ms > 0 && !Stopping()) {
        const int slice = std::min(ms, kWaitSliceMs);
        m_clock.SleepMs(slice);
        ms -= slice;
    }
}

void CParallelIsp::LatchPulse() {
    if (m_nCableSpeed == 2) return;
    SetPin(m_nPinLE, m_nLEEnable);
    if (m_nCableSpeed != 1) SetPin(m_nPinLE, m_nLEDisable);
}

void CParallelIsp::SetMOSI(int level) {
    SetPin(m_nPinMOSI, level);
    LatchPulse();
}

void CParallelIsp::SetRST(int level) {
    SetPin(m_nPinRST, level);
    LatchPulse();
}

void CParallelIsp::SetSCK(int level) {
    SetPin(m_nPinSCK, level);
    LatchPulse();
}

int CParallelIsp::GetMISO() {
    LatchPulse();
    return GetPin(m_nPinMISO);
}

void CParallelIsp::Transfer(int n) {
    n = std::clamp(n, 0, static_cast<int>(m_TxBuf.size()));
    for (int i = 0; i < n; ++i) {
        SetSCK(0);
        std::uint8_t received = 0;
        for (int bit = 7; bit >= 0; --bit) {
            SetMOSI((m_TxBuf[static_cast<size_t>(i)] >> bit) & 1);
            SetSCK(1);
            if (GetMISO()) received = static_cast<std::uint8_t>(received | (1u << bit));
            SetSCK(0);
        }
        m_RxBuf[static_cast<size_t>(i)] = received;
    }
}

void CParallelIsp::Receive(std::uint8_t* out, int n) {
    SetSCK(0);
    for (int i = 0; i < n; ++i) {
        std::uint8_t received = 0;
        for (int bit = 7; bit >= 0; --bit) {
            SetSCK(1);
            if (GetMISO()) received = static_cast<std::uint8_t>(received | (1u << bit));
            SetSCK(0);
        }
        out[i] = received;
    }
}

void CParallelIsp::ShiftOutLsbFirst(std::uint8_t byte) {
    SetSCK(0);
    SetMOSI(byte & 1);
    SetSCK(1);
    SetSCK(0);
    SetSCK(0);
    for (int bit = 1; bit <= 6; ++bit) {
        SetMOSI((byte >> bit) & 1);
        SetSCK(1);
        SetSCK(0);
    }
    SetMOSI((byte >> 7) & 1);
    SetSCK(1);
}
