#include "ui/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/CDialogUnits.h"
#include "ui/CStyledButton.h"
#include "ui/UiText.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Taskel"));
    const CDialogUnits units(fontMetrics());

    auto* icon = new QLabel(this);
    icon->setPixmap(CStyledButton::IconOf(128).pixmap(32, 32));
    icon->setGeometry(units.Rect(25, 15, 20, 20));

    // The description wraps within the template's width; a longer one (another language) makes
    // the box taller by what it needs, with OK moved down by as much.
    auto* text = new QLabel(
        UiText("Olstrin %1\n51系列单片机ISP下载编程器").arg(QStringLiteral(OLSTRIN_VERSION)), this);
    text->setWordWrap(true);
    const QRect place = units.Rect(55, 10, 150, 32);
    const int extra = std::max(text->heightForWidth(place.width()) - place.height(), 0);
    text->setGeometry(place.adjusted(0, 0, 0, extra));
    setFixedSize(units.X(212), units.Y(73) + extra);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(units.Rect(85, 50, 50, 14).translated(0, extra));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
