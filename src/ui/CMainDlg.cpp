#include "ui/CMainDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

#include "core/ProgrammerEvents.h"
#include "platform/AppPaths.h"
#include "platform/Profile.h"
#include "sim/SimSettings.h"
#include "ui/CAboutDlg.h"
#include "ui/CDialogScript.h"
#include "ui/CDialogUnits.h"
#include "ui/CHexView.h"
#include "ui/CLastFileDialog.h"
#include "ui/CSettingsGrid.h"
#include "ui/CStyledButton.h"
#include "ui/CTextProgressCtrl.h"
#include "ui/GlobalHotkey.h"
#include "ui/UiText.h"

namespace {

// A programmer event travelling through Qt's event queue as the window message it stands for.
class CProgrammerEventMsg : public QEvent {
public:
    explicit CProgrammerEventMsg(int code)
        : QEvent(static_cast<QEvent::Type>(WM_PROGRAMMER_EVENT)), m_nCode(code) {}
    int Code() const { return m_nCode; }

private:
    int m_nCode;
};

constexpr int kStatusTab = 2;

// The dialog template's size in dialog units: the smallest the window gets.
constexpr int kTemplateWidth = 378;
constexpr int kTemplateHeight = 261;
// The tab control's left edge and top in dialog units, and its margin to the window's edges.
constexpr int kTabLeft = 167;
constexpr int kTabTop = 1;
constexpr int kTabMargin = 2;
// The 32 px icons of the original template, expressed in dialog units so that they grow and
// shrink with the font: a little less than the 19-unit height of the operation buttons.
constexpr int kIconUnits = 17;

// The window's size lives in a section of its own in the settings file, apart from the stored
// settings record.
constexpr const char* kWindowSection = "Window";
// The hex views' bytes a row, in the same section.
constexpr const char* kHexColumnsKey = "HexColumns";

// A failed run turns the progress bar red for this long, like the window flash.
constexpr int kFlashMs = 400;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string ToLocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QMessageBox::Icon BoxIconOf(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Information:
            return QMessageBox::Information;
        case platform::MessageIcon::Warning:
            return QMessageBox::Warning;
        case platform::MessageIcon::Error:
            return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

// A combo box keeps its natural height; the template's height is that of its open list.
void PlaceCombo(QComboBox* combo, const CDialogUnits& units, int x, int y, int width) {
    const QRect rect = units.Rect(x, y, width, 12);
    combo->setGeometry(rect.x(), rect.y(), rect.width(), combo->sizeHint().height());
}

CStyledButton* MakeButton(QWidget* parent, const char* caption, const QRect& place) {
    auto* button = new CStyledButton(UiText(caption), parent);
    button->setGeometry(place);
    return button;
}

// A group label of the left column: its caption and the etched line after it.
void AddGroupLabel(QWidget* parent, const CDialogUnits& units, const QString& caption, int y) {
    auto* label = new QLabel(caption, parent);
    // The template's place; a longer caption (another language) widens it and shortens the line.
    QRect place = units.Rect(15, y, 16, 8).adjusted(0, 0, units.X(4), 0);
    int lineLeft = units.X(36);
    if (label->sizeHint().width() > place.width()) {
        place.setWidth(label->sizeHint().width());
        lineLeft = place.right() + units.X(2);
    }
    label->setGeometry(place);
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(lineLeft, units.Y(y + 4), units.X(127) - lineLeft, 2);
}

}  // namespace

// Sizes the status log's rows. The list takes one row size for all rows (which keeps a listing of
// 65,536 lines fast) from whichever row it samples; this makes that size as wide as the widest
// line so far, so no line is cut short and the list scrolls sideways to the longest.
class CLogRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Widens the rows to the line when it is the widest yet. The width is the sum of the
    // characters' advances, each measured once: measuring whole lines of Chinese text costs too
    // much for a listing of 65,536 lines, and the sum is never narrower than the line drawn.
    void Measure(const QString& line, const QFontMetricsF& metrics) {
        qreal width = 0;
        for (const QChar c : line) {
            auto known = m_advances.constFind(c.unicode());
            if (known == m_advances.constEnd()) {
                known = m_advances.insert(c.unicode(), metrics.horizontalAdvance(c));
            }
            width += *known;
        }
        m_nWidest = std::max(m_nWidest, static_cast<int>(std::ceil(width)));
    }
    void Forget() { m_nWidest = 0; }

    // A line that runs past the list's right edge shows whole in its tooltip, without scrolling.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        const QString line = index.data().toString();
        if (event->type() != QEvent::ToolTip ||
            option.rect.left() + option.fontMetrics.horizontalAdvance(line) <=
                view->viewport()->width()) {
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        QToolTip::showText(
            event->globalPos(),
            QStringLiteral("<p style='white-space:pre'>%1</p>").arg(line.toHtmlEscaped()), view);
        return true;
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int sample = option.fontMetrics.horizontalAdvance(index.data().toString());
        size.rwidth() += std::max(m_nWidest - sample, 0);
        return size;
    }

private:
    int m_nWidest = 0;
    QHash<char16_t, qreal> m_advances;
};

CMainDlg::CMainDlg(BackendFactory factory, QWidget* parent) : QDialog(parent) {
    m_pSession = std::make_unique<CProgrammingSession>(*this, std::move(factory));
    OnInitDialog();
}

CMainDlg::~CMainDlg() {
    BeginClosing();
    m_pSettings.reset();
    // The session's backends stop and join their workers here, before any widget goes.
    m_pSession.reset();
    platform::SetMessageBoxHandler({});
}

void CMainDlg::OnInitDialog() {
    BuildControls();
    setWindowIcon(CStyledButton::IconOf(128));
    platform::SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, platform::MessageIcon icon) {
            ShowMessage(text, caption, icon);
        });

    StyleButtons();
    for (const char* level : {"Lock Bit-1", "Lock Bit-2", "Lock Bit-3"}) {
        m_cmbLockBit->addItem(QString::fromLatin1(level));
    }
    m_cmbLockBit->setCurrentIndex(0);
    m_progress->hide();
    m_pSettings = std::make_unique<CSettingsGrid>(
        this, m_pSettingsPage, m_pSession->Settings(),
        [this](const std::string& line) { m_pSession->AddLog(line); });
    connect(this, &CMainDlg::successSignalled, m_pSettings.get(), &CSettingsGrid::SignalSuccess);
    connect(this, &CMainDlg::failureSignalled, m_pSettings.get(), &CSettingsGrid::SignalFailure);
    m_pSettings->ShowSettings(m_pSession->LoadSettings());
    m_pSession->EnableButtons(true);

    // Shows both buffers, starts the programmer (its answer arrives as an event), fills and
    // selects the chip list.
    m_pSession->Start(this);
    // A simulated target must never pass for a real one, in the title as in the log.
    const std::string simulated = SimulatedChipModel();
    if (!simulated.empty()) {
        setWindowTitle(windowTitle() + UiText(" - 模拟器件") + QString::fromStdString(simulated));
    }
    if (m_pSession->Settings().bUseHotkey) m_pSettings->EnableHotkey(true);
    ConnectCommands();
    AddShortcutsAndTips();
    SetHexColumns(platform::GetProfileInt(kWindowSection, kHexColumnsKey,
                                          CHexLayout::kDefaultBytesPerRow, SettingsPath()));
    RestoreGeometry();
    setAcceptDrops(true);
}

void CMainDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Vessan - Olstrin %1").arg(QStringLiteral(OLSTRIN_VERSION)));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    const CDialogUnits units(fontMetrics());
    BuildChipRow(units);
    BuildOperationColumn(units);
    BuildLockGroup(units);
    BuildTabs();
    NameControls();
    // The left column keeps the template's places; the tabs take whatever room is left. The
    // template's size is the smallest, grown where this font and style make a control of the
    // left column reach further (a combo box keeps its natural height), so none is cut off.
    const QWidget* const leftColumn[] = {m_cmbChip,    m_btnDetect,    m_btnAuto,
                                         m_cmbLockBit, m_btnWriteLock, m_progress};
    QRect column;
    for (const QWidget* control : leftColumn) column |= control->geometry();
    setMinimumSize(std::max(units.X(kTemplateWidth), column.right() + 1 + units.X(kTabMargin)),
                   std::max(units.Y(kTemplateHeight), column.bottom() + 1 + units.Y(kTabMargin)));
    resize(minimumSize());
}

void CMainDlg::BuildChipRow(const CDialogUnits& units) {
    m_cmbChip = new QComboBox(this);
    PlaceCombo(m_cmbChip, units, 14, 8, 71);
    m_btnDetect = MakeButton(this, N_("检测器件"), units.Rect(90, 8, 42, 14));

    auto* about = new QPushButton(QStringLiteral("&About Ulvo..."), this);
    about->setFlat(true);
    about->setAutoDefault(false);
    about->setGeometry(units.Rect(3, 28, 58, 12));
    connect(about, &QPushButton::clicked, this, &CMainDlg::OnAbout);

    m_linkMoreDevices = new QLabel(UiText("<a href=\"partwright\">更多器件...</a>"), this);
    m_linkMoreDevices->setGeometry(units.Rect(65, 29, 55, 11));
    connect(m_linkMoreDevices, &QLabel::linkActivated, this, &CMainDlg::OnMoreDevices);
}

void CMainDlg::BuildOperationColumn(const CDialogUnits& units) {
    AddGroupLabel(this, units, UiText("操作"), 43);
    auto operation = [&](const char* caption, int y) {
        return MakeButton(this, caption, units.Rect(7, y, 127, 19));
    };
    m_btnOpen = operation(N_("打开文件"), 56);
    m_btnSave = operation(N_("保存文件"), 75);
    m_btnErase = operation(N_("檫除器件"), 95);
    m_btnWrite = operation(N_("写器件"), 115);
    m_btnRead = operation(N_("读器件"), 135);
    m_btnVerify = operation(N_("效验数据"), 155);
    m_btnAuto = operation(N_("自动完成"), 175);
}

void CMainDlg::BuildLockGroup(const CDialogUnits& units) {
    AddGroupLabel(this, units, UiText("加密"), 200);
    m_cmbLockBit = new QComboBox(this);
    PlaceCombo(m_cmbLockBit, units, 17, 215, 63);
    m_btnWriteLock = MakeButton(this, N_("写锁定位"), units.Rect(85, 215, 43, 14));

    m_progress = new CTextProgressCtrl(this);
    m_progress->setGeometry(units.Rect(10, 237, 120, 20));
}

void CMainDlg::BuildTabs() {
    // The tab widget places the pages itself.
    m_tab = new QTabWidget(this);
    PlaceTabs();
    m_hexBuffer1 = new CHexView(m_tab);
    m_hexBuffer2 = new CHexView(m_tab);
    m_lstStatus = new QListWidget(m_tab);
    m_lstStatus->setUniformItemSizes(true);
    m_lstStatus->setSortingEnabled(false);
    // Every line is shown in full: a long one makes the list scroll sideways, never an ellipsis,
    // and its tooltip shows the whole line.
    m_pLogRows = new CLogRowDelegate(m_lstStatus);
    m_lstStatus->setItemDelegate(m_pLogRows);
    m_lstStatus->setTextElideMode(Qt::ElideNone);
    m_lstStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pSettingsPage = new QWidget(m_tab);
    m_tab->addTab(m_hexBuffer1, UiText("缓冲1"));
    m_tab->addTab(m_hexBuffer2, UiText("缓冲2"));
    m_tab->addTab(m_lstStatus, UiText("状态"));
    m_tab->addTab(m_pSettingsPage, UiText("设置"));
}

void CMainDlg::NameControls() {
    // The member names double as object names, by which scripts and tests find the controls.
    const std::pair<QWidget*, const char*> names[] = {
        {m_cmbChip, "m_cmbChip"},
        {m_btnDetect, "m_btnDetect"},
        {m_btnOpen, "m_btnOpen"},
        {m_btnSave, "m_btnSave"},
        {m_btnErase, "m_btnErase"},
        {m_btnWrite, "m_btnWrite"},
        {m_btnRead, "m_btnRead"},
        {m_btnVerify, "m_btnVerify"},
        {m_btnAuto, "m_btnAuto"},
        {m_cmbLockBit, "m_cmbLockBit"},
        {m_btnWriteLock, "m_btnWriteLock"},
        {m_progress, "m_progress"},
        {m_tab, "m_tab"},
        {m_hexBuffer1, "m_hexBuffer1"},
        {m_hexBuffer2, "m_hexBuffer2"},
        {m_lstStatus, "m_lstStatus"},
        {m_linkMoreDevices, "m_linkMoreDevices"},
    };
    for (const auto& [control, name] : names) {
        control->setObjectName(QString::fromLatin1(name));
    }
}

void CMainDlg::StyleButtons() {
    struct Style {
        CStyledButton* button;
        bool markable;
        bool iconSwitching;
        int normalIcon;
        int busyIcon;
    };
    const Style styles[] = {
        {m_btnOpen, true, true, 143, 0},      {m_btnSave, false, false, 131, 0},
        {m_btnErase, true, true, 129, 134},   {m_btnWrite, true, true, 135, 136},
        {m_btnRead, true, true, 137, 138},    {m_btnVerify, true, true, 139, 140},
        {m_btnAuto, false, true, 142, 0},     {m_btnDetect, false, false, 0, 0},
        {m_btnWriteLock, false, false, 0, 0},
    };
    const int iconSide = CDialogUnits(fontMetrics()).Y(kIconUnits);
    for (const Style& style : styles) {
        style.button->Setup(this, style.markable, style.iconSwitching, style.normalIcon,
                            style.busyIcon);
        style.button->setIconSize(QSize(iconSide, iconSide));
    }
}

void CMainDlg::ConnectCommands() {
    CProgrammingSession* session = m_pSession.get();
    auto onClick = [this](CStyledButton* button, auto handler) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    // A single step taken drops the pending chain, so its end is not the chain's result. The
    // flag goes first: a step may end within the call.
    auto onStep = [this, onClick](CStyledButton* button, bool (CProgrammingSession::*step)()) {
        onClick(button, [this, button, step] {
            if (button->AcceptsClicks()) m_bChainRunning = false;
            (m_pSession.get()->*step)();
        });
    };
    onStep(m_btnDetect, &CProgrammingSession::OnDetect);
    onStep(m_btnErase, &CProgrammingSession::OnErase);
    onStep(m_btnWrite, &CProgrammingSession::OnWrite);
    onStep(m_btnRead, &CProgrammingSession::OnRead);
    onStep(m_btnVerify, &CProgrammingSession::OnVerify);
    onClick(m_btnAuto, [this] { OnAutoComplete(); });
    onClick(m_btnWriteLock, [session] { session->OnWriteLockBits(); });
    onClick(m_btnOpen, [this] { OnOpenFile(); });
    onClick(m_btnSave, [this] { OnSaveFile(); });
    connect(m_tab, &QTabWidget::currentChanged, this, &CMainDlg::OnTabChanged);
    connect(m_hexBuffer1, &CHexView::edited, this, &CMainDlg::OnBuffer1Update);
    connect(m_hexBuffer1, &CHexView::bytesPerRowChosen, this, &CMainDlg::ChooseHexColumns);
    connect(m_hexBuffer2, &CHexView::bytesPerRowChosen, this, &CMainDlg::ChooseHexColumns);
    connect(this, &CMainDlg::failureSignalled, this, &CMainDlg::FlashProgress);
}

void CMainDlg::AddShortcutsAndTips() {
    auto addShortcut = [this](QKeySequence keys, auto handler) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OnOpenFile(); });
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { OnSaveFile(); });
    addShortcut(QKeySequence(Qt::Key_F5), [this] { OnAutoComplete(); });

    const QString markTip = UiText(" 右键单击切换(自动)标记.");
    const std::pair<CStyledButton*, QString> tips[] = {
        {m_btnDetect, UiText("检测器件, 读出特征字并选中该器件.")},
        {m_btnOpen, UiText("打开映像文件, 读入缓冲1(Ctrl+O).") + markTip},
        {m_btnSave, UiText("把缓冲2保存到文件(Ctrl+S).")},
        {m_btnErase, UiText("擦除器件.") + markTip},
        {m_btnWrite, UiText("把缓冲1写入器件.") + markTip},
        {m_btnRead, UiText("读出器件到缓冲2.") + markTip},
        {m_btnVerify, UiText("读回器件并与缓冲1逐字节比较.") + markTip},
        {m_btnAuto, UiText("依次执行带(自动)标记的各步(Enter, F5或热键).")},
        {m_btnWriteLock, UiText("按所选加密级别写锁定位.")},
    };
    for (const auto& [button, tip] : tips) button->setToolTip(tip);
}

void CMainDlg::PlaceTabs() {
    const CDialogUnits units(fontMetrics());
    const int left = units.X(kTabLeft);
    const int top = units.Y(kTabTop);
    const int w = width() - left - units.X(kTabMargin);
    const int line = m_lblProduction ? m_lblProduction->sizeHint().height() : 0;
    const int h = height() - top - units.Y(kTabMargin) - line;
    m_tab->setGeometry(left, top, w, h);
    if (m_lblProduction) m_lblProduction->setGeometry(left, top + h, w, line);
}

void CMainDlg::ShowProductionLine(const QString& text) {
    if (!m_lblProduction) {
        m_lblProduction = new QLabel(this);
        m_lblProduction->setObjectName(QStringLiteral("m_lblProduction"));
        m_lblProduction->show();
    }
    m_lblProduction->setText(text);
    PlaceTabs();
}

void CMainDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceTabs();
}

void CMainDlg::RestoreGeometry() {
    const std::string path = SettingsPath();
    const int w = platform::GetProfileInt(kWindowSection, "Width", 0, path);
    const int h = platform::GetProfileInt(kWindowSection, "Height", 0, path);
    if (w > 0 && h > 0) resize(std::max(w, minimumWidth()), std::max(h, minimumHeight()));
    if (platform::GetProfileInt(kWindowSection, "Maximized", 0, path) != 0) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CMainDlg::StoreGeometry() const {
    const std::string path = SettingsPath();
    // A maximised window keeps the size it had before, for the next time it is restored.
    const QSize size = isMaximized() ? normalGeometry().size() : this->size();
    if (size.isValid()) {
        platform::WriteProfileString(kWindowSection, "Width", std::to_string(size.width()), path);
        platform::WriteProfileString(kWindowSection, "Height", std::to_string(size.height()), path);
    }
    platform::WriteProfileString(kWindowSection, "Maximized", isMaximized() ? "1" : "0", path);
}

void CMainDlg::SetHexColumns(int bytes) {
    m_hexBuffer1->SetBytesPerRow(bytes);
    m_hexBuffer2->SetBytesPerRow(bytes);
}

void CMainDlg::ChooseHexColumns(int bytes) {
    SetHexColumns(bytes);
    platform::WriteProfileString(kWindowSection, kHexColumnsKey,
                                 std::to_string(m_hexBuffer1->Layout().BytesPerRow()),
                                 SettingsPath());
}

void CMainDlg::AlignAddressColumns() {
    const int digits = std::max(CHexLayout::DigitsFor(m_hexBuffer1->DataLength()),
                                CHexLayout::DigitsFor(m_hexBuffer2->DataLength()));
    m_hexBuffer1->SetMinAddressDigits(digits);
    m_hexBuffer2->SetMinAddressDigits(digits);
}

void CMainDlg::OnBuffer1Update(int offset) {
    if (offset < 0 || offset >= std::min(m_hexBuffer1->DataLength(), kImageBufferSize)) return;
    m_pSession->m_programmer.m_pBuffer1[size_t(offset)] = m_hexBuffer1->Data()[offset];
}

void CMainDlg::FlashProgress() {
    m_progress->SetFlashing(true);
    m_progress->show();
    QTimer::singleShot(kFlashMs, m_progress, [this] {
        m_progress->SetFlashing(false);
        // Until the first progress event the bar stays hidden, as before the flash.
        m_progress->setVisible(m_bProgressShown);
    });
}

CStyledButton* CMainDlg::ButtonOf(SessionButton button) const {
    switch (button) {
        case SessionButton::Detect:
            return m_btnDetect;
        case SessionButton::Open:
            return m_btnOpen;
        case SessionButton::Save:
            return m_btnSave;
        case SessionButton::Erase:
            return m_btnErase;
        case SessionButton::Write:
            return m_btnWrite;
        case SessionButton::Read:
            return m_btnRead;
        case SessionButton::Verify:
            return m_btnVerify;
        case SessionButton::Auto:
            return m_btnAuto;
        case SessionButton::WriteLock:
            return m_btnWriteLock;
    }
    return nullptr;
}

void CMainDlg::ShowTabPage(int tab) {
    m_nCurTab = tab;
    if (tab >= 0 && tab < m_tab->count()) {
        m_tab->setCurrentIndex(tab);
    }
}

void CMainDlg::OnTabChanged(int tab) {
    ShowTabPage(tab);
}

// ---- commands ----

QString CMainDlg::ChooseFile(QFileDialog*& dialog, QFileDialog::AcceptMode mode,
                             const QStringList& filters) {
    if (std::optional<QString> scripted = CDialogScript::TakeNextFileName()) {
        return *scripted;
    }
    if (dialog == nullptr) {
        dialog = new QFileDialog(this);
        dialog->setAcceptMode(mode);
        dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
        dialog->setNameFilters(filters);
        dialog->setDefaultSuffix(QStringLiteral("bin"));
    }
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
}

QString CMainDlg::OpenFilter() {
    return UiText(
        "全部映像文件(*.bin *.hex *.ihx)|*.bin;*.hex;*.ihx|"
        "二进制文件(*.bin)|*.bin|Intel Hex文件(*.hex)|*.hex|");
}

CLastFileDialog* CMainDlg::OpenDialog() {
    if (m_pOpenDialog == nullptr) {
        m_pOpenDialog = new CLastFileDialog(QStringLiteral("bin"), OpenFilter(), this);
    }
    return m_pOpenDialog;
}

void CMainDlg::OnOpenFile() {
    if (!m_btnOpen->AcceptsClicks()) {
        return;
    }
    std::optional<QString> path = CDialogScript::TakeNextFileName();
    if (path && path->isEmpty()) return;  // a scripted Cancel
    if (!path) {
        if (OpenDialog()->DoModal() != QDialog::Accepted) return;
        // An empty recent row is a choice too: its load reports that no file is chosen.
        path = FromUtf8(m_pOpenDialog->GetChosenPath());
    }
    m_pSession->OpenFile(ToLocalPath(*path));
}

bool CMainDlg::OpenGivenFile(const QString& path) {
    if (!m_btnOpen->AcceptsClicks()) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    OpenDialog()->Remember(full.toStdString());
    m_pSession->OpenFile(ToLocalPath(full));
    return true;
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile() && m_btnOpen->AcceptsClicks()) {
        event->acceptProposedAction();
    }
}

void CMainDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile() &&
        OpenGivenFile(urls.first().toLocalFile())) {
        event->acceptProposedAction();
    }
}

void CMainDlg::OnSaveFile() {
    if (!m_btnSave->AcceptsClicks()) {
        return;
    }
    const QString path =
        ChooseFile(m_pSaveDialog, QFileDialog::AcceptSave, {UiText("二进制文件(*.bin)")});
    if (!path.isEmpty()) {
        m_pSession->SaveFile(ToLocalPath(path));
    }
}

void CMainDlg::OnAutoComplete() {
    if (!m_btnAuto->AcceptsClicks()) return;
    // Set first: a chain that stops at its first step ends within the call.
    m_bChainRunning = true;
    m_pSession->OnAutoComplete();
}

void CMainDlg::ShowChainResult(bool ok) {
    ShowProgress();
    m_progress->SetWindowText(ok ? UiText("自动完成成功.") : UiText("自动完成失败."));
    m_progress->SetPos(100);
    m_progress->SetFailed(!ok);
}

void CMainDlg::OnMoreDevices() {
    // A missing program is not reported: the link simply does nothing then. The editor speaks
    // the window's language.
    const bool chinese = platform::CurrentLanguage() == platform::Language::Chinese;
    QProcess::startDetached(
        QString::fromStdString(platform::g_strAppDir) + QStringLiteral("partwright"),
        {QStringLiteral("--lang"), chinese ? QStringLiteral("zh") : QStringLiteral("en")});
}

void CMainDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // Enter is the dialog's OK command, which runs auto-complete instead of closing.
        OnAutoComplete();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMainDlg::reject() {
    m_pSettings->StoreChoices();
    m_pSession->SaveSettings();
    StoreGeometry();
    QDialog::reject();
}

// ---- events and cross-thread calls ----

void CMainDlg::PostProgrammerEvent(int code) {
    if (!m_bClosing) {
        auto* message = new CProgrammerEventMsg(code);
        // Qt's posted-event queue hands the event over under a lock inside Qt, out of sight of
        // the thread checker; this count makes the same hand-over explicit, so the event and
        // everything the worker wrote before it are seen as published to the UI thread.
        m_nEventsPosted.fetch_add(1, std::memory_order_release);
        QCoreApplication::postEvent(this, message);
    }
}

void CMainDlg::customEvent(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_PROGRAMMER_EVENT)) {
        m_pSession->OnProgrammerEvent(static_cast<CProgrammerEventMsg*>(event)->Code());
        return;
    }
    QDialog::customEvent(event);
}

bool CMainDlg::event(QEvent* event) {
    (void)m_nEventsPosted.load(std::memory_order_acquire);  // pairs with PostProgrammerEvent
    if (IsAutoCompleteHotkey(event) && m_btnAuto->AcceptsClicks()) {
        OnAutoComplete();
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::InsertChipItem(int index, const std::string& name) {
    m_cmbChip->insertItem(index, FromUtf8(name));
}

void CMainDlg::SelectChipItem(int index) {
    if (QThread::currentThread() == thread()) {
        SelectChip(index);
    } else {
        CallOnUiThread([this, index] { SelectChip(index); });
    }
}

bool CMainDlg::CallOnUiThread(const std::function<void()>& call) {
    {
        std::lock_guard lock(m_closeMutex);
        if (m_bClosing) {
            return false;
        }
        ++m_nCallsWaiting;
    }
    QMetaObject::invokeMethod(
        this,
        [this, &call] {
            if (!m_bClosing) {
                call();
            }
        },
        Qt::BlockingQueuedConnection);
    std::lock_guard lock(m_closeMutex);
    --m_nCallsWaiting;
    return true;
}

void CMainDlg::BeginClosing() {
    {
        std::lock_guard lock(m_closeMutex);
        m_bClosing = true;
    }
    // Calls already on their way are delivered now, find the window closing and return, so that
    // no worker stays blocked on the UI thread while the session joins it.
    for (;;) {
        {
            std::lock_guard lock(m_closeMutex);
            if (m_nCallsWaiting == 0) {
                break;
            }
        }
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        std::this_thread::yield();
    }
}

void CMainDlg::ShowMessage(const std::string& text, const std::string& caption,
                           platform::MessageIcon icon) {
    auto show = [&] {
        if (m_bClosing) {
            return;
        }
        if (const CDialogScript::MessageRecorder& recorder = CDialogScript::Recorder()) {
            recorder(FromUtf8(text), FromUtf8(caption));
            return;
        }
        QMessageBox box(BoxIconOf(icon), FromUtf8(caption), FromUtf8(text), QMessageBox::Ok, this);
        box.exec();
    };
    if (QThread::currentThread() == thread()) {
        show();
    } else {
        CallOnUiThread(show);
    }
}

// ---- ISessionView ----

void CMainDlg::AddLogLine(int index, const std::string& text) {
    if (m_nCurTab != kStatusTab) {
        ShowTabPage(kStatusTab);
    }
    InsertLogLine(index, FromUtf8(text));
    m_lstStatus->setCurrentRow(index);
}

void CMainDlg::InsertVerifyLine(int index, const std::string& text) {
    InsertLogLine(index, FromUtf8(text));
}

void CMainDlg::InsertLogLine(int index, const QString& line) {
    m_pLogRows->Measure(line, QFontMetricsF(m_lstStatus->font()));
    m_lstStatus->insertItem(index, line);
}

void CMainDlg::ClearLog() {
    m_lstStatus->clear();
    m_pLogRows->Forget();
}

void CMainDlg::ShowProgress() {
    m_bProgressShown = true;
    m_progress->show();
}

void CMainDlg::SetProgress(int position, const std::string& text) {
    m_progress->SetFailed(false);
    m_progress->SetWindowText(FromUtf8(text));
    m_progress->SetPos(position);
}

void CMainDlg::ShowBuffer1(const std::uint8_t* data, int length) {
    m_hexBuffer1->SetData(data, length);
    AlignAddressColumns();
}

void CMainDlg::ShowBuffer2(const std::uint8_t* data, int length) {
    m_hexBuffer2->SetData(data, length);
    AlignAddressColumns();
}

namespace {

int CopyView(const CHexView& view, std::uint8_t* dest, int maxLength) {
    const int count = std::clamp(view.DataLength(), 0, std::max(maxLength, 0));
    if (count > 0) {
        std::memcpy(dest, view.Data(), size_t(count));
    }
    return count;
}

}  // namespace

int CMainDlg::CopyBuffer1View(std::uint8_t* dest, int maxLength) {
    return CopyView(*m_hexBuffer1, dest, maxLength);
}

int CMainDlg::CopyBuffer2View(std::uint8_t* dest, int maxLength) {
    return CopyView(*m_hexBuffer2, dest, maxLength);
}

void CMainDlg::EnableButtons(bool enable) {
    for (CStyledButton* button : {m_btnDetect, m_btnOpen, m_btnSave, m_btnErase, m_btnWrite,
                                  m_btnRead, m_btnVerify, m_btnAuto, m_btnWriteLock}) {
        button->SetBusy(false);
        button->SetAcceptClicks(enable);
    }
    // A running operation may be reading Buffer 1, which the view's edits go straight into.
    m_hexBuffer1->SetReadOnly(!enable);
    m_cmbChip->setEnabled(enable);
    m_cmbLockBit->setEnabled(enable);
}

void CMainDlg::ShowBusyIcon(SessionButton button) {
    ButtonOf(button)->SetBusy(true);
}

bool CMainDlg::AutoMark(SessionButton button) const {
    return ButtonOf(button)->IsAutoMarked();
}

void CMainDlg::SetAutoMark(SessionButton button, bool marked) {
    ButtonOf(button)->SetAutoMark(marked);
}

int CMainDlg::ChipSelection() const {
    return m_cmbChip->currentIndex();
}

void CMainDlg::SelectChip(int index) {
    m_cmbChip->setCurrentIndex(index >= 0 && index < m_cmbChip->count() ? index : -1);
}

int CMainDlg::LockBitSelection() const {
    return m_cmbLockBit->currentIndex();
}

void CMainDlg::SignalSuccess() {
    emit successSignalled();
}

void CMainDlg::SignalFailure() {
    emit failureSignalled();
}

void CMainDlg::SequenceEnded(bool ok) {
    if (m_bChainRunning) {
        m_bChainRunning = false;
        ShowChainResult(ok);
    }
    emit sequenceEnded(ok);
}
