#include "core/CProgrammer.h"

#include <algorithm>
#include <cstring>

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"

std::atomic<int> g_nLoadedLength{0};

namespace {

// Baud rate for a baud index, 0 for an index outside the table.
int BaudFromIndex(int index) {
    static const int kBauds[] = {9600, 19200, 28800, 57600};
    return index >= 0 && index < 4 ? kBauds[index] : 0;
}

}  // namespace

CProgrammer::CProgrammer(BackendFactory factory)
    : m_pBuffer1(new std::uint8_t[kImageBufferSize]),
      m_pBuffer2(new std::uint8_t[kImageBufferSize]),
      m_factory(std::move(factory)) {
    std::memset(m_pBuffer1.get(), 0xFF, kImageBufferSize);
    std::memset(m_pBuffer2.get(), 0xFF, kImageBufferSize);
}

CProgrammer::~CProgrammer() {
    // Workers are stopped before the buffers and the chip list they use go away.
    m_pParallel.reset();
    m_pSerial.reset();
}

int CProgrammer::Init(IProgrammerOwner* owner, int type, int cableSpeed) {
    m_pOwner = owner;
    m_nProgrammerType = type;
    if (type == 0) {
        m_pSerial.reset();
        if (!m_factory.createSerial) return 0;
        const int baud = BaudFromIndex(m_nBaudIndex);
        BackendStart start = m_factory.createSerial(*this, m_nComPort, baud);
        m_pSerial = std::move(start.backend);
        return baud != 0 ? start.result : 0;
    }
    if (type >= 1 && type <= 4) {
        if (!m_factory.createParallel) return 0;
        BackendStart start = m_factory.createParallel(*this, type, cableSpeed);
        m_pParallel = std::move(start.backend);
        return start.result;
    }
    return 0;
}

void CProgrammer::PostEvent(int code) {
    if (m_pOwner) m_pOwner->PostProgrammerEvent(code);
}

IProgrammerBackend* CProgrammer::ActiveBackend() const {
    if (m_nProgrammerType == 0) return m_pSerial.get();
    if (m_nProgrammerType >= 1 && m_nProgrammerType <= 4) return m_pParallel.get();
    return nullptr;
}

void CProgrammer::Dispatch(int index,
                           const std::function<void(IProgrammerBackend&, std::uint8_t)>& op) {
    IProgrammerBackend* backend = ActiveBackend();
    if (!backend) return;
    const ChipInfo* chip = SelectChip(index);
    if (!chip) {
        PostEvent(PE_INVALID_OPERATION);
        return;
    }
    op(*backend, chip->bAlgorithm);
}

void CProgrammer::CheckReady(int index) {
    Dispatch(index, [](IProgrammerBackend& b, std::uint8_t code) { b.CheckReady(code); });
}

void CProgrammer::DetectChip(int index) {
    Dispatch(index, [](IProgrammerBackend& b, std::uint8_t code) { b.DetectChip(code); });
}

void CProgrammer::EraseChip(int index) {
    Dispatch(index, [](IProgrammerBackend& b, std::uint8_t code) { b.EraseChip(code); });
}

void CProgrammer::WriteChip(int index) {
    Dispatch(index, [](IProgrammerBackend& b, std::uint8_t code) { b.WriteChip(code); });
}

void CProgrammer::ReadChip(int index) {
    Dispatch(index, [this](IProgrammerBackend& b, std::uint8_t code) {
        std::memset(m_pBuffer2.get(), 0xFF, kChipSpaceSize);
        b.ReadChip(code);
    });
}

void CProgrammer::WriteLockBits(int index, int level) {
    Dispatch(index,
             [level](IProgrammerBackend& b, std::uint8_t code) { b.WriteLockBits(code, level); });
}

const ChipInfo* CProgrammer::SelectChip(int index) {
    index = std::max(index, 0);
    if (index >= GetChipCount()) return nullptr;
    m_nSelChip = index;
    return &m_ChipList[static_cast<size_t>(index)];
}

const ChipInfo* CProgrammer::GetSelectedChip() {
    const int index = std::max(m_nSelChip.load(), 0);
    return index < GetChipCount() ? &m_ChipList[static_cast<size_t>(index)] : nullptr;
}

int CProgrammer::GetDataLength(const std::uint8_t* buffer, int size) {
    int length = 0;
    for (int i = size - 1; i >= 0; --i) {
        if (buffer[i] != 0xFF) {
            length = i + 1;
            break;
        }
    }
    const ChipInfo* chip = GetSelectedChip();
    const int limit = chip ? chiplist::RomBytes(*chip) : kChipSpaceSize;
    length = std::min(length, limit);
    m_nDataLen = length;
    return length;
}

int CProgrammer::MatchSignature() {
    for (int i = 0; i < GetChipCount(); ++i) {
        const ChipInfo& chip = m_ChipList[static_cast<size_t>(i)];
        if (chip.Signature[0] == m_Signature[0] && chip.Signature[1] == m_Signature[1] &&
            chip.Signature[2] == m_Signature[2]) {
            m_nSelChip = i;
            if (m_pOwner) m_pOwner->SelectChipItem(i);
            PostEvent(PE_DEVICE_DETECTED);
            return 1;
        }
    }
    PostEvent(PE_DEVICE_NOT_DETECTED);
    return 0;
}

void CProgrammer::LoadChipList() {
    LoadChipListFrom(platform::ChipListPath());
}

void CProgrammer::LoadChipListFrom(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) return;
    m_pChipFile.assign(bytes.begin(), bytes.end());
    m_ChipList = chiplist::Parse(m_pChipFile.data(), m_pChipFile.size());
    ShowChipList();
}

void CProgrammer::ShowChipList() {
    for (int i = 0; i < GetChipCount(); ++i) {
        if (m_pOwner) m_pOwner->InsertChipItem(i, GetChipName(i));
    }
}

std::string CProgrammer::GetChipName(int index) const {
    return chiplist::NameOf(m_ChipList[static_cast<size_t>(index)]);
}
