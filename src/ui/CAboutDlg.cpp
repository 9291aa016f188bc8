#include "ui/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/CDialogUnits.h"
#include "ui/CStyledButton.h"
#include "ui/UiText.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Taskel"));
    const CDialogUnits units(fontMetrics());
    setFixedSize(units.X(212), units.Y(73));

    auto* icon = new QLabel(this);
    icon->setPixmap(CStyledButton::IconOf(128).pixmap(32, 32));
    icon->setGeometry(units.Rect(25, 15, 20, 20));

    auto* text = new QLabel(
        UiText("Olstrin %1\n51系列单片机ISP下载编程器").arg(QStringLiteral(OLSTRIN_VERSION)), this);
    text->setGeometry(units.Rect(55, 10, 150, 32));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(units.Rect(85, 50, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
