// The settings page: restoring and storing the record through the grid, the grid's in-place
// editors, the options acting at once, the hotkey change and the prompts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Tone.h"
#include "session/CProgrammingSession.h"
#include "session/RecordingView.h"
#include "ui/CHotkeyDlg.h"
#include "ui/CSettingsGrid.h"
#include "ui/CStyledButton.h"
#include "ui/support/QtTestApp.h"

namespace {

class QtApp : public ::testing::Environment {
public:
    void SetUp() override { QtTestApp(); }
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

const char kPinSections[] =
    "[引脚控制]\r\nMOSI=7\r\nSCK=6\r\n\r\n[锁存控制(LE)]\r\nLE=2\r\n\r\n[输出控制(OE)]\r\nOE=3\r\n";

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class SettingsGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        platform::SetSettingsDir(m_dir.path().toStdString());
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                              platform::MessageIcon) { m_boxes.push_back(text); });
        Rebuild();
    }
    void TearDown() override {
        m_grid.reset();
        platform::SetMessageBoxHandler({});
        platform::SetSettingsDir("");
    }

    // A fresh page over the same working values, as at the next start.
    void Rebuild() {
        m_grid.reset();
        m_log.clear();
        m_page = std::make_unique<QWidget>(&m_window);
        m_grid =
            std::make_unique<CSettingsGrid>(&m_window, m_page.get(), m_session.Settings(),
                                            [this](const std::string& l) { m_log.push_back(l); });
    }

    // The start-up side: the session reads the record, the page shows it.
    void Load() { m_grid->ShowSettings(m_session.LoadSettings()); }
    // The close side: the page's choices go into the working values, the session stores them.
    void Save() {
        m_grid->StoreChoices();
        ASSERT_TRUE(m_session.SaveSettings());
    }
    void Store(const SettingsRecord& record) {
        ASSERT_TRUE(WriteSettingsRecord(SettingsPath(), record));
    }
    QString Value(const char* caption) const {
        return m_grid->Grid()->FindItem(Q(caption))->GetValue();
    }
    int Choice(const char* caption) const {
        return m_grid->Grid()->FindItem(Q(caption))->GetConstraints()->GetCurrent();
    }
    // A value the user picks: the grid reports it and the page reacts once events run.
    void UserSets(const char* caption, const char* value) {
        m_grid->Grid()->FindItem(Q(caption))->OnValueChanged(Q(value));
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_dir;
    QWidget m_window;
    std::unique_ptr<QWidget> m_page;  // the "设置" tab's page
    CEventQueue m_queue;
    RecordingView m_view{m_queue};
    CProgrammingSession m_session{m_view};
    std::unique_ptr<CSettingsGrid> m_grid;
    std::vector<std::string> m_log;
    std::vector<std::string> m_boxes;
};

TEST_F(SettingsGridTest, StoredRecordRestoresEveryItemAndStoresItBack) {
    SettingsRecord r = InitialSettings();
    r.nProgrammerType = 2;
    r.nComPort = 3;
    r.nBaudIndex = 2;
    r.nSpeedIndex = 1;
    r.bAutoDetect = 0;
    r.bSoundPrompt = 0;
    r.bUseHotkey = 0;
    r.cHotkeyKey = 'F';
    r.cHotkeyModifiers = 0x05;
    r.bMarkOpen = 0;
    r.bMarkRead = 1;
    r.nChipIndex = 5;
    Store(r);
    Load();
    m_session.Start(nullptr);  // selects the stored chip (no programmer in this build of it)
    EXPECT_FALSE(m_view.AutoMark(SessionButton::Open));
    EXPECT_TRUE(m_view.AutoMark(SessionButton::Read));
    EXPECT_TRUE(m_view.AutoMark(SessionButton::Verify));
    EXPECT_EQ(m_view.ChipSelection(), 5);
    EXPECT_EQ(Value("编程器类型"), Q("使用Atmel ByteBlaster 下载线"));
    EXPECT_EQ(Value("串口"), Q("COM 3"));
    EXPECT_EQ(Value("波特率"), Q("28800"));
    EXPECT_EQ(Value("下载线性能"), Q("较快"));
    EXPECT_EQ(Value("自动检测器件"), Q("False"));
    EXPECT_EQ(Value("使用声音提示"), Q("False"));
    EXPECT_EQ(Value("使用热键"), Q("False"));
    EXPECT_EQ(Choice("编程器类型"), 2);
    EXPECT_EQ(Choice("串口"), 2);
    const std::vector<std::string> lines{"使用Atmel ByteBlaster 下载线",
                                         CSettingsGrid::WelcomeBack()};
    EXPECT_EQ(m_log, lines);
    EXPECT_TRUE(m_boxes.empty());

    Save();
    SettingsRecord again{};
    ASSERT_TRUE(ReadSettingsRecord(SettingsPath(), again));
    EXPECT_EQ(std::memcmp(&again, &r, offsetof(SettingsRecord, padding)), 0);
}

TEST_F(SettingsGridTest, SerialBoxShowsItsLoadTextButOffersTheDropDownEntry) {
    SettingsRecord r = InitialSettings();
    r.nProgrammerType = 0;
    Store(r);
    Load();
    EXPECT_EQ(Value("编程器类型"), Q("使用Brundlex串行编程器"));
    EXPECT_EQ(m_log.front(), "使用Brundlex串行编程器");
    const CPropertyGridItem* type = m_grid->Grid()->FindItem(Q("编程器类型"));
    EXPECT_EQ(type->GetConstraints()->GetAt(0), Q("使用Olstrin串行编程器"));
    EXPECT_EQ(type->GetConstraints()->GetAt(2), Q("使用Atmel ByteBlaster下载线"));
    EXPECT_EQ(type->GetFlags(), CPropertyGridItem::kFlagListOnly);
    EXPECT_EQ(m_grid->GetProgrammerType(), 0);
}

TEST_F(SettingsGridTest, OutOfRangeValuesLeaveTheItemsAsBuiltAndKeepTheWorkingValues) {
    SettingsRecord r = InitialSettings();
    r.nProgrammerType = 7;
    r.nComPort = 9;
    r.nBaudIndex = 4;
    r.nSpeedIndex = -1;
    Store(r);
    Load();
    EXPECT_EQ(m_boxes, std::vector<std::string>{"请正确选择编程器类型!"});
    EXPECT_EQ(m_log, std::vector<std::string>{CSettingsGrid::WelcomeBack()});
    // The items keep the first-start choices they were built with, shown as such.
    EXPECT_EQ(Value("编程器类型"), Q("使用Kestavo下载线"));
    EXPECT_EQ(Value("串口"), Q("COM 1"));
    EXPECT_EQ(Value("波特率"), Q("9600"));
    EXPECT_EQ(Value("下载线性能"), Q("一般"));
    const SettingsRecord& w = m_session.Settings();
    EXPECT_EQ(w.nProgrammerType, 7);
    EXPECT_EQ(w.nComPort, 9);
    EXPECT_EQ(w.nBaudIndex, 4);
    EXPECT_EQ(w.nSpeedIndex, -1);
}

TEST_F(SettingsGridTest, FirstStartShowsTheFirstStartChoicesAndStoresThem) {
    const std::string ini = SettingsPath();
    ASSERT_TRUE(platform::WriteFileSafely(ini, kPinSections));
    Load();
    EXPECT_EQ(m_log, std::vector<std::string>{CSettingsGrid::FirstStartWelcome()});
    EXPECT_GT(std::string(CSettingsGrid::FirstStartWelcome()).size(),
              std::string(CSettingsGrid::WelcomeBack()).size());
    EXPECT_NE(std::string(CSettingsGrid::FirstStartWelcome()).find("README"), std::string::npos);
    // Each drop-down shows its current choice before any row is clicked.
    EXPECT_EQ(Value("编程器类型"), Q("使用Kestavo下载线"));
    EXPECT_EQ(Value("串口"), Q("COM 1"));
    EXPECT_EQ(Value("下载线性能"), Q("一般"));
    EXPECT_EQ(Value("波特率"), Q("9600"));
    // The pale blue-white value area of the 0x00BBGGRR colour 0xF7F3E9.
    EXPECT_EQ(m_grid->Grid()->Tree()->palette().color(QPalette::Base), QColor(233, 243, 247));
    for (const char* option : {"自动检测器件", "使用声音提示", "使用热键"}) {
        EXPECT_EQ(Value(option), Q("True")) << option;
    }

    Save();
    SettingsRecord stored{};
    ASSERT_TRUE(ReadSettingsRecord(ini, stored));
    EXPECT_EQ(stored.nProgrammerType, 1);
    EXPECT_EQ(stored.nComPort, 1);
    EXPECT_EQ(stored.nBaudIndex, 0);
    EXPECT_EQ(stored.nSpeedIndex, 0);
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(ini, bytes));
    EXPECT_EQ(bytes.substr(0, sizeof kPinSections - 1), kPinSections);

    // The next start shows what was stored.
    Rebuild();
    Load();
    EXPECT_EQ(Value("编程器类型"), Q("使用Kestavo下载线"));
    EXPECT_EQ(Value("串口"), Q("COM 1"));
    EXPECT_EQ(Value("下载线性能"), Q("一般"));
}

TEST_F(SettingsGridTest, PickingFromTheDropDownChangesTheStoredChoiceOnly) {
    Load();
    QTreeWidget* tree = m_grid->Grid()->Tree();
    m_page->resize(400, 300);
    m_window.show();
    const auto rows = tree->findItems(Q("下载线性能"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(rows.size(), 1);
    // One click on the row shows its description and opens its drop-down.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(rows.first()).center());
    EXPECT_TRUE(m_grid->Grid()->DescriptionText().contains(Q("根据下载线的稳定状况设置速度")));
    auto* combo = tree->viewport()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 0);
    QTest::keyClick(combo, Qt::Key_Down);
    QCoreApplication::processEvents();
    EXPECT_EQ(Value("下载线性能"), Q("较快"));
    EXPECT_EQ(Choice("下载线性能"), 1);
    // A hardware choice acts at the next start: the working value changes only when stored.
    EXPECT_EQ(m_session.Settings().nSpeedIndex, 0);
    m_grid->StoreChoices();
    EXPECT_EQ(m_session.Settings().nSpeedIndex, 1);
}

TEST_F(SettingsGridTest, ADropDownClosedWithoutAPickChangesNothing) {
    Load();  // first start: the type item shows the first-start choice
    QTreeWidget* tree = m_grid->Grid()->Tree();
    m_page->resize(400, 300);
    m_window.show();
    const auto rows = tree->findItems(Q("编程器类型"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(rows.size(), 1);
    int changes = 0;
    QObject::connect(m_grid->Grid(), &CPropertyGrid::Notify, [&changes](GridNotification code) {
        changes += code == GridNotification::ValueChanged;
    });
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(rows.first()).center());
    auto* combo = tree->viewport()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    // Clicking away ends the edit the way a lost focus does: commit, then close.
    emit tree->itemDelegate()->commitData(combo);
    emit tree->itemDelegate()->closeEditor(combo);
    QCoreApplication::processEvents();
    EXPECT_EQ(Value("编程器类型"), Q("使用Kestavo下载线"));
    EXPECT_EQ(changes, 0);
}

TEST_F(SettingsGridTest, DetectOptionDecidesTheNextAutoCompletesDetectStep) {
    Load();
    // Without the file step the chain waits at the ready check, with detection still pending.
    m_view.SetAutoMark(SessionButton::Open, false);
    UserSets("自动检测器件", "False");
    EXPECT_EQ(m_session.Settings().bAutoDetect, 0);
    ASSERT_TRUE(m_session.OnAutoComplete());
    EXPECT_FALSE(m_session.m_bStepDetect);
    UserSets("自动检测器件", "True");
    ASSERT_TRUE(m_session.OnAutoComplete());
    EXPECT_TRUE(m_session.m_bStepDetect);
}

// Records the tones played; the prompts play them on threads of their own.
class ToneRecorder {
public:
    ToneRecorder() {
        platform::SetTonePlayer([this](int hz, int) {
            std::lock_guard lock(m_mutex);
            m_tones.push_back(hz);
            m_changed.notify_all();
        });
    }
    ~ToneRecorder() { platform::SetTonePlayer({}); }
    std::vector<int> WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_tones.size() >= count; });
        return m_tones;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_tones;
};

TEST_F(SettingsGridTest, SoundOptionSilencesThePromptsButFailureStillFlashes) {
    ToneRecorder tones;
    int flashes = 0;
    m_grid->SetFlashHandler([&] { ++flashes; });
    Load();
    UserSets("使用声音提示", "False");
    m_grid->SignalSuccess();
    m_grid->SignalFailure();
    EXPECT_EQ(flashes, 1);

    UserSets("使用声音提示", "True");
    m_grid->SignalFailure();
    EXPECT_EQ(flashes, 2);
    EXPECT_EQ(tones.WaitFor(1), std::vector<int>{410});
    m_grid->SignalSuccess();
    EXPECT_EQ(tones.WaitFor(4), (std::vector<int>{410, 2000, 2000, 2000}));
    EXPECT_EQ(flashes, 2);
}

// Acts on the hotkey dialog once it is up.
void WhenHotkeyDialogShows(std::function<void(CHotkeyDlg&)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* dlg = qobject_cast<CHotkeyDlg*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            act(*dlg);
        }
    });
    poll->start(5);
}

TEST_F(SettingsGridTest, HotkeyOptionAsksForTheKeyAndCancelKeepsThePreviousOne) {
    SettingsRecord r = InitialSettings();
    r.cHotkeyKey = 'F';
    r.cHotkeyModifiers = 0x05;
    r.bUseHotkey = 1;
    Store(r);
    Load();
    UserSets("使用热键", "False");
    EXPECT_EQ(m_session.Settings().bUseHotkey, 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    bool prefilled = false;
    WhenHotkeyDialogShows([&](CHotkeyDlg& dlg) {
        prefilled = dlg.ShiftBox()->isChecked() && dlg.CtrlBox()->isChecked() &&
                    !dlg.AltBox()->isChecked() && dlg.KeyEdit()->text() == "F";
        dlg.CancelButton()->click();
    });
    UserSets("使用热键", "True");
    EXPECT_TRUE(prefilled);
    EXPECT_EQ(m_session.Settings().bUseHotkey, 1);
    EXPECT_EQ(m_session.Settings().cHotkeyKey, 'F');
    EXPECT_EQ(m_session.Settings().cHotkeyModifiers, 0x05);
    // No X server here: nothing can be registered.
    EXPECT_EQ(m_grid->HotkeyRegistration(), 0);

    UserSets("使用热键", "False");
    WhenHotkeyDialogShows([](CHotkeyDlg& dlg) {
        dlg.ShiftBox()->setChecked(false);
        dlg.AltBox()->setChecked(true);
        dlg.KeyEdit()->setText("q");
        dlg.OkButton()->click();
    });
    UserSets("使用热键", "True");
    EXPECT_EQ(m_session.Settings().cHotkeyKey, 'Q');
    EXPECT_EQ(m_session.Settings().cHotkeyModifiers, 0x06);
}

TEST_F(SettingsGridTest, OnlyValueChangesOfTheOptionsAct) {
    Load();
    CPropertyGridItem* detect = m_grid->Grid()->FindItem(Q("自动检测器件"));
    detect->SetValue(Q("False"));
    m_grid->OnGridItemChanged(GridNotification::SelectionChanged, detect);
    EXPECT_EQ(m_session.Settings().bAutoDetect, 1);
    m_grid->OnGridItemChanged(GridNotification::ValueChanged, detect);
    EXPECT_EQ(m_session.Settings().bAutoDetect, 0);
    // A value that is not exactly "True" counts as off.
    detect->SetValue(Q("true"));
    m_grid->OnGridItemChanged(GridNotification::ValueChanged, detect);
    EXPECT_EQ(m_session.Settings().bAutoDetect, 0);
}

}  // namespace

// The ISP link row offers "无" and the stored choice even when its device is not plugged in;
// only a changed choice is written, as [Devices] ISP=.
TEST_F(SettingsGridTest, IspLinkChoiceIsStoredInTheDevicesSection) {
    const std::string ini = platform::SettingsFile("Dranvik.ini");
    Save();
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(ini, bytes));
    EXPECT_EQ(bytes.find("ISP"), std::string::npos);
    EXPECT_EQ(Value("ISP编程器"), Q("无"));

    ASSERT_TRUE(platform::WriteProfileString("Devices", "ISP", "usbasp:olstrin-test", ini));
    Rebuild();
    EXPECT_EQ(Value("ISP编程器"), Q("usbasp:olstrin-test"));
    UserSets("ISP编程器", "无");
    Save();
    EXPECT_EQ(platform::GetProfileString("Devices", "ISP", "unset", ini), "");
}
