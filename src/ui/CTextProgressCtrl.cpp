#include "ui/CTextProgressCtrl.h"

#include <QPainter>

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
    // The colours are taken once, as the control is made.
    const QPalette& pal = palette();
    m_clrBar = pal.color(QPalette::Highlight);
    m_clrBack = pal.color(QPalette::Base);
    m_clrTextOnBack = m_clrBar;
    m_clrTextOnBar = m_clrBack;
    // Every paint covers the whole control, so nothing is erased beforehand.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

double CTextProgressCtrl::Fraction() const {
    return double(m_nPosition - m_nLower) / double(m_nUpper - m_nLower);
}

int CTextProgressCtrl::FilledWidth() const {
    return static_cast<int>(Fraction() * width());
}

int CTextProgressCtrl::SetPos(int position) {
    const int old = m_nPosition;
    m_nPosition = position;
    const int drawn = FilledWidth();
    if (drawn != m_nDrawnWidth) {
        m_nDrawnWidth = drawn;
        repaint();
    }
    return old;
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
    if (text != m_strCaption) {
        m_strCaption = text;
        update();
    }
}

QString CTextProgressCtrl::DisplayText() const {
    if (!m_strCaption.isEmpty()) {
        return m_strCaption;
    }
    return QString::asprintf("%d%%", static_cast<int>(Fraction() * 100.0));
}

QSize CTextProgressCtrl::sizeHint() const {
    return QSize(160, fontMetrics().height() + 8);
}

void CTextProgressCtrl::SetFlashing(bool flashing) {
    m_bFlashing = flashing;
    update();
}

void CTextProgressCtrl::SetFailed(bool failed) {
    if (failed != m_bFailed) {
        m_bFailed = failed;
        update();
    }
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    if (m_bFlashing) {
        // No text: the caption left from the last operation would tell of another outcome.
        painter.fillRect(client, FlashColor());
        return;
    }
    const int edge = client.left() + FilledWidth();
    const QRect filled(client.left(), client.top(), edge - client.left(), client.height());
    const QRect empty(edge, client.top(), client.right() + 1 - edge, client.height());
    painter.fillRect(filled, m_bFailed ? FlashColor() : m_clrBar);
    painter.fillRect(empty, m_clrBack);
    if (!m_bShowText) {
        return;
    }
    const QString text = DisplayText();
    // The same centred text twice, each copy clipped to one part in the colour that reads on it.
    painter.setClipRect(filled);
    painter.setPen(m_clrTextOnBar);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.setClipRect(empty);
    painter.setPen(m_clrTextOnBack);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_nDrawnWidth = -1;
}
