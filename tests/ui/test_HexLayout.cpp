#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/CHexLayout.h"

namespace {

using Move = CHexLayout::Move;

CHexLayout LayoutOf(int length) {
    CHexLayout layout;
    layout.SetLength(length);
    return layout;
}

TEST(HexLayout, AddressColumnGrowsWithTheData) {
    EXPECT_EQ(LayoutOf(0).AddressDigits(), 4);
    EXPECT_EQ(LayoutOf(0x10000).AddressDigits(), 4);
    EXPECT_EQ(LayoutOf(0x10001).AddressDigits(), 5);
    EXPECT_EQ(LayoutOf(0x100000).AddressDigits(), 5);
    EXPECT_EQ(LayoutOf(0x100000).RowCount(), 0x20000);
    EXPECT_EQ(LayoutOf(9).RowCount(), 2);
    EXPECT_EQ(LayoutOf(-5).Length(), 0);
}

TEST(HexLayout, RowTextShowsAddressHexAndCharacters) {
    const std::vector<std::uint8_t> data = {'O', 'k', 0x00, 0x7F, 0xA5, ' ', '~', 0xFF, 0x1F};
    const CHexLayout layout = LayoutOf(static_cast<int>(data.size()));
    EXPECT_EQ(layout.RowText(data.data(), 0), "0000  4F 6B 00 7F A5 20 7E FF  Ok... ~.");
    // The short last row ends after its own byte.
    EXPECT_EQ(layout.RowText(data.data(), 1), "0008  1F                       .");
    EXPECT_EQ(layout.RowText(data.data(), 2), "");

    std::vector<std::uint8_t> big(0x100000, 0xFF);
    EXPECT_EQ(LayoutOf(0x100000).RowText(big.data(), 0x1FFFF).substr(0, 5), "FFFF8");
}

TEST(HexLayout, SixteenBytesARowAndASharedAddressFloor) {
    std::vector<std::uint8_t> data(20);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(0x41 + i);
    CHexLayout layout = LayoutOf(static_cast<int>(data.size()));
    layout.SetBytesPerRow(16);
    EXPECT_EQ(layout.RowCount(), 2);
    EXPECT_EQ(layout.RowText(data.data(), 1),
              "0010  51 52 53 54                                      QRST");
    EXPECT_EQ(layout.HitTest(layout.CharCell(15), 0).byte, 15);
    EXPECT_EQ(layout.MoveCaret(0, Move::Down, 1), 32);
    layout.SetBytesPerRow(12);  // not offered: back to 8
    EXPECT_EQ(layout.BytesPerRow(), 8);
    // A floor widens the address column, never narrows it.
    layout.SetMinAddressDigits(5);
    EXPECT_EQ(layout.RowText(data.data(), 0).substr(0, 7), "00000  ");
    EXPECT_EQ(CHexLayout::DigitsFor(0x100000), 5);
    layout.SetLength(0x1000001);
    EXPECT_EQ(layout.AddressDigits(), 7);
}

TEST(HexLayout, HitTestMapsCellsToBytesAndDigits) {
    const CHexLayout layout = LayoutOf(12);  // one full row and a row of four bytes
    const int hex = layout.HexColumn();
    EXPECT_EQ(layout.HitTest(0, 0).area, CHexLayout::Area::Address);

    CHexLayout::Hit hit = layout.HitTest(hex + 3 * 2 + 1, 0);  // low digit of byte 2
    EXPECT_EQ(hit.area, CHexLayout::Area::Hex);
    EXPECT_EQ(hit.byte, 2);
    EXPECT_EQ(hit.nibble, 1);
    hit = layout.HitTest(hex + 3 * 2 + 2, 0);  // the blank after byte 2 belongs to it
    EXPECT_EQ(hit.byte, 2);
    EXPECT_EQ(hit.nibble, 1);

    hit = layout.HitTest(layout.CharCell(5), 0);
    EXPECT_EQ(hit.area, CHexLayout::Area::Chars);
    EXPECT_EQ(hit.byte, 5);
    // Past the end of the short row: its last byte.
    EXPECT_EQ(layout.HitTest(layout.HexCell(7, 0), 1).byte, 11);
    EXPECT_EQ(layout.HitTest(layout.RowWidth(), 0).area, CHexLayout::Area::Outside);
    EXPECT_EQ(layout.HitTest(hex, 2).byte, -1);
}

TEST(HexLayout, CaretMovesStayInsideTheData) {
    const CHexLayout layout = LayoutOf(40);  // five rows, carets 0..79
    EXPECT_EQ(layout.MoveCaret(0, Move::Left, 4), 0);
    EXPECT_EQ(layout.MoveCaret(79, Move::Right, 4), 79);
    EXPECT_EQ(layout.MoveCaret(5, Move::Up, 4), 5);
    EXPECT_EQ(layout.MoveCaret(21, Move::Up, 4), 5);
    EXPECT_EQ(layout.MoveCaret(70, Move::Down, 4), 70);
    EXPECT_EQ(layout.MoveCaret(5, Move::Down, 4), 21);
    // A page up that reaches past the start keeps the column; a page down stops at the end.
    EXPECT_EQ(layout.MoveCaret(37, Move::PageUp, 4), 5);
    EXPECT_EQ(layout.MoveCaret(5, Move::PageDown, 2), 37);
    EXPECT_EQ(layout.MoveCaret(37, Move::PageDown, 4), 79);
    EXPECT_EQ(layout.MoveCaret(37, Move::RowStart, 4), 32);
    EXPECT_EQ(layout.MoveCaret(37, Move::RowEnd, 4), 47);
    EXPECT_EQ(layout.MoveCaret(37, Move::DataEnd, 4), 79);
    EXPECT_EQ(layout.MoveCaret(37, Move::DataStart, 4), 0);
    EXPECT_EQ(LayoutOf(0).MoveCaret(0, Move::Right, 4), 0);
    // The end of a short last row is its last byte.
    EXPECT_EQ(LayoutOf(12).MoveCaret(17, Move::RowEnd, 4), 23);
}

TEST(HexLayout, OnlyTheRowsInViewArePainted) {
    const CHexLayout layout = LayoutOf(0x100000);
    const CHexLayout::RowRange rows = layout.VisibleRows(1000, 30);
    EXPECT_EQ(rows.first, 1000);
    EXPECT_EQ(rows.end, 1030);
    const CHexLayout::RowRange last = layout.VisibleRows(0x1FFF0, 30);
    EXPECT_EQ(last.end, 0x20000);
    EXPECT_EQ(layout.MaxFirstRow(30), 0x20000 - 30);
    EXPECT_EQ(LayoutOf(16).MaxFirstRow(30), 0);
}

TEST(HexLayout, ScrollingFollowsTheCaret) {
    const CHexLayout layout = LayoutOf(0x1000);             // 512 rows
    EXPECT_EQ(layout.ScrollToCaret(2 * 8 * 5, 0, 10), 0);   // row 5 is in view
    EXPECT_EQ(layout.ScrollToCaret(2 * 8 * 12, 0, 10), 3);  // row 12: last row of the view
    EXPECT_EQ(layout.ScrollToCaret(2 * 8 * 2, 20, 10), 2);  // above: becomes the top row
    EXPECT_EQ(layout.ScrollToCaret(layout.LastCaret(), 0, 10), 502);
}

}  // namespace
