#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <deque>
#include <vector>

#include "ui/CHexLayout.h"

// The hex editor of a buffer tab: shows a copy of the bytes it is given, 8 (or 16) a row with
// addresses from 0, and lets the user overwrite hex digits. It keeps its own copy so that painting
// never reads a buffer a worker thread may be filling; the owner copies Data() back where the
// edits must go. UI thread only.
class CHexView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // How many edits Undo can take back.
    static constexpr std::size_t kMaxUndo = 4096;

    explicit CHexView(QWidget* parent = nullptr);

    // Replaces the shown bytes with a copy of length bytes from data. The caret stays where it
    // was when that position still exists, else it goes to the start.
    void SetData(const std::uint8_t* data, int length);

    // The current bytes, edits included, and their count.
    const std::uint8_t* Data() const { return m_data.data(); }
    int DataLength() const { return static_cast<int>(m_data.size()); }

    // Caret as a nibble position: 2 * byte index, + 1 on the low digit.
    int Caret() const { return m_nCaret; }
    void SetCaret(int caret);

    const CHexLayout& Layout() const { return m_layout; }

    // Bytes a row (CHexLayout's 8 or 16), keeping the caret on its byte.
    void SetBytesPerRow(int bytes);
    // The fewest address digits shown, so that two views agree whatever their lengths.
    void SetMinAddressDigits(int digits);

    // While read-only, typed digits and undo change nothing.
    void SetReadOnly(bool readOnly) { m_bReadOnly = readOnly; }
    bool IsReadOnly() const { return m_bReadOnly; }

    // Puts the caret on the high digit of the byte at address; false (caret unmoved) when the
    // address is outside the data.
    bool GoToAddress(int address);
    // Puts back the byte the most recent remaining edit changed and moves the caret there; false
    // when there is nothing to undo. New data (SetData) forgets the edits.
    bool Undo();

signals:
    // The user changed the byte at offset, by a typed digit or an undo (not emitted by SetData).
    void edited(int offset);
    // The user chose the row width in the context menu.
    void bytesPerRowChosen(int bytes);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The context menu: 16 bytes a row on or off.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Shows the layout's new geometry: scroll range, caret in sight, repaint.
    void Relayout();
    int RowsInView() const;
    int CellWidth() const;
    int RowHeight() const;
    void UpdateScrollBars();
    void EnsureCaretVisible();
    bool OverwriteNibble(int digit);
    // Ctrl+G: asks for a hexadecimal address and goes there.
    void AskForAddress();

    // One edit: the byte's offset and its value before the edit.
    struct Edit {
        int offset;
        std::uint8_t before;
    };

    CHexLayout m_layout;
    std::vector<std::uint8_t> m_data;
    int m_nCaret = 0;
    bool m_bReadOnly = false;
    std::deque<Edit> m_undo;  // oldest first, at most kMaxUndo
};
