#include "ui/CHotkeyDlg.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

#include "platform/MessageBox.h"
#include "ui/CStyledButton.h"
#include "ui/GlobalHotkey.h"
#include "ui/UiText.h"

namespace {

// The dialog's size in dialog units.
constexpr int kWidthDu = 177;
constexpr int kHeightDu = 83;

}  // namespace

CHotkeyDlg::CHotkeyDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(UiText("请输入热键"));
    setFont(QFont(QStringLiteral("SimSun"), 9));
    // Created in tab order: the OK button takes the focus when the dialog opens.
    m_pOk = new CStyledButton(UiText("确定"), this);
    m_pCancel = new CStyledButton(UiText("取消"), this);
    m_pShift = new QCheckBox(QStringLiteral("Shift"), this);
    m_pCtrl = new QCheckBox(QStringLiteral("Ctrl"), this);
    m_pAlt = new QCheckBox(QStringLiteral("Alt"), this);
    auto* plus = new QLabel(QStringLiteral("+"), this);
    m_pKey = new QLineEdit(this);
    Place(m_pShift, 40, 10, 36, 10);
    Place(m_pCtrl, 40, 25, 32, 10);
    Place(m_pAlt, 40, 40, 28, 10);
    Place(plus, 84, 27, 8, 8);
    Place(m_pKey, 100, 25, 21, 12);
    Place(m_pOk, 26, 60, 50, 14);
    Place(m_pCancel, 100, 60, 50, 14);
    const QFontMetrics fm(font());
    setFixedSize(kWidthDu * fm.averageCharWidth() / 4, kHeightDu * fm.height() / 8);
    m_pOk->setDefault(true);
    // Letters show in upper case as they are typed.
    connect(m_pKey, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString upper = text.toUpper();
        if (upper != text) m_pKey->setText(upper);
    });
    connect(m_pOk, &QPushButton::clicked, this, &CHotkeyDlg::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CHotkeyDlg::reject);
}

void CHotkeyDlg::Place(QWidget* control, int x, int y, int width, int height) const {
    const QFontMetrics fm(font());
    const int cx = fm.averageCharWidth();
    const int cy = fm.height();
    control->setGeometry(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

void CHotkeyDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) OnInitDialog();
    QDialog::showEvent(event);
}

void CHotkeyDlg::OnInitDialog() {
    m_pOk->Setup(this, false, false, 0, 0);
    m_pCancel->Setup(this, false, false, 0, 0);
    m_bAlt = (m_cModifiers & kHotkeyAlt) ? 1 : 0;
    m_bShift = (m_cModifiers & kHotkeyShift) ? 1 : 0;
    m_bCtrl = (m_cModifiers & kHotkeyCtrl) ? 1 : 0;
    m_strKey = m_cKey == 0 ? QString() : QString(QChar(m_cKey));
    m_pKey->setMaxLength(1);
    UpdateData(false);
    m_pOk->setFocus();
}

void CHotkeyDlg::UpdateData(bool save) {
    if (save) {
        m_bShift = m_pShift->isChecked() ? 1 : 0;
        m_bCtrl = m_pCtrl->isChecked() ? 1 : 0;
        m_bAlt = m_pAlt->isChecked() ? 1 : 0;
        m_strKey = m_pKey->text();
    } else {
        m_pShift->setChecked(m_bShift != 0);
        m_pCtrl->setChecked(m_bCtrl != 0);
        m_pAlt->setChecked(m_bAlt != 0);
        m_pKey->setText(m_strKey);
    }
}

void CHotkeyDlg::accept() {
    UpdateData(true);
    // The key is stored as one byte, so only a character with a one-byte (Latin-1) code can be a
    // key; anything else is refused like an empty key.
    const QChar typed = m_strKey.size() == 1 ? m_strKey.front() : QChar();
    QChar key = typed.toUpper();
    if (key.unicode() > 0xFF) key = typed;
    if (m_strKey.size() != 1 || key.unicode() > 0xFF) {
        platform::ShowMessageBox(platform::Tr("请输入键值!"));
        return;
    }
    m_cModifiers = 0;
    if (m_bShift) m_cModifiers |= kHotkeyShift;
    if (m_bCtrl) m_cModifiers |= kHotkeyCtrl;
    if (m_bAlt) m_cModifiers |= kHotkeyAlt;
    m_cKey = static_cast<std::uint8_t>(key.unicode());
    QDialog::accept();
}
