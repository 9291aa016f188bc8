#include "ui/CHexLayout.h"

#include <algorithm>

void CHexLayout::SetLength(int length) {
    m_nLength = std::max(length, 0);
    UpdateAddressDigits();
}

void CHexLayout::SetBytesPerRow(int bytes) {
    m_nBytesPerRow = bytes == kWideBytesPerRow ? kWideBytesPerRow : kDefaultBytesPerRow;
}

int CHexLayout::DigitsFor(int length) {
    int digits = 1;
    for (unsigned highest = length > 0 ? unsigned(length - 1) : 0u; highest > 0xF; highest >>= 4) {
        ++digits;
    }
    return std::max(digits, 4);
}

void CHexLayout::SetMinAddressDigits(int digits) {
    m_nMinAddressDigits = digits;
    UpdateAddressDigits();
}

void CHexLayout::UpdateAddressDigits() {
    m_nAddressDigits = std::max(DigitsFor(m_nLength), m_nMinAddressDigits);
}

CHexLayout::Hit CHexLayout::HitTest(int column, int row) const {
    Hit hit;
    if (row < 0 || row >= RowCount() || column < 0) {
        return hit;
    }
    const int rowStart = row * m_nBytesPerRow;
    if (column < HexColumn()) {
        hit.area = Area::Address;
        hit.byte = rowStart;
        return hit;
    }
    int byteInRow = -1;
    if (column < CharColumn()) {
        // Each byte owns its two digits and the blank after them.
        const int offset = column - HexColumn();
        byteInRow = std::min(offset / 3, m_nBytesPerRow - 1);
        hit.area = Area::Hex;
        hit.nibble = std::min(offset % 3, 1);
    } else if (column < RowWidth()) {
        byteInRow = column - CharColumn();
        hit.area = Area::Chars;
    } else {
        return hit;
    }
    // The last row may be short: cells past its last byte belong to that last byte.
    hit.byte = std::min(rowStart + byteInRow, m_nLength - 1);
    return hit;
}

CHexLayout::RowRange CHexLayout::VisibleRows(int firstRow, int viewRows) const {
    RowRange range;
    range.first = std::clamp(firstRow, 0, RowCount());
    range.end = std::clamp(range.first + std::max(viewRows, 0), range.first, RowCount());
    return range;
}

int CHexLayout::MaxFirstRow(int viewRows) const {
    return std::max(RowCount() - std::max(viewRows, 1), 0);
}

int CHexLayout::ScrollToCaret(int caret, int firstRow, int viewRows) const {
    const int row = caret / (2 * m_nBytesPerRow);
    const int rows = std::max(viewRows, 1);
    if (row < firstRow) {
        return row;
    }
    if (row >= firstRow + rows) {
        return std::min(row - rows + 1, MaxFirstRow(viewRows));
    }
    return firstRow;
}

int CHexLayout::MoveCaret(int caret, Move move, int viewRows) const {
    const int rowNibbles = 2 * m_nBytesPerRow;
    const int page = std::max(viewRows, 1) * rowNibbles;
    int moved = caret;
    switch (move) {
        case Move::Left:
            moved = caret - 1;
            break;
        case Move::Right:
            moved = caret + 1;
            break;
        case Move::Up:
            moved = caret >= rowNibbles ? caret - rowNibbles : caret;
            break;
        case Move::Down:
            moved = caret + rowNibbles <= LastCaret() ? caret + rowNibbles : caret;
            break;
        case Move::PageUp:
            moved = caret - page;
            // Keep the column when the page reaches past the start.
            if (moved < 0) {
                moved = caret % rowNibbles;
            }
            break;
        case Move::PageDown:
            moved = caret + page;
            if (moved > LastCaret()) {
                moved = LastCaret();
            }
            break;
        case Move::RowStart:
            moved = caret - caret % rowNibbles;
            break;
        case Move::RowEnd:
            moved = caret - caret % rowNibbles + rowNibbles - 1;
            break;
        case Move::DataStart:
            moved = 0;
            break;
        case Move::DataEnd:
            moved = LastCaret();
            break;
    }
    return std::clamp(moved, 0, LastCaret());
}

std::string CHexLayout::RowText(const std::uint8_t* data, int row) const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<size_t>(RowWidth()), ' ');
    if (row < 0 || row >= RowCount()) {
        return std::string();
    }
    const int rowStart = row * m_nBytesPerRow;
    for (int i = 0; i < m_nAddressDigits; ++i) {
        text[size_t(m_nAddressDigits - 1 - i)] = kDigits[(unsigned(rowStart) >> (4 * i)) & 0xF];
    }
    const int count = std::min(m_nBytesPerRow, m_nLength - rowStart);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t byte = data[rowStart + i];
        text[size_t(HexCell(i, 0))] = kDigits[byte >> 4];
        text[size_t(HexCell(i, 1))] = kDigits[byte & 0xF];
        text[size_t(CharCell(i))] = byte >= 0x20 && byte < 0x7F ? char(byte) : '.';
    }
    // A short last row ends after its last character.
    text.resize(size_t(CharCell(count)));
    return text;
}
