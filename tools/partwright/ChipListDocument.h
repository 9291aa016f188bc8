#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ChipTable.h"
#include "core/ChipInfo.h"

// Where a save went.
struct SaveResult {
    bool ok = false;
    std::string path;         // the file written (or that could not be written)
    bool redirected = false;  // the opened list was not writable: saved to the settings folder
};

// One ChipList.chip opened for editing: its records in file order, edited field by field so that
// the bytes a field does not show (reserved bytes, the name field's bytes past its end, the
// header's first four bytes) stay as the file had them. Names are stored in the file's encoding:
// GBK when some name in the opened file is not valid UTF-8, else UTF-8. Not thread-safe; the
// owner (the editor's model, a test) uses it from one thread.
class ChipListDocument {
public:
    // Reads the list at path. A missing file opens as an empty list that a save will create.
    // False when the file exists but cannot be read; the document is then empty and has no path,
    // so a save goes to the settings folder and never over the unread file.
    bool Open(const std::string& path);

    // Takes the records from a file's bytes, as the programs read them.
    void Load(std::string_view bytes);

    // The file's bytes for the records as they stand.
    std::string Bytes() const;

    // Writes the list with platform::WriteFileSafely to its own path when that can be written
    // (a symlink's target is replaced, the link kept), else to the settings folder's
    // ChipList.chip, which the programs read first; the document then continues there. A failure
    // is reported with its reason through platform::ReportFailureReason.
    SaveResult Save();

    int RowCount() const { return static_cast<int>(m_chips.size()); }
    const ChipInfo& Record(int row) const { return m_chips[static_cast<std::size_t>(row)]; }
    std::string Text(int row, chiptable::Column column) const;

    // Sets one field from UTF-8 text. Text equal to what the cell shows changes nothing, so a
    // cell opened and left keeps its exact bytes (a GBK name, a voltage that shows rounded).
    chiptable::FieldError SetText(int row, chiptable::Column column, std::string_view text);

    // Inserts a new record (placeholder name, code 2, 4 KB, 5 V, signature 00 00 00) at row,
    // 0..RowCount(). False for a row out of range.
    bool InsertRow(int row);
    bool RemoveRow(int row);
    // Moves the record at from to the position to; both in 0..RowCount()-1.
    bool MoveRow(int from, int to);

    const std::string& Path() const { return m_path; }
    bool IsModified() const { return m_modified; }
    bool IsGbk() const { return m_gbk; }
    // The header's count was larger than the records the file holds (only these were loaded).
    bool WasTruncated() const { return m_truncated; }

private:
    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }

    std::vector<ChipInfo> m_chips;
    std::uint32_t m_headerReserved = 0;
    std::string m_path;
    bool m_gbk = false;
    bool m_modified = false;
    bool m_truncated = false;
};
