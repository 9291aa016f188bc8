#include "ui/CSettingsGrid.h"

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <utility>

#include "isp/PortListing.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Tone.h"
#include "ui/CHotkeyDlg.h"
#include "ui/GlobalHotkey.h"
#include "ui/UiText.h"

namespace {

constexpr const char* kCaptionType = N_("编程器类型");
constexpr const char* kCaptionPort = N_("串口");
constexpr const char* kCaptionBaud = N_("波特率");
constexpr const char* kCaptionSpeed = N_("下载线性能");
constexpr const char* kCaptionIsp = N_("ISP编程器");
constexpr const char* kCaptionDetect = N_("自动检测器件");
constexpr const char* kCaptionSound = N_("使用声音提示");
constexpr const char* kCaptionHotkey = N_("使用热键");

// What the type item shows, and the status log says, for a stored type. Two differ from the
// drop-down's entries of the same index.
constexpr std::array<const char*, 5> kTypeShownTexts{
    N_("使用Brundlex串行编程器"),          N_("使用Kestavo下载线"),
    N_("使用Atmel ByteBlaster 下载线"),    N_("使用Altera ByteBlasterMV 下载线"),
    N_("使用Altera ByteBlasterII 下载线"),
};
constexpr std::array<const char*, 4> kPortTexts{"COM 1", "COM 2", "COM 3", "COM 4"};
constexpr std::array<const char*, 4> kBaudTexts{"9600", "19200", "28800", "57600"};
constexpr std::array<const char*, 3> kSpeedTexts{N_("一般"), N_("较快"), N_("最快")};

// The window flash of a failed run: one short alert, not one that lasts until activation.
constexpr int kFlashMs = 400;

// The grid's texts in the chosen language; the item lookups compare these too.
QString Utf8(const char* text) {
    return UiText(text);
}

// Shows texts[index] on the item and makes that choice current; false when index is outside.
template <std::size_t N>
bool ShowChoice(CPropertyGridItem* item, const std::array<const char*, N>& texts, int index) {
    if (index < 0 || index >= static_cast<int>(N)) return false;
    item->SetValue(Utf8(texts[static_cast<std::size_t>(index)]));
    item->GetConstraints()->SetCurrent(index);
    return true;
}

}  // namespace

CSettingsGrid::CSettingsGrid(QWidget* mainWindow, QWidget* page, SettingsRecord& working,
                             LogSink addLog)
    : m_pMainWindow(mainWindow),
      m_working(working),
      m_addLog(std::move(addLog)),
      m_pGrid(new CPropertyGrid(page)) {
    m_pGrid->setObjectName(QStringLiteral("settingsGrid"));
    auto* fill = new QVBoxLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(m_pGrid);
    BuildGrid();
    // Queued, so that a reaction that opens a dialog runs after the grid's editor has closed.
    connect(m_pGrid, &CPropertyGrid::Notify, this, &CSettingsGrid::OnGridItemChanged,
            Qt::QueuedConnection);
}

CSettingsGrid::~CSettingsGrid() {
    EnableHotkey(false);
}

CPropertyGridItem* CSettingsGrid::AddChoiceItem(CPropertyGridItem* category, const char* caption,
                                                const char* description,
                                                std::initializer_list<const char*> choices) {
    CPropertyGridItem* item =
        category->AddChildItem(std::make_unique<CPropertyGridItem>(Utf8(caption)));
    item->SetDescription(Utf8(description));
    for (const char* choice : choices) item->GetConstraints()->AddConstraint(Utf8(choice));
    item->SetFlags(CPropertyGridItem::kFlagListOnly);
    return item;
}

CPropertyGridItemBool* CSettingsGrid::AddOptionItem(CPropertyGridItem* category,
                                                    const char* caption, const char* description) {
    auto owned = std::make_unique<CPropertyGridItemBool>(Utf8(caption), true);
    CPropertyGridItemBool* item = owned.get();
    category->AddChildItem(std::move(owned));
    item->SetDescription(Utf8(description));
    return item;
}

void CSettingsGrid::BuildGrid() {
    CPropertyGridItem* programmer = m_pGrid->AddCategory(UiText("编程器"));
    m_pItemType = AddChoiceItem(
        programmer, kCaptionType, N_("选择Olstrin串行编程器还是并口下载线?(重启程序生效)"),
        {N_("使用Olstrin串行编程器"), N_("使用Kestavo下载线"), N_("使用Atmel ByteBlaster下载线"),
         N_("使用Altera ByteBlasterMV 下载线"), N_("使用Altera ByteBlasterII 下载线")});
    m_pItemPort = AddChoiceItem(programmer, kCaptionPort,
                                N_("选择Olstrin串行编程器使用的端口.(重启程序生效)"),
                                {"COM 1", "COM 2", "COM 3", "COM 4"});
    SetComPort(0);
    m_pItemBaud = AddChoiceItem(programmer, kCaptionBaud,
                                N_("选择Olstrin串行编程器通讯时使用的波特率.(重启程序生效)"),
                                {"9600", "19200", "28800", "57600"});
    SetBaudIndex(0);
    m_pItemSpeed =
        AddChoiceItem(programmer, kCaptionSpeed, N_("根据下载线的稳定状况设置速度.(重启程序生效)"),
                      {N_("一般"), N_("较快"), N_("最快")});
    // Until a record is loaded, type, port and speed show the first-start values as their
    // drop-downs offer them, which is also what closing without a record stores.
    const SettingsRecord initial = InitialSettings();
    const std::pair<CPropertyGridItem*, int> firstStart[] = {
        {m_pItemType, initial.nProgrammerType},
        {m_pItemPort, initial.nComPort - 1},
        {m_pItemSpeed, initial.nSpeedIndex},
    };
    for (const auto& [item, choice] : firstStart) {
        item->GetConstraints()->SetCurrent(choice);
        item->SetValue(item->GetConstraints()->GetAt(choice));
    }
    BuildIspItem(programmer);
    programmer->Expand();

    CPropertyGridItem* system = m_pGrid->AddCategory(UiText("系统"));
    m_pItemDetect = AddOptionItem(system, kCaptionDetect, N_("[自动完成]时是否先检测器件?"));
    m_pItemSound =
        AddOptionItem(system, kCaptionSound,
                      N_("编程成功或失败将会有不同的声音提示.缓冲区1的数据修改后可直接编程!"));
    m_pItemHotkey = AddOptionItem(system, kCaptionHotkey, N_("按下热键后相当于点击了[自动完成]."));
    system->Expand();

    m_pGrid->SetCustomColors(0xD2BDB6, 0x000000, 0xD2BDB6, 0xF7F3E9, 0x000000);
}

void CSettingsGrid::BuildIspItem(CPropertyGridItem* category) {
    m_strStoredIsp =
        platform::GetProfileString("Devices", "ISP", "", platform::SettingsFile("Dranvik.ini"));
    m_pItemIsp = AddChoiceItem(
        category, kCaptionIsp,
        N_("选择Arduino ISP或USBasp编程器, 选无则使用编程器类型.(重启程序生效)"), {N_("无")});
    m_ispWords = {""};
    for (const FoundPort& port : ListPorts()) {
        if (port.strIsp.empty()) continue;
        std::string text = port.strIsp;
        if (!port.strUsbId.empty()) text += "  " + port.strUsbId;
        if (!port.strProduct.empty()) text += " " + port.strProduct;
        m_pItemIsp->GetConstraints()->AddConstraint(QString::fromStdString(text));
        m_ispWords.push_back(port.strIsp);
    }
    size_t current = 0;
    while (current < m_ispWords.size() && m_ispWords[current] != m_strStoredIsp) ++current;
    if (current == m_ispWords.size()) {
        m_pItemIsp->GetConstraints()->AddConstraint(QString::fromStdString(m_strStoredIsp));
        m_ispWords.push_back(m_strStoredIsp);
    }
    m_pItemIsp->GetConstraints()->SetCurrent(static_cast<int>(current));
    m_pItemIsp->SetValue(m_pItemIsp->GetConstraints()->GetAt(static_cast<int>(current)));
}

void CSettingsGrid::StoreIspChoice() {
    const int current = m_pItemIsp->GetConstraints()->GetCurrent();
    if (current < 0 || current >= static_cast<int>(m_ispWords.size())) return;
    const std::string& word = m_ispWords[static_cast<size_t>(current)];
    // An unchanged choice leaves the file as it is, a key that was never there included.
    if (word == m_strStoredIsp) return;
    if (platform::WriteProfileString("Devices", "ISP", word, platform::SettingsFile("Dranvik.ini")))
        m_strStoredIsp = word;
}

const char* CSettingsGrid::FirstStartWelcome() {
    return platform::Tr(
        "欢迎使用Olstrin 51系列单片机ISP编程器! 这是第一次启动: 请先在[设置]页选择编程器类型、"
        "串口和下载线性能(重启程序生效), 使用说明请见程序附带的README文件.");
}

const char* CSettingsGrid::WelcomeBack() {
    return platform::Tr("欢迎使用Olstrin 51系列单片机ISP编程器.");
}

void CSettingsGrid::ShowSettings(bool recordFound) {
    if (!recordFound) {
        m_addLog(FirstStartWelcome());
        return;
    }
    SetProgrammerType(m_working.nProgrammerType);
    SetComPort(m_working.nComPort);
    SetBaudIndex(m_working.nBaudIndex);
    SetSpeedIndex(m_working.nSpeedIndex);
    if (m_working.bAutoDetect == 0) m_pItemDetect->SetBool(false);
    if (m_working.bSoundPrompt == 0) m_pItemSound->SetBool(false);
    if (m_working.bUseHotkey == 0) m_pItemHotkey->SetBool(false);
    m_addLog(WelcomeBack());
}

void CSettingsGrid::StoreChoices() {
    GetProgrammerType();
    GetComPort();
    GetBaudIndex();
    GetSpeedIndex();
    StoreIspChoice();
}

void CSettingsGrid::SetProgrammerType(int type) {
    if (!ShowChoice(m_pItemType, kTypeShownTexts, type)) {
        platform::ShowMessageBox(platform::Tr("请正确选择编程器类型!"));
        return;
    }
    m_addLog(platform::Tr(kTypeShownTexts[static_cast<std::size_t>(type)]));
}

void CSettingsGrid::SetComPort(int port) {
    ShowChoice(m_pItemPort, kPortTexts, port - 1);
}

void CSettingsGrid::SetBaudIndex(int index) {
    ShowChoice(m_pItemBaud, kBaudTexts, index);
}

void CSettingsGrid::SetSpeedIndex(int index) {
    ShowChoice(m_pItemSpeed, kSpeedTexts, index);
}

int CSettingsGrid::GetProgrammerType() {
    return m_working.nProgrammerType = m_pItemType->GetConstraints()->GetCurrent();
}

int CSettingsGrid::GetComPort() {
    return m_working.nComPort = m_pItemPort->GetConstraints()->GetCurrent() + 1;
}

int CSettingsGrid::GetBaudIndex() {
    return m_working.nBaudIndex = m_pItemBaud->GetConstraints()->GetCurrent();
}

int CSettingsGrid::GetSpeedIndex() {
    return m_working.nSpeedIndex = m_pItemSpeed->GetConstraints()->GetCurrent();
}

void CSettingsGrid::OnGridItemChanged(GridNotification code, CPropertyGridItem* item) {
    if (code != GridNotification::ValueChanged) return;
    const QString caption = item->GetCaption();
    const bool on = item->GetValue() == CPropertyGridItemBool::TrueText();
    if (caption == Utf8(kCaptionDetect)) {
        m_working.bAutoDetect = on ? 1 : 0;
    } else if (caption == Utf8(kCaptionSound)) {
        m_working.bSoundPrompt = on ? 1 : 0;
    } else if (caption == Utf8(kCaptionHotkey)) {
        // Turning the option off keeps a registered hotkey until the window closes; the next
        // start registers none.
        m_working.bUseHotkey = on ? 1 : 0;
        if (on) ChangeHotkey();
    }
    // The four hardware choices are read when the settings are saved and act at the next start.
}

void CSettingsGrid::EnableHotkey(bool on) {
    if (on) {
        m_nHotkeyResult =
            AddHotkey(m_pMainWindow, m_working.cHotkeyKey, m_working.cHotkeyModifiers);
        return;
    }
    if (m_nHotkeyResult != 0) {
        DeleteHotkey(m_pMainWindow, m_working.cHotkeyKey, m_working.cHotkeyModifiers);
    }
    m_nHotkeyResult = 0;
}

void CSettingsGrid::ChangeHotkey() {
    CHotkeyDlg dialog(m_pMainWindow);
    dialog.m_cKey = m_working.cHotkeyKey;
    dialog.m_cModifiers = m_working.cHotkeyModifiers;
    EnableHotkey(false);
    if (dialog.exec() == QDialog::Accepted) {
        m_working.cHotkeyKey = dialog.m_cKey;
        m_working.cHotkeyModifiers = dialog.m_cModifiers;
    }
    EnableHotkey(true);
}

void CSettingsGrid::SignalSuccess() {
    if (m_working.bSoundPrompt != 0) platform::StartToneSequence(platform::SuccessTones());
}

void CSettingsGrid::SignalFailure() {
    if (m_working.bSoundPrompt != 0) platform::StartToneSequence(platform::FailureTones());
    FlashWindow();
}

void CSettingsGrid::SetFlashHandler(std::function<void()> flash) {
    m_flash = std::move(flash);
}

void CSettingsGrid::FlashWindow() {
    if (m_flash) {
        m_flash();
    } else {
        QApplication::alert(m_pMainWindow, kFlashMs);
    }
}
