#include "ui/CMainDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "core/ProgrammerEvents.h"
#include "platform/AppPaths.h"
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

// A group label of the left column: its caption and the etched line after it.
void AddGroupLabel(QWidget* parent, const CDialogUnits& units, const QString& caption, int y) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(units.Rect(15, y, 16, 8).adjusted(0, 0, units.X(4), 0));
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(units.X(36), units.Y(y + 4), units.X(91), 2);
}

}  // namespace

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
        setWindowTitle(windowTitle() + QStringLiteral(" - 模拟器件") +
                       QString::fromStdString(simulated));
    }
    if (m_pSession->Settings().bUseHotkey) m_pSettings->EnableHotkey(true);
    ConnectCommands();
}

void CMainDlg::BuildControls() {
    setWindowTitle(QStringLiteral("Vessan - Olstrin %1").arg(QStringLiteral(OLSTRIN_VERSION)));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const CDialogUnits units(fontMetrics());
    setFixedSize(units.X(378), units.Y(261));

    // A combo box keeps its natural height; the template's height is that of its open list.
    auto placeCombo = [&](QComboBox* combo, int x, int y, int width) {
        const QRect rect = units.Rect(x, y, width, 12);
        combo->setGeometry(rect.x(), rect.y(), rect.width(), combo->sizeHint().height());
    };
    auto makeButton = [&](const char* caption, int x, int y, int width, int height) {
        auto* button = new CStyledButton(QString::fromUtf8(caption), this);
        button->setGeometry(units.Rect(x, y, width, height));
        return button;
    };

    m_cmbChip = new QComboBox(this);
    placeCombo(m_cmbChip, 14, 8, 71);
    m_btnDetect = makeButton("检测器件", 90, 8, 42, 14);

    auto* about = new QPushButton(QStringLiteral("&About Ulvo..."), this);
    about->setFlat(true);
    about->setAutoDefault(false);
    about->setGeometry(units.Rect(3, 28, 58, 12));
    connect(about, &QPushButton::clicked, this, &CMainDlg::OnAbout);

    m_linkMoreDevices = new QLabel(QStringLiteral("<a href=\"partwright\">更多器件...</a>"), this);
    m_linkMoreDevices->setGeometry(units.Rect(65, 29, 55, 11));
    connect(m_linkMoreDevices, &QLabel::linkActivated, this, &CMainDlg::OnMoreDevices);

    AddGroupLabel(this, units, QStringLiteral("操作"), 43);
    m_btnOpen = makeButton("打开文件", 7, 56, 127, 19);
    m_btnSave = makeButton("保存文件", 7, 75, 127, 19);
    m_btnErase = makeButton("檫除器件", 7, 95, 127, 19);
    m_btnWrite = makeButton("写器件", 7, 115, 127, 19);
    m_btnRead = makeButton("读器件", 7, 135, 127, 19);
    m_btnVerify = makeButton("效验数据", 7, 155, 127, 19);
    m_btnAuto = makeButton("自动完成", 7, 175, 127, 19);

    AddGroupLabel(this, units, QStringLiteral("加密"), 200);
    m_cmbLockBit = new QComboBox(this);
    placeCombo(m_cmbLockBit, 17, 215, 63);
    m_btnWriteLock = makeButton("写锁定位", 85, 215, 43, 14);

    m_progress = new CTextProgressCtrl(this);
    m_progress->setGeometry(units.Rect(10, 237, 120, 20));

    // The tab widget places the pages itself.
    m_tab = new QTabWidget(this);
    m_tab->setGeometry(units.Rect(167, 1, 209, 258));
    m_hexBuffer1 = new CHexView(m_tab);
    m_hexBuffer2 = new CHexView(m_tab);
    m_lstStatus = new QListWidget(m_tab);
    m_lstStatus->setUniformItemSizes(true);
    m_lstStatus->setSortingEnabled(false);
    m_pSettingsPage = new QWidget(m_tab);
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
    m_tab->addTab(m_hexBuffer1, QStringLiteral("缓冲1"));
    m_tab->addTab(m_hexBuffer2, QStringLiteral("缓冲2"));
    m_tab->addTab(m_lstStatus, QStringLiteral("状态"));
    m_tab->addTab(m_pSettingsPage, QStringLiteral("设置"));
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
    for (const Style& style : styles) {
        style.button->Setup(this, style.markable, style.iconSwitching, style.normalIcon,
                            style.busyIcon);
    }
}

void CMainDlg::ConnectCommands() {
    CProgrammingSession* session = m_pSession.get();
    auto onClick = [this](CStyledButton* button, auto handler) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    onClick(m_btnDetect, [session] { session->OnDetect(); });
    onClick(m_btnErase, [session] { session->OnErase(); });
    onClick(m_btnWrite, [session] { session->OnWrite(); });
    onClick(m_btnRead, [session] { session->OnRead(); });
    onClick(m_btnVerify, [session] { session->OnVerify(); });
    onClick(m_btnAuto, [session] { session->OnAutoComplete(); });
    onClick(m_btnWriteLock, [session] { session->OnWriteLockBits(); });
    onClick(m_btnOpen, [this] { OnOpenFile(); });
    onClick(m_btnSave, [this] { OnSaveFile(); });
    connect(m_tab, &QTabWidget::currentChanged, this, &CMainDlg::OnTabChanged);
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

void CMainDlg::OnOpenFile() {
    if (!m_btnOpen->AcceptsClicks()) {
        return;
    }
    std::optional<QString> path = CDialogScript::TakeNextFileName();
    if (!path) {
        if (m_pOpenDialog == nullptr) {
            m_pOpenDialog = new CLastFileDialog(
                QStringLiteral("bin"),
                QStringLiteral("二进制文件(*.bin)|*.bin|Intel Hex文件(*.hex)|*.hex|"), this);
        }
        if (m_pOpenDialog->DoModal() != QDialog::Accepted) return;
        path = FromUtf8(m_pOpenDialog->GetChosenPath());
    }
    if (!path->isEmpty()) {
        m_pSession->OpenFile(ToLocalPath(*path));
    }
}

void CMainDlg::OnSaveFile() {
    if (!m_btnSave->AcceptsClicks()) {
        return;
    }
    const QString path =
        ChooseFile(m_pSaveDialog, QFileDialog::AcceptSave, {QStringLiteral("二进制文件(*.bin)")});
    if (!path.isEmpty()) {
        m_pSession->SaveFile(ToLocalPath(path));
    }
}

void CMainDlg::OnMoreDevices() {
    // A missing program is not reported: the link simply does nothing then.
    QProcess::startDetached(
        QString::fromStdString(platform::g_strAppDir) + QStringLiteral("partwright"), {});
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
        m_pSession->OnAutoComplete();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMainDlg::reject() {
    m_pSettings->StoreChoices();
    m_pSession->SaveSettings();
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
        m_pSession->OnAutoComplete();
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
    m_lstStatus->insertItem(index, FromUtf8(text));
    m_lstStatus->setCurrentRow(index);
}

void CMainDlg::InsertVerifyLine(int index, const std::string& text) {
    m_lstStatus->insertItem(index, FromUtf8(text));
}

void CMainDlg::ClearLog() {
    m_lstStatus->clear();
}

void CMainDlg::ShowProgress() {
    m_progress->show();
}

void CMainDlg::SetProgress(int position, const std::string& text) {
    m_progress->SetWindowText(FromUtf8(text));
    m_progress->SetPos(position);
}

void CMainDlg::ShowBuffer1(const std::uint8_t* data, int length) {
    m_hexBuffer1->SetData(data, length);
}

void CMainDlg::ShowBuffer2(const std::uint8_t* data, int length) {
    m_hexBuffer2->SetData(data, length);
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
    emit sequenceEnded(ok);
}
