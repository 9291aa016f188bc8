#include "sim/CTargetChip.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Translate.h"
#include "sim/SimSettings.h"

namespace {

constexpr std::uint8_t kBusyMark = 0x80;
constexpr std::uint8_t kPageRead = 0x30;
constexpr std::uint8_t kReadLockBits = 0x24;
constexpr int kPageHeader = 2;  // instruction byte and high address byte

}  // namespace

CTargetChip::CTargetChip(Model model) : m_model(model), m_flash(FlashBytes(model), 0xFF) {
    NoteSimulatedChip(this, ModelName(model), "");
}

CTargetChip::~CTargetChip() {
    Flush();
    if (m_nLockFd >= 0) ::close(m_nLockFd);
    ForgetSimulatedChip(this);
}

int CTargetChip::FlashBytes(Model model) {
    return model == Model::AT89S51 ? 4096 : 8192;
}

const char* CTargetChip::ModelName(Model model) {
    return model == Model::AT89S51 ? "AT89S51" : "AT89S52";
}

bool CTargetChip::ModelFromName(const std::string& name, Model& model) {
    if (strcasecmp(name.c_str(), "at89s51") == 0) {
        model = Model::AT89S51;
        return true;
    }
    if (strcasecmp(name.c_str(), "at89s52") == 0) {
        model = Model::AT89S52;
        return true;
    }
    return false;
}

std::array<std::uint8_t, 3> CTargetChip::Signature() const {
    return {0x1E, static_cast<std::uint8_t>(m_model == Model::AT89S51 ? 0x51 : 0x52), 0x06};
}

void CTargetChip::SetReset(bool high) {
    if (high && !m_bReset && !m_strBackingFile.empty()) {
        m_bTakenOut = ::access(TakenOutFile(m_strBackingFile).c_str(), F_OK) == 0;
    }
    if (high != m_bReset) {
        m_nBit = 0;
        m_txByte = 0;
        m_bMiso = false;
    }
    if (!high) {
        if (m_bEnabled) Flush();
        m_bEnabled = false;
        m_nPendingAddress = -1;
    }
    m_bReset = high;
}

void CTargetChip::SetLines(bool rst, bool sck, bool mosi) {
    SetReset(rst);
    if (Absent()) return;
    if (!rst) {
        m_bSck = sck;
        return;
    }
    if (sck && !m_bSck) {  // rising edge: sample MOSI
        const size_t byte = static_cast<size_t>(m_nBit / 8);
        if (byte < m_rx.size()) m_rx[byte] = static_cast<std::uint8_t>((m_rx[byte] << 1) | mosi);
        ++m_nBit;
    } else if (!sck && m_bSck && m_nBit > 0) {  // falling edge: present the next output bit
        if (m_nBit % 8 == 0) {
            ByteReceived(m_nBit / 8);
        } else {
            m_txByte = static_cast<std::uint8_t>(m_txByte << 1);
        }
        m_bMiso = (m_txByte & 0x80) != 0;
    }
    m_bSck = sck;
}

void CTargetChip::ByteReceived(int received) {
    if (m_rx[0] == kPageRead && m_bEnabled) {
        // The page's bytes follow the high address byte, one per byte clocked.
        const int index = received - kPageHeader;
        if (index < kPageSize) {
            m_txByte = index < 0 ? 0 : PageByte(m_rx[1], index);
            return;
        }
        Completed(kPageRead);
        m_nBit = 0;
        m_txByte = 0;
        return;
    }
    if (received == 3) {
        m_txByte = Answer(m_rx);
    } else if (received == 4) {
        Apply(m_rx);
        Completed(m_rx[0]);
        m_nBit = 0;
        m_txByte = 0;
    } else {
        m_txByte = 0;
    }
}

void CTargetChip::Completed(std::uint8_t opcode) {
    ++m_nInstructions;
    auto& count = m_opcodeCounts[opcode];
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

std::uint8_t CTargetChip::Execute(const std::array<std::uint8_t, 4>& instruction) {
    if (!m_bReset || Absent()) return 0xFF;
    const std::uint8_t answer = Answer(instruction);
    Apply(instruction);
    Completed(instruction[0]);
    return answer;
}

void CTargetChip::ReadPage(std::uint8_t high, std::uint8_t* out) {
    const bool answers = m_bReset && m_bEnabled && !Absent();
    for (int i = 0; i < kPageSize; ++i) out[i] = answers ? PageByte(high, i) : 0xFF;
    if (answers) Completed(kPageRead);
}

std::uint8_t CTargetChip::PageByte(std::uint8_t high, int index) {
    return m_bIgnoresPageReads ? 0xFF : ReadFlash(high * kPageSize + index);
}

std::uint8_t CTargetChip::ReadFlash(int address) {
    const int a = address % FlashSize();
    if (a == m_nPendingAddress && m_nPendingReads != 0) {
        if (m_nPendingReads > 0) --m_nPendingReads;
        return static_cast<std::uint8_t>(m_byPendingData ^ kBusyMark);
    }
    return m_nLockLevel >= 2 ? 0xFF : m_flash[static_cast<size_t>(a)];
}

// The byte shifted out during the fourth byte; depends only on the first three bytes.
std::uint8_t CTargetChip::Answer(const std::array<std::uint8_t, 4>& instr) {
    if (instr[0] == 0xAC && instr[1] == 0x53) return 0x69;
    if (!m_bEnabled) return 0x00;
    const int address = (instr[1] << 8) | instr[2];
    if (instr[0] == 0x20) return ReadFlash(address);
    if (instr[0] == kReadLockBits) {
        // LB1..LB3 read 1 when programmed; lock level n has the first n programmed.
        return static_cast<std::uint8_t>(((1u << m_nLockLevel) - 1) * kLockBit1);
    }
    if (instr[0] == 0x28) {
        const auto sig = Signature();
        return instr[1] < 3 ? sig[instr[1]] : 0xFF;
    }
    return 0x00;
}

void CTargetChip::Apply(const std::array<std::uint8_t, 4>& instr) {
    if (instr[0] == 0xAC && instr[1] == 0x53) {
        m_bEnabled = true;
        return;
    }
    if (!m_bEnabled) return;
    if (instr[0] == 0xAC && instr[1] == 0x80) {
        m_flash.assign(m_flash.size(), 0xFF);
        m_nLockLevel = 0;
        m_bDirty = true;
    } else if (instr[0] == 0xAC && instr[1] >= 0xE1 && instr[1] <= 0xE3) {
        m_nLockLevel = std::max(m_nLockLevel, instr[1] - 0xE0);
        m_bDirty = true;
    } else if (instr[0] == 0x40 && m_nLockLevel == 0) {
        const int a = ((instr[1] << 8) | instr[2]) % FlashSize();
        m_nPendingAddress = a;
        m_byPendingData = instr[3];
        if (a == m_nStuckAddress) {
            m_nPendingReads = -1;  // never finishes
            return;
        }
        m_nPendingReads = m_nBusyReads;
        m_flash[static_cast<size_t>(a)] &= instr[3];
        m_bDirty = true;
    }
}

bool CTargetChip::LockBackingFile(const std::string& path) {
    // The lock lives in a file of its own: the flash file is replaced, not rewritten, on every
    // flush, and a lock on a replaced file would no longer keep a second run out.
    const std::string lockPath = path + ".lock";
    m_nLockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_nLockFd < 0) {
        platform::ReportFailureReason(platform::ErrnoReason(
            path, errno,
            platform::Printf(platform::Tr("cannot make its lock file %s"), lockPath.c_str())));
        return false;
    }
    if (::flock(m_nLockFd, LOCK_EX | LOCK_NB) != 0) {
        platform::ReportFailureReason(platform::ErrnoReason(
            path, errno, platform::Tr("the simulated chip is in use by another run")));
        return false;
    }
    return true;
}

bool CTargetChip::SetBackingFile(const std::string& path) {
    m_strBackingFile = path;
    if (!LockBackingFile(path)) return false;
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) {
        if (::access(path.c_str(), F_OK) == 0) {
            platform::ReportFailureReason(platform::ErrnoReason(path, errno));
            return false;
        }
        NoteSimulatedChip(this, ModelName(m_model), path);
        return true;
    }
    // The file is the flash followed by one lock-level byte; a file made by a chip of the other
    // size still ends in its lock byte, and a file of bare flash has none.
    std::size_t dataSize = bytes.size();
    const bool lockByte = dataSize == static_cast<std::size_t>(FlashBytes(Model::AT89S51)) + 1 ||
                          dataSize == static_cast<std::size_t>(FlashBytes(Model::AT89S52)) + 1;
    if (lockByte) {
        --dataSize;
        m_nLockLevel = std::min(static_cast<std::uint8_t>(bytes[dataSize]), std::uint8_t{3});
    }
    std::copy_n(bytes.begin(), std::min(dataSize, m_flash.size()), m_flash.begin());
    // A file of another size is rewritten in this chip's size at the next flush.
    m_bDirty = bytes.size() != m_flash.size() + 1;
    NoteSimulatedChip(this, ModelName(m_model), path);
    return true;
}

void CTargetChip::Flush() {
    if (!m_bDirty || m_strBackingFile.empty()) return;
    std::string bytes(m_flash.begin(), m_flash.end());
    bytes += static_cast<char>(m_nLockLevel);
    if (platform::WriteFileSafely(m_strBackingFile, bytes)) m_bDirty = false;
}
