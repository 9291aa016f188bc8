#pragma once

#include <cstdint>
#include <string>

// The geometry of a hex view without any widget: rows of 8 (or 16) bytes, each row an address
// column, a hex column and a character column, measured in character cells of a fixed-pitch font;
// the caret is a nibble position (two per byte). Plain value type, used by CHexView on the UI
// thread.
class CHexLayout {
public:
    // The row width a view starts with, and the wider one it offers.
    static constexpr int kDefaultBytesPerRow = 8;
    static constexpr int kWideBytesPerRow = 16;

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
    // Bytes a row: kDefaultBytesPerRow or kWideBytesPerRow; any other value gives the default.
    void SetBytesPerRow(int bytes);
    int BytesPerRow() const { return m_nBytesPerRow; }
    int RowCount() const { return (m_nLength + m_nBytesPerRow - 1) / m_nBytesPerRow; }

    // Hex digits for the highest address of length bytes, at least four.
    static int DigitsFor(int length);
    // A floor for the address column, so that views side by side agree on its width.
    void SetMinAddressDigits(int digits);
    // Hex digits of the address column: DigitsFor the length, at least the floor.
    int AddressDigits() const { return m_nAddressDigits; }
    // Character cell where each column starts, and the width of a whole row.
    int HexColumn() const { return m_nAddressDigits + 2; }
    int HexCell(int byteInRow, int nibble) const { return HexColumn() + 3 * byteInRow + nibble; }
    int CharColumn() const { return HexColumn() + 3 * m_nBytesPerRow + 1; }
    int CharCell(int byteInRow) const { return CharColumn() + byteInRow; }
    int RowWidth() const { return CharColumn() + m_nBytesPerRow; }

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
    void UpdateAddressDigits();

    int m_nLength = 0;
    int m_nBytesPerRow = kDefaultBytesPerRow;
    int m_nMinAddressDigits = 0;
    int m_nAddressDigits = 4;
};
