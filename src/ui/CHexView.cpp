#include "ui/CHexView.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

#include "ui/UiText.h"

namespace {

// The value of a hex digit key, or -1.
int HexDigitOf(const QString& text) {
    if (text.size() != 1) {
        return -1;
    }
    bool ok = false;
    const int digit = text.toInt(&ok, 16);
    return ok ? digit : -1;
}

}  // namespace

CHexView::CHexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
}

void CHexView::SetData(const std::uint8_t* data, int length) {
    const size_t count = data != nullptr ? size_t(std::max(length, 0)) : 0;
    m_data.resize(count);
    if (count > 0) {
        std::memcpy(m_data.data(), data, count);
    }
    m_layout.SetLength(static_cast<int>(count));
    m_undo.clear();
    if (m_nCaret > m_layout.LastCaret()) {
        m_nCaret = 0;
    }
    UpdateScrollBars();
    viewport()->update();
}

void CHexView::SetBytesPerRow(int bytes) {
    m_layout.SetBytesPerRow(bytes);
    Relayout();
}

void CHexView::SetMinAddressDigits(int digits) {
    m_layout.SetMinAddressDigits(digits);
    Relayout();
}

void CHexView::Relayout() {
    UpdateScrollBars();
    EnsureCaretVisible();
    viewport()->update();
}

void CHexView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* wide = menu.addAction(UiText("每行显示16字节."));
    wide->setCheckable(true);
    wide->setChecked(m_layout.BytesPerRow() == CHexLayout::kWideBytesPerRow);
    connect(wide, &QAction::toggled, this, [this](bool on) {
        emit bytesPerRowChosen(on ? CHexLayout::kWideBytesPerRow : CHexLayout::kDefaultBytesPerRow);
    });
    menu.exec(event->globalPos());
}

void CHexView::SetCaret(int caret) {
    m_nCaret = std::clamp(caret, 0, m_layout.LastCaret());
    EnsureCaretVisible();
    viewport()->update();
}

int CHexView::CellWidth() const {
    return std::max(fontMetrics().horizontalAdvance(QLatin1Char('0')), 1);
}

int CHexView::RowHeight() const {
    return std::max(fontMetrics().height(), 1);
}

int CHexView::RowsInView() const {
    return std::max(viewport()->height() / RowHeight(), 1);
}

void CHexView::UpdateScrollBars() {
    const int rows = RowsInView();
    verticalScrollBar()->setRange(0, m_layout.MaxFirstRow(rows));
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setSingleStep(1);
    // One column of cells of margin on the left.
    const int cellsInView = std::max(viewport()->width() / CellWidth(), 1);
    horizontalScrollBar()->setRange(0, std::max(m_layout.RowWidth() + 1 - cellsInView, 0));
    horizontalScrollBar()->setPageStep(cellsInView);
}

void CHexView::EnsureCaretVisible() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(m_layout.ScrollToCaret(m_nCaret, bar->value(), RowsInView()));
}

void CHexView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int cell = CellWidth();
    const int rowHeight = RowHeight();
    const int ascent = fontMetrics().ascent();
    const int left = (1 - horizontalScrollBar()->value()) * cell;
    const int firstRow = verticalScrollBar()->value();
    // Only the rows in sight are formatted and drawn, so a 1 MiB buffer costs no more than 64 KiB.
    const CHexLayout::RowRange rows = m_layout.VisibleRows(firstRow, RowsInView() + 1);
    const QPalette& pal = palette();
    const int caretByte = m_nCaret / 2;
    for (int row = rows.first; row < rows.end; ++row) {
        const int y = (row - firstRow) * rowHeight;
        if (caretByte / m_layout.BytesPerRow() == row && !m_data.empty()) {
            const int inRow = caretByte % m_layout.BytesPerRow();
            const QColor mark =
                hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid);
            painter.fillRect(left + m_layout.HexCell(inRow, m_nCaret % 2) * cell, y, cell,
                             rowHeight, mark);
            painter.fillRect(left + m_layout.CharCell(inRow) * cell, y, cell, rowHeight,
                             pal.color(QPalette::AlternateBase));
        }
        const QString text = QString::fromLatin1(m_layout.RowText(m_data.data(), row));
        const int hex = m_layout.HexColumn();
        painter.setPen(pal.color(QPalette::PlaceholderText));
        painter.drawText(left, y + ascent, text.left(hex));
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(left + hex * cell, y + ascent, text.mid(hex));
    }
}

void CHexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CHexView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateScrollBars();
    }
}

bool CHexView::GoToAddress(int address) {
    if (address < 0 || address >= DataLength()) return false;
    SetCaret(2 * address);
    return true;
}

void CHexView::AskForAddress() {
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, UiText("转到地址"), UiText("地址(十六进制):"),
                              QLineEdit::Normal, QString::number(m_nCaret / 2, 16).toUpper(), &ok);
    if (!ok) return;
    const int address = text.trimmed().toInt(&ok, 16);
    if (ok) GoToAddress(address);
}

bool CHexView::Undo() {
    if (m_bReadOnly || m_undo.empty()) return false;
    const Edit last = m_undo.back();
    m_undo.pop_back();
    m_data[size_t(last.offset)] = last.before;
    SetCaret(2 * last.offset);
    emit edited(last.offset);
    return true;
}

bool CHexView::OverwriteNibble(int digit) {
    if (m_data.empty() || m_bReadOnly) {
        return false;
    }
    std::uint8_t& byte = m_data[size_t(m_nCaret / 2)];
    m_undo.push_back({m_nCaret / 2, byte});
    if (m_undo.size() > kMaxUndo) m_undo.pop_front();
    byte = m_nCaret % 2 == 0 ? std::uint8_t((byte & 0x0F) | (digit << 4))
                             : std::uint8_t((byte & 0xF0) | digit);
    // The caret stops on the last digit rather than running past the data.
    m_nCaret = std::min(m_nCaret + 1, m_layout.LastCaret());
    return true;
}

void CHexView::keyPressEvent(QKeyEvent* event) {
    using Move = CHexLayout::Move;
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    Move move;
    switch (event->key()) {
        case Qt::Key_Left:
            move = Move::Left;
            break;
        case Qt::Key_Right:
            move = Move::Right;
            break;
        case Qt::Key_Up:
            move = Move::Up;
            break;
        case Qt::Key_Down:
            move = Move::Down;
            break;
        case Qt::Key_PageUp:
            move = Move::PageUp;
            break;
        case Qt::Key_PageDown:
            move = Move::PageDown;
            break;
        case Qt::Key_Home:
            move = ctrl ? Move::DataStart : Move::RowStart;
            break;
        case Qt::Key_End:
            move = ctrl ? Move::DataEnd : Move::RowEnd;
            break;
        default: {
            if (event->matches(QKeySequence::Undo)) {
                Undo();
                return;
            }
            if (ctrl && event->key() == Qt::Key_G) {
                AskForAddress();
                return;
            }
            const int offset = m_nCaret / 2;
            const int digit = ctrl ? -1 : HexDigitOf(event->text());
            if (digit < 0 || !OverwriteNibble(digit)) {
                QAbstractScrollArea::keyPressEvent(event);
                return;
            }
            EnsureCaretVisible();
            viewport()->update();
            emit edited(offset);
            return;
        }
    }
    SetCaret(m_layout.MoveCaret(m_nCaret, move, RowsInView()));
}

void CHexView::mousePressEvent(QMouseEvent* event) {
    const int cell = CellWidth();
    const int column = event->position().toPoint().x() / cell - 1 + horizontalScrollBar()->value();
    const int row = event->position().toPoint().y() / RowHeight() + verticalScrollBar()->value();
    const CHexLayout::Hit hit = m_layout.HitTest(column, row);
    if (hit.byte >= 0) {
        SetCaret(2 * hit.byte + (hit.area == CHexLayout::Area::Hex ? hit.nibble : 0));
    }
    QAbstractScrollArea::mousePressEvent(event);
}
