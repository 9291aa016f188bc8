#pragma once

#include <cstdint>
#include <string>

// The geometry of a hex view without any widget: rows of eight bytes, each row an address column,
// a hex column and a character column, measured in character cells of a fixed-pitch font; the
// caret is a nibble position (two per byte). Plain value type, used by CHexView on the UI thread.
class CHexLayout {
public:
    static constexpr int kBytesPerRow = 8;

    // Which part of a row a character cell falls in.
    enum class Area { Address, Hex, Chars, Outside };

    struct Hit {
        Area area = Area::Outside;
        int byte = -1;   // byte index the cell belongs to, -1 when none
        int nibble = 0;  // 0 high digit, 1 low digit (Hex area only)
    };

    // Rows [first, end) to paint.
    struct RowRange {
        int first = 0;
        int end = 0;
    };

    // Caret moves the view's keys stand for.
    enum class Move {
        Left,
        Right,
        Up,
        Down,
        PageUp,
        PageDown,
        RowStart,
        RowEnd,
        DataStart,
        DataEnd
    };

    void SetLength(int length);
    int Length() const { return m_nLength; }
    int RowCount() const { return (m_nLength + kBytesPerRow - 1) / kBytesPerRow; }

    // Hex digits of the address column: enough for the highest address, at least four.
    int AddressDigits() const { return m_nAddressDigits; }
    // Character cell where each column starts, and the width of a whole row.
    int HexColumn() const { return m_nAddressDigits + 2; }
    int HexCell(int byteInRow, int nibble) const { return HexColumn() + 3 * byteInRow + nibble; }
    int CharColumn() const { return HexColumn() + 3 * kBytesPerRow + 1; }
    int CharCell(int byteInRow) const { return CharColumn() + byteInRow; }
    int RowWidth() const { return CharColumn() + kBytesPerRow; }

    // The byte under a character cell (column, row); rows count from the first row of data.
    Hit HitTest(int column, int row) const;

    // The rows that intersect a viewport of viewRows rows whose top shows row firstRow.
    RowRange VisibleRows(int firstRow, int viewRows) const;
    // The largest sensible top row for a viewport of viewRows full rows.
    int MaxFirstRow(int viewRows) const;
    // The top row that keeps the caret's row visible, moving the view as little as possible.
    int ScrollToCaret(int caret, int firstRow, int viewRows) const;

    // The caret after a move; viewRows is the page size. Stays within [0, 2 * length).
    int MoveCaret(int caret, Move move, int viewRows) const;
    // Largest caret position: the low nibble of the last byte (0 when there are no bytes).
    int LastCaret() const { return m_nLength > 0 ? 2 * m_nLength - 1 : 0; }

    // The text of one row: address, hex pairs in upper case, printable characters or '.'.
    std::string RowText(const std::uint8_t* data, int row) const;

private:
    int m_nLength = 0;
    int m_nAddressDigits = 4;
};
