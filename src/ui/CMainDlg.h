#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "core/IProgrammerOwner.h"
#include "platform/MessageBox.h"
#include "session/CProgrammingSession.h"
#include "session/ISessionView.h"

class QComboBox;
class QLabel;
class QListWidget;
class QTabWidget;
class CDialogUnits;
class CHexView;
class CLogRowDelegate;
class CLastFileDialog;
class CSettingsGrid;
class CStyledButton;
class CTextProgressCtrl;

// The program's one window: chip choice, operation buttons, progress bar and the tabbed buffer,
// status and settings pages. It shows a CProgrammingSession, which it owns and which holds all
// of the sequencing, and receives the programmer's events, which workers post to it. Created,
// used and destroyed on the UI thread; PostProgrammerEvent and SelectChipItem may be called from
// any thread until destruction begins.
class CMainDlg : public QDialog, public ISessionView, public IProgrammerOwner {
    Q_OBJECT

public:
    // Builds the window and starts the session: settings from Dranvik.ini, the programmer of the
    // stored type with backends from the factory, the chip list.
    explicit CMainDlg(BackendFactory factory, QWidget* parent = nullptr);
    ~CMainDlg() override;

    CProgrammingSession& Session() { return *m_pSession; }

    // The tab in front, as remembered by ShowTabPage (-1 before the first).
    int CurrentTab() const { return m_nCurTab; }
    // Selects tab 0..3 ("缓冲1", "缓冲2", "状态", "设置") and remembers it.
    void ShowTabPage(int tab);

    // The empty page of the "设置" tab, for the settings grid.
    QWidget* SettingsPage() const { return m_pSettingsPage; }
    CSettingsGrid& SettingsGrid() { return *m_pSettings; }

    // Loads a file named outside the Open dialog (a drop, the command line) as the Open command
    // does, recent list included. False when the window is busy and the file was not taken.
    bool OpenGivenFile(const QString& path);

    // The open dialog's filter: every loadable image first, then the binary and HEX entries.
    static QString OpenFilter();

    // IProgrammerOwner
    void PostProgrammerEvent(int code) override;
    void InsertChipItem(int index, const std::string& name) override;
    void SelectChipItem(int index) override;

    // ISessionView
    void AddLogLine(int index, const std::string& text) override;
    void InsertVerifyLine(int index, const std::string& text) override;
    void ClearLog() override;
    void ShowProgress() override;
    void SetProgress(int position, const std::string& text) override;
    void ShowBuffer1(const std::uint8_t* data, int length) override;
    void ShowBuffer2(const std::uint8_t* data, int length) override;
    int CopyBuffer1View(std::uint8_t* dest, int maxLength) override;
    int CopyBuffer2View(std::uint8_t* dest, int maxLength) override;
    void EnableButtons(bool enable) override;
    void ShowBusyIcon(SessionButton button) override;
    bool AutoMark(SessionButton button) const override;
    // A line under the pages (made the first time), for a production project's counts.
    void ShowProductionLine(const QString& text);
    // The auto-complete chain is running.
    bool ChainRunning() const { return m_bChainRunning; }
    void SetAutoMark(SessionButton button, bool marked) override;
    int ChipSelection() const override;
    void SelectChip(int index) override;
    int LockBitSelection() const override;
    void SignalSuccess() override;
    void SignalFailure() override;
    void SequenceEnded(bool ok) override;

signals:
    // The prompts that end a sequence; the sound prompts attach here.
    void successSignalled();
    void failureSignalled();
    // A sequence is over (after its prompt, if any).
    void sequenceEnded(bool ok);

public slots:
    // Esc and the close box: store the settings, then close.
    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The global hotkey's message runs auto-complete; every other event passes on.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The controls of the window, group by group as the template places them.
    void BuildControls();
    void BuildChipRow(const CDialogUnits& units);
    void BuildOperationColumn(const CDialogUnits& units);
    void BuildLockGroup(const CDialogUnits& units);
    void BuildTabs();
    void NameControls();
    void StyleButtons();
    void ConnectCommands();
    void OnInitDialog();
    void AddShortcutsAndTips();
    // The window's size and maximised state from the settings file, and back.
    void RestoreGeometry();
    void StoreGeometry() const;
    // Both hex views show the bytes a row (8 or 16); the user's choice is also stored.
    void SetHexColumns(int bytes);
    void ChooseHexColumns(int bytes);
    // Both hex views give their addresses as many digits as the longer of the two needs.
    void AlignAddressColumns();
    // Places the tab control over the room right of the left column.
    void PlaceTabs();
    // The Open dialog, made on first use and then kept.
    CLastFileDialog* OpenDialog();
    // A user edit of the Buffer 1 view goes straight into Buffer 1, so that write, verify and
    // save all see the same bytes the view shows.
    void OnBuffer1Update(int offset);
    // Failure made visible in an active window too: the progress bar turns red for a moment.
    void FlashProgress();
    // Inserts a status-log row, widening the rows to the line when it is the widest yet.
    void InsertLogLine(int index, const QString& line);
    CStyledButton* ButtonOf(SessionButton button) const;

    // The file the user picks in the dialog (made on first use, then kept), or the scripted
    // answer; empty when cancelled.
    QString ChooseFile(QFileDialog*& dialog, QFileDialog::AcceptMode mode,
                       const QStringList& filters);
    void OnOpenFile();
    void OnSaveFile();
    // Auto-complete from the button, Enter, F5 or the hotkey; its end shows in the progress bar.
    void OnAutoComplete();
    // The chain's outcome as the bar's caption: passed in the bar's colours, failed in red.
    void ShowChainResult(bool ok);
    void OnMoreDevices();
    void OnAbout();
    void OnTabChanged(int tab);

    // Shows a modal message box for platform::ShowMessageBox, on the UI thread whichever thread
    // asks; returns at once once closing has begun.
    void ShowMessage(const std::string& text, const std::string& caption,
                     platform::MessageIcon icon);
    // Runs a call on the UI thread and waits for it; false (not run) once closing has begun.
    bool CallOnUiThread(const std::function<void()>& call);
    // Stops cross-thread calls: later ones return at once, and those already waiting are
    // released before the session and its workers are destroyed.
    void BeginClosing();

    QComboBox* m_cmbChip = nullptr;
    CStyledButton* m_btnDetect = nullptr;
    QLabel* m_linkMoreDevices = nullptr;
    CStyledButton* m_btnOpen = nullptr;
    CStyledButton* m_btnSave = nullptr;
    CStyledButton* m_btnErase = nullptr;
    CStyledButton* m_btnWrite = nullptr;
    CStyledButton* m_btnRead = nullptr;
    CStyledButton* m_btnVerify = nullptr;
    CStyledButton* m_btnAuto = nullptr;
    QComboBox* m_cmbLockBit = nullptr;
    CStyledButton* m_btnWriteLock = nullptr;
    CTextProgressCtrl* m_progress = nullptr;
    QTabWidget* m_tab = nullptr;
    CHexView* m_hexBuffer1 = nullptr;
    CHexView* m_hexBuffer2 = nullptr;
    QListWidget* m_lstStatus = nullptr;
    QLabel* m_lblProduction = nullptr;      // only with a production project
    CLogRowDelegate* m_pLogRows = nullptr;  // owned by m_lstStatus
    QWidget* m_pSettingsPage = nullptr;
    CLastFileDialog* m_pOpenDialog = nullptr;
    QFileDialog* m_pSaveDialog = nullptr;

    // Not 2, so that the first status line brings the status page to the front.
    int m_nCurTab = -1;
    // The progress bar has been shown by a progress event (it stays visible from then on).
    bool m_bProgressShown = false;
    // An auto-complete chain is running: the end of the sequence is its result.
    bool m_bChainRunning = false;

    // Cross-thread calls in progress, and whether closing has begun; guarded by m_closeMutex.
    std::mutex m_closeMutex;
    int m_nCallsWaiting = 0;
    std::atomic<bool> m_bClosing{false};
    std::atomic<unsigned> m_nEventsPosted{0};  // programmer events posted from any thread

    std::unique_ptr<CProgrammingSession> m_pSession;
    // The settings page; it edits the session's working settings, so it goes first.
    std::unique_ptr<CSettingsGrid> m_pSettings;
};
