#include "ChipListDocument.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/TextCodec.h"

namespace {

bool NameIsUtf8(const ChipInfo& chip) {
    return platform::IsValidUtf8(
        std::string_view(chip.szName, strnlen(chip.szName, sizeof chip.szName)));
}

}  // namespace

bool ChipListDocument::Open(const std::string& path) {
    std::string bytes;
    const bool read = platform::ReadWholeFile(path, bytes);
    struct stat st {};
    const bool missing = !read && ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
    Load(read ? bytes : std::string());
    m_path = read || missing ? path : std::string();
    return read || missing;
}

void ChipListDocument::Load(std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    m_chips = chiplist::Parse(data, bytes.size());
    m_headerReserved = 0;
    std::int32_t count = 0;
    if (bytes.size() >= chiplist::kHeaderSize) {
        std::memcpy(&m_headerReserved, data, sizeof m_headerReserved);
        std::memcpy(&count, data + 4, sizeof count);
    }
    m_truncated = count > RowCount();
    m_gbk = !std::all_of(m_chips.begin(), m_chips.end(), NameIsUtf8);
    m_modified = false;
}

std::string ChipListDocument::Bytes() const {
    const std::vector<std::uint8_t> bytes = chiplist::Serialize(m_chips, m_headerReserved);
    return std::string(bytes.begin(), bytes.end());
}

SaveResult ChipListDocument::Save() {
    SaveResult result;
    result.redirected = !platform::CanWriteSafely(m_path);
    result.path = result.redirected ? platform::SettingsDir() + "ChipList.chip" : m_path;
    result.ok = platform::WriteFileSafely(result.path, Bytes());
    if (!result.ok) platform::ReportFailureReason(platform::ErrnoReason(result.path, errno));
    if (result.ok) {
        m_path = result.path;
        m_modified = false;
    }
    return result;
}

std::string ChipListDocument::Text(int row, chiptable::Column column) const {
    return ValidRow(row) ? chiptable::FieldText(Record(row), column) : std::string();
}

chiptable::FieldError ChipListDocument::SetText(int row, chiptable::Column column,
                                                std::string_view text) {
    if (!ValidRow(row) || Text(row, column) == text) return chiptable::FieldError::None;
    ChipInfo edited = Record(row);
    const chiptable::FieldError error = chiptable::SetField(edited, column, text, m_gbk);
    if (error == chiptable::FieldError::None) {
        m_chips[static_cast<std::size_t>(row)] = edited;
        m_modified = true;
    }
    return error;
}

bool ChipListDocument::InsertRow(int row) {
    if (row < 0 || row > RowCount()) return false;
    ChipInfo chip{};
    chiptable::SetField(chip, chiptable::Column::Name, "新器件", m_gbk);
    chip.bAlgorithm = 2;
    chip.nRomKB = 4;
    chip.fVoltage = 5.0f;
    m_chips.insert(m_chips.begin() + row, chip);
    m_modified = true;
    return true;
}

bool ChipListDocument::RemoveRow(int row) {
    if (!ValidRow(row)) return false;
    m_chips.erase(m_chips.begin() + row);
    m_modified = true;
    return true;
}

bool ChipListDocument::MoveRow(int from, int to) {
    if (!ValidRow(from) || !ValidRow(to)) return false;
    if (from == to) return true;
    const auto first = m_chips.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    m_modified = true;
    return true;
}
