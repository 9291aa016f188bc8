#include "ui/CStyledButton.h"

#include <QIcon>
#include <QMouseEvent>
#include <algorithm>

#include "ui/UiText.h"

namespace {

const char kMarkPrefix[] = N_("(自动)");

std::uint32_t ToColorRef(const QColor& color) {
    return std::uint32_t(color.red()) | std::uint32_t(color.green()) << 8 |
           std::uint32_t(color.blue()) << 16;
}

QColor FromColorRef(std::uint32_t colorRef) {
    return QColor(int(colorRef & 0xFF), int(colorRef >> 8 & 0xFF), int(colorRef >> 16 & 0xFF));
}

// The marked face: each of red, green and blue 15 lighter. A channel above 240 stops at 255
// instead of carrying into its neighbour, which would turn a light face a different colour.
std::uint32_t MarkedFace(std::uint32_t face) {
    std::uint32_t marked = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t channel = std::min<std::uint32_t>((face >> shift & 0xFF) + 0x0F, 0xFF);
        marked |= channel << shift;
    }
    return marked;
}

}  // namespace

CStyledButton::CStyledButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setAutoDefault(false);
}

QIcon CStyledButton::IconOf(int id) {
    // The images live in this static library, which the linker keeps only when asked for them.
    static const bool registered = [] {
        Q_INIT_RESOURCE(olstrin);
        return true;
    }();
    (void)registered;
    return QIcon(QStringLiteral(":/icons/%1.png").arg(id));
}

void CStyledButton::Setup(QWidget* parent, bool markable, bool iconSwitching, int normalIcon,
                          int busyIcon) {
    m_bMarkable = markable;
    m_nNormalIcon = normalIcon;
    m_nBusyIcon = busyIcon;
    if (parent != nullptr) {
        setFont(parent->font());
    }
    // Flat, with the face painted from the palette so that its colour can be set.
    setFlat(true);
    setAutoFillBackground(true);
    setIconSize(QSize(32, 32));
    m_strCaption = text();
    if (markable) {
        m_strMarkedCaption = UiText(kMarkPrefix) + m_strCaption;
        m_clrFace = FaceColor();
    }
    if (iconSwitching) {
        SetBusy(false);
    } else if (normalIcon != 0) {
        ShowIcon(normalIcon);
    }
}

void CStyledButton::ShowIcon(int id) {
    setIcon(IconOf(id));
    m_nShownIcon = id;
}

void CStyledButton::SetBusy(bool busy) {
    m_bBusyShown = busy;
    const int id = busy ? m_nBusyIcon : m_nNormalIcon;
    if (id != 0) {
        ShowIcon(id);
    }
}

void CStyledButton::SetAutoMark(bool marked) {
    m_bAutoMark = marked;
    setText(marked ? m_strMarkedCaption : m_strCaption);
    SetFaceColor(marked ? MarkedFace(m_clrFace) : m_clrFace);
}

std::uint32_t CStyledButton::FaceColor() const {
    return ToColorRef(palette().color(QPalette::Button));
}

void CStyledButton::SetFaceColor(std::uint32_t colorRef) {
    QPalette pal = palette();
    pal.setColor(QPalette::Button, FromColorRef(colorRef));
    setPalette(pal);
}

void CStyledButton::OnRButtonUp() {
    if (m_bMarkable) {
        SetAutoMark(!m_bAutoMark);
    }
}

void CStyledButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        OnRButtonUp();
    }
    QPushButton::mouseReleaseEvent(event);
}
