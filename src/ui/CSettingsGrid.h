#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "session/SettingsRecord.h"
#include "ui/CPropertyGrid.h"

class QWidget;

// The settings page: the property grid with the programmer's four hardware choices and the three
// system options, kept in step with the working settings; the hotkey registration and the hotkey
// change dialog; the success and failure prompts. The main window holds one for its whole life.
// UI thread only.
class CSettingsGrid : public QObject {
    Q_OBJECT
public:
    using LogSink = std::function<void(const std::string& line)>;

    // mainWindow: the window the hotkey is registered for, the prompts flash and the hotkey dialog
    // belongs to. page: the widget the grid fills (the "设置" tab's page), which owns it.
    // working: the session's working settings, which the options change at once and the four
    // getters refresh; it must outlive this object. addLog writes one status-log line.
    CSettingsGrid(QWidget* mainWindow, QWidget* page, SettingsRecord& working, LogSink addLog);
    // Unregisters the hotkey.
    ~CSettingsGrid() override;

    CPropertyGrid* Grid() const { return m_pGrid; }

    // Shows the working settings just loaded. With a stored record: the type (logging its text),
    // the port, baud rate and speed, the three options, then the returning-user welcome line.
    // Without one: only the first-start welcome line; the grid keeps its initial look.
    void ShowSettings(bool recordFound);
    // Reads the four choices into the working settings, before the session saves them, and
    // writes a changed ISP link choice to [Devices] ISP= of Dranvik.ini.
    void StoreChoices();

    // Shown-value setters of the drop-down items; a value outside the range changes nothing
    // (an invalid programmer type also shows "请正确选择编程器类型!").
    void SetProgrammerType(int type);
    void SetComPort(int port);  // 1..4
    void SetBaudIndex(int index);
    void SetSpeedIndex(int index);
    // Current-choice getters; each also stores its result as the working value.
    int GetProgrammerType();
    int GetComPort();  // choice + 1
    int GetBaudIndex();
    int GetSpeedIndex();

    // The grid's notification: a changed option takes effect at once; "使用热键" set to "True"
    // runs the hotkey change.
    void OnGridItemChanged(GridNotification code, CPropertyGridItem* item);

    // Registers (on) or unregisters (off) the working hotkey for the main window.
    void EnableHotkey(bool on);
    // Unregisters, asks for a new hotkey with the hotkey dialog, keeps the answer on OK, and
    // registers again whatever the answer.
    void ChangeHotkey();
    // Non-zero while a hotkey is registered.
    int HotkeyRegistration() const { return m_nHotkeyResult; }

    // Sound of a successful run, when sound prompts are on.
    void SignalSuccess();
    // Sound of a failed run, when sound prompts are on, and one short flash of the main window
    // in any case.
    void SignalFailure();
    // Replaces the window flash (tests observe it); an empty function restores it.
    void SetFlashHandler(std::function<void()> flash);

    // The two welcome lines.
    static const char* FirstStartWelcome();
    static const char* WelcomeBack();

private:
    void BuildGrid();
    // The ISP link row: "无" (the programmer type above), the devices found now, and the stored
    // choice when its device is not plugged in.
    void BuildIspItem(CPropertyGridItem* category);
    void StoreIspChoice();
    CPropertyGridItem* AddChoiceItem(CPropertyGridItem* category, const char* caption,
                                     const char* description,
                                     std::initializer_list<const char*> choices);
    CPropertyGridItemBool* AddOptionItem(CPropertyGridItem* category, const char* caption,
                                         const char* description);
    void FlashWindow();

    QWidget* m_pMainWindow;
    SettingsRecord& m_working;
    LogSink m_addLog;
    std::function<void()> m_flash;
    CPropertyGrid* m_pGrid;
    CPropertyGridItem* m_pItemType = nullptr;
    CPropertyGridItem* m_pItemPort = nullptr;
    CPropertyGridItem* m_pItemBaud = nullptr;
    CPropertyGridItem* m_pItemSpeed = nullptr;
    CPropertyGridItem* m_pItemIsp = nullptr;
    std::vector<std::string> m_ispWords;  // the ISP= word of each choice of m_pItemIsp
    std::string m_strStoredIsp;           // ISP= as the settings file held it at the start
    CPropertyGridItemBool* m_pItemDetect = nullptr;
    CPropertyGridItemBool* m_pItemSound = nullptr;
    CPropertyGridItemBool* m_pItemHotkey = nullptr;
    int m_nHotkeyResult = 0;
};
