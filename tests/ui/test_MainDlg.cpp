#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "lpt/PortSelection.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/Profile.h"
#include "platform/Translate.h"
#include "session/Backends.h"
#include "sim/SimSettings.h"
#include "support/TempDir.h"
#include "ui/CAboutDlg.h"
#include "ui/CDialogScript.h"
#include "ui/CHexView.h"
#include "ui/CLastFileDialog.h"
#include "ui/CMainDlg.h"
#include "ui/CProductionStatus.h"
#include "ui/CProgrammerApp.h"
#include "ui/CStyledButton.h"
#include "ui/CTextProgressCtrl.h"
#include "ui/support/QtTestApp.h"

namespace {

// Generous: only a hung sequence ever waits this long.
constexpr int kWaitMs = 60000;
// A file dialog a test failed to close is cancelled after this long.
constexpr int kDialogWaitMs = 10000;

// The main window on the simulated parallel cable (the first-start settings: the Kestavo cable,
// marks on Open, Erase, Write and Verify, detect first), its settings in a temp folder, and its
// message boxes recorded.
class MainDlg : public ::testing::Test {
protected:
    void SetUp() override {
        QtTestApp();
        platform::InitAppPaths();
        platform::SetSettingsDir(m_dir.path() + "/");
        SetLptDeviceOverride("sim");
        CDialogScript::SetMessageRecorder(
            [this](const QString& text, const QString&) { m_messages << text; });
        m_dlg = std::make_unique<CMainDlg>(DefaultBackends());
        m_dlg->show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return Log().contains("初始化并口完成."); }, kWaitMs));
        // The simulated target says so in the log and in the title.
        EXPECT_TRUE(Log().contains("使用模拟器件AT89S52(闪存不保存)."));
        EXPECT_TRUE(m_dlg->windowTitle().endsWith("模拟器件AT89S52"));
    }

    void TearDown() override {
        m_dlg.reset();
        CDialogScript::SetMessageRecorder({});
        SetLptDeviceOverride("");
        platform::SetSettingsDir("");
    }

    template <typename T>
    T* Find(const char* name) const {
        T* widget = m_dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    CStyledButton* Button(const char* name) const { return Find<CStyledButton>(name); }

    QStringList Log() const {
        QStringList lines;
        const QListWidget* list = m_dlg->findChild<QListWidget*>("m_lstStatus");
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }

    void Click(const char* button) const { QTest::mouseClick(Button(button), Qt::LeftButton); }

    // Runs the action and waits for the sequence it starts to end; returns its outcome.
    bool RunToEnd(const std::function<void()>& action) const {
        QSignalSpy ended(m_dlg.get(), &CMainDlg::sequenceEnded);
        action();
        if (ended.isEmpty() && !ended.wait(kWaitMs)) {
            ADD_FAILURE() << "the sequence did not end";
            return false;
        }
        return ended.last().at(0).toBool();
    }

    // Writes the image file and chooses it with the open button.
    std::string OpenImage(const std::string& name, const std::string& bytes) {
        const std::string path = m_dir.Write(name, bytes);
        CDialogScript::SetNextFileName(QString::fromStdString(path));
        EXPECT_TRUE(RunToEnd([this] { Click("m_btnOpen"); }));
        return path;
    }

    // Clicks Open with no scripted answer, so the real Open dialog runs, and does act to it once
    // it is up. A dialog that act leaves open is cancelled after a while.
    void ThroughOpenDialog(const std::function<void(CLastFileDialog&)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<CLastFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            poll.stop();
            QTimer::singleShot(kDialogWaitMs, dialog, &QDialog::reject);
            act(*dialog);
        });
        poll.start(5);
        Click("m_btnOpen");
    }

    // Writes LastFile.ini with the entries, oldest first.
    void WriteRecentList(const std::vector<std::string>& entries) const {
        const std::string ini = platform::SettingsFile("LastFile.ini");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            platform::WriteProfileString("LastFile", "File " + std::to_string(i), entries[i], ini);
        }
        platform::WriteProfileString("File Number", "n", std::to_string(entries.size()), ini);
    }

    TempDir m_dir;
    QStringList m_messages;
    std::unique_ptr<CMainDlg> m_dlg;
};

// A parallel backend whose detection worker matches the signature (which selects the chip
// through the window, from the worker) and says when it is about to. Its destructor waits for
// the worker at most two seconds and then leaves it, noting that it hung.
class CDetectOnlyBackend : public IProgrammerBackend {
public:
    struct Gate {
        std::atomic<bool> selecting{false};
        std::atomic<bool> returned{false};
        std::atomic<bool> hung{false};
    };
    CDetectOnlyBackend(CProgrammer& programmer, Gate& gate)
        : m_programmer(programmer), m_gate(gate) {}
    ~CDetectOnlyBackend() override {
        for (int i = 0; i < 200 && !m_gate.returned; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_gate.hung = !m_gate.returned;
        if (m_gate.hung) {
            m_worker.detach();
        } else if (m_worker.joinable()) {
            m_worker.join();
        }
    }
    void DetectChip(std::uint8_t) override {
        m_worker = std::thread([this] {
            const std::uint8_t at89s52[3] = {0x1E, 0x52, 0x06};
            for (int i = 0; i < 3; ++i) m_programmer.m_Signature[i] = at89s52[i];
            m_gate.selecting = true;
            m_programmer.MatchSignature();
            m_gate.returned = true;
        });
    }
    void CheckReady(std::uint8_t) override {}
    void EraseChip(std::uint8_t) override {}
    void WriteChip(std::uint8_t) override {}
    void ReadChip(std::uint8_t) override {}
    void WriteLockBits(std::uint8_t, int) override {}

private:
    CProgrammer& m_programmer;
    Gate& m_gate;
    std::thread m_worker;
};

std::string Pattern(int length) {
    std::string bytes;
    for (int i = 0; i < length; ++i) bytes += static_cast<char>(i * 7 % 251);
    return bytes;
}

TEST_F(MainDlg, AutoCompleteProgramsTheImageAndSaveStoresWhatWasRead) {
    const std::string image = Pattern(300);
    const std::string path = OpenImage("image.bin", image);
    QSignalSpy success(m_dlg.get(), &CMainDlg::successSignalled);

    EXPECT_TRUE(RunToEnd([this] { Click("m_btnAuto"); }));
    // The parallel cable announces no start of a write or read, only progress and the end.
    const QStringList expected = {
        QString::fromStdString("读入文件 " + path + " 到缓冲1(300字节)."),
        "编程器:就绪.",
        "编程器:检测到器件(特征字:1e 52 06).",
        "AT89S52 - ROM容量:8K字节. 编程电压:5.00V.",
        "编程器:擦除器件完成.",
        "编程器:写器件完成.",
        "编程器:读器件完成.",
        "数据已经保存到缓冲2.",
        "-------------------效验开始------------------",
        "共发现    0个单元不对!",
        "-------------------效验结束------------------",
    };
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(success.count(), 1);
    const CHexView* buffer2 = Find<CHexView>("m_hexBuffer2");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer2->Data()), image.size()), image);
    // The bar ends on the chain's result, not on its last step.
    EXPECT_EQ(Find<CTextProgressCtrl>("m_progress")->GetWindowText(), "自动完成成功.");
    EXPECT_FALSE(Find<CTextProgressCtrl>("m_progress")->IsFailed());

    const std::string saved = m_dir.File("read back.bin");
    CDialogScript::SetNextFileName(QString::fromStdString(saved));
    Click("m_btnSave");
    EXPECT_EQ(m_dir.Read("read back.bin"), image);
    EXPECT_EQ(Log().last(), QString::fromStdString("缓冲2保存到文件 " + saved + "(300字节)."));
}

TEST_F(MainDlg, AProjectNumbersEachVerifiedChipCountsItAndLogsIt) {
    const std::string image = m_dir.Write("fw.bin", Pattern(300));
    const std::string project =
        m_dir.Write("board.olp",
                    "[Project]\nimage = fw.bin\nchip = AT89S52\nserial = 0x1FF0:le16:1000\n"
                    "serial-file = next\nlog = run.jsonl\n");
    std::string error;
    const auto production = CProductionStatus::Open(project, *m_dlg, error);
    ASSERT_TRUE(production) << error;
    EXPECT_EQ(production->Image(), image);
    const QLabel* counts = Find<QLabel>("m_lblProduction");
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(counts->text(), "下一序号1000,合格0片,不合格0片.");
    EXPECT_TRUE(RunToEnd([&] { m_dlg->OpenGivenFile(QString::fromStdString(image)); }));
    // A plain write numbers nothing; the chain with its verify does.
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnWrite"); }));
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnAuto"); }));
    EXPECT_EQ(counts->text(), "下一序号1001,合格1片,不合格0片.");
    EXPECT_EQ(m_dir.Read("next"), "1001\n");
    const std::string log = m_dir.Read("run.jsonl");
    EXPECT_NE(log.find("\"serial\":1000"), std::string::npos) << log;
    EXPECT_NE(log.find("\"result\":\"success\""), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    const CHexView* buffer2 = Find<CHexView>("m_hexBuffer2");
    EXPECT_EQ(buffer2->Data()[0x1FF0], 0xE8);
    EXPECT_EQ(buffer2->Data()[0x1FF1], 0x03);
}

TEST_F(MainDlg, TheFileNamedOnTheCommandLineIsOpenedAsByTheOpenButton) {
    const std::string path = m_dir.Write("named.bin", Pattern(300));
    const QStringList arguments = {"olstrin", "--quit-after-start", QString::fromStdString(path),
                                   "second.bin"};
    EXPECT_TRUE(RunToEnd([&] { OpenFileArgument(*m_dlg, arguments); }));
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + path + " 到缓冲1(300字节)."));
}

TEST_F(MainDlg, AnEditInTheBuffer1ViewIsWhatVerifyComparesAndUndoTakesItBack) {
    OpenImage("image.bin", std::string(8, '\x02'));
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnWrite"); }));
    CHexView* buffer1 = Find<CHexView>("m_hexBuffer1");
    buffer1->SetCaret(0);
    QTest::keyClicks(buffer1, "ab");
    EXPECT_EQ(m_dlg->Session().m_programmer.m_pBuffer1[0], 0xAB);

    EXPECT_FALSE(RunToEnd([this] { Click("m_btnVerify"); }));
    EXPECT_TRUE(Log().contains("    00001 - 地址:0000  写:AB  读:02"));
    EXPECT_TRUE(Log().contains("共发现    1个单元不对!"));

    // Ctrl+Z puts back both digits, in the view and in Buffer 1.
    QTest::keyClick(buffer1, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(buffer1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(buffer1->Data()[0], 0x02);
    EXPECT_EQ(m_dlg->Session().m_programmer.m_pBuffer1[0], 0x02);
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnVerify"); }));
    EXPECT_TRUE(Log().contains("共发现    0个单元不对!"));
}

TEST_F(MainDlg, AnEditInTheBuffer1ViewIsWrittenAndAVerifyListsEachDifference) {
    OpenImage("zeros.bin", std::string(16, '\0'));
    CHexView* buffer1 = Find<CHexView>("m_hexBuffer1");
    buffer1->SetCaret(0);
    QTest::keyClicks(buffer1, "5a");
    EXPECT_EQ(buffer1->Data()[0], 0x5A);  // the edit stays in the view

    EXPECT_TRUE(RunToEnd([this] { Click("m_btnWrite"); }));
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnRead"); }));
    EXPECT_EQ(Find<CHexView>("m_hexBuffer2")->Data()[0], 0x5A);

    // Reloading the file brings back 00, which the chip no longer holds.
    OpenImage("zeros.bin", std::string(16, '\0'));
    QSignalSpy failure(m_dlg.get(), &CMainDlg::failureSignalled);
    EXPECT_FALSE(RunToEnd([this] { Click("m_btnVerify"); }));
    const QStringList log = Log();
    const qsizetype start = log.indexOf("-------------------效验开始------------------");
    ASSERT_GE(start, 0);
    EXPECT_EQ(log.mid(start + 1),
              QStringList({"    00001 - 地址:0000  写:00  读:5A", "共发现    1个单元不对!",
                           "-------------------效验结束------------------"}));
    EXPECT_EQ(failure.count(), 1);
}

TEST_F(MainDlg, BusyStepsIgnoreCommandsAndDisableTheCombos) {
    CTextProgressCtrl* progress = Find<CTextProgressCtrl>("m_progress");
    EXPECT_TRUE(progress->isHidden());
    OpenImage("image.bin", Pattern(2048));
    QComboBox* chip = Find<QComboBox>("m_cmbChip");
    QComboBox* lockBit = Find<QComboBox>("m_cmbLockBit");

    EXPECT_TRUE(RunToEnd([&] {
        Click("m_btnWrite");
        // The write runs on its worker; until its events are handled the window is busy.
        EXPECT_FALSE(chip->isEnabled());
        EXPECT_FALSE(lockBit->isEnabled());
        EXPECT_FALSE(Button("m_btnErase")->AcceptsClicks());
        EXPECT_EQ(Button("m_btnWrite")->ShownIcon(), 136);
        // The worker reads Buffer 1, which view edits go into: the view takes none meanwhile.
        EXPECT_TRUE(Find<CHexView>("m_hexBuffer1")->IsReadOnly());
        Click("m_btnErase");
        Click("m_btnAuto");
        QTest::keyClick(m_dlg.get(), Qt::Key_Return);
    }));
    EXPECT_FALSE(Log().join('\n').contains("擦除"));
    EXPECT_TRUE(Log().contains("编程器:写器件完成."));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(chip->isEnabled());
    EXPECT_EQ(Button("m_btnWrite")->ShownIcon(), 135);
    EXPECT_FALSE(Find<CHexView>("m_hexBuffer1")->IsReadOnly());
}

TEST_F(MainDlg, VerifyDoesNothingOnChipRowEight) {
    QComboBox* chip = Find<QComboBox>("m_cmbChip");
    for (int row = chip->count(); row < 10; ++row) m_dlg->InsertChipItem(row, "extra");
    chip->setCurrentIndex(8);
    const QStringList before = Log();
    QSignalSpy ended(m_dlg.get(), &CMainDlg::sequenceEnded);
    Click("m_btnVerify");
    QApplication::processEvents();
    EXPECT_EQ(Log(), before);
    EXPECT_TRUE(Button("m_btnVerify")->AcceptsClicks());
    EXPECT_TRUE(ended.isEmpty());
}

TEST_F(MainDlg, AVerifyOfBuffersDifferingEverywhereListsEveryByte) {
    CProgrammingSession& session = m_dlg->Session();
    std::memset(session.m_programmer.m_pBuffer1.get(), 0x00, kChipSpaceSize);
    std::memset(session.m_programmer.m_pBuffer2.get(), 0xFF, kChipSpaceSize);
    const qsizetype before = Log().size();
    EXPECT_FALSE(session.VerifyBuffers());
    QApplication::processEvents();
    const QStringList log = Log().mid(before);
    ASSERT_EQ(log.size(), 3 + kChipSpaceSize);
    EXPECT_EQ(log[1], "    00001 - 地址:0000  写:00  读:FF");
    EXPECT_EQ(log[kChipSpaceSize], "    65536 - 地址:FFFF  写:00  读:FF");
    EXPECT_EQ(log[kChipSpaceSize + 1], "共发现65536个单元不对!");
}

TEST_F(MainDlg, EnterRunsAutoCompleteOnAnEmptiedLog) {
    m_dlg->Session().AddLog("an earlier line");
    QSignalSpy failure(m_dlg.get(), &CMainDlg::failureSignalled);
    // The Open mark is set and no file has been chosen, so the chain stops at once.
    EXPECT_FALSE(RunToEnd([this] { QTest::keyClick(m_dlg.get(), Qt::Key_Return); }));
    EXPECT_EQ(Log(), QStringList({"请先打开文件."}));
    EXPECT_EQ(failure.count(), 1);
}

TEST_F(MainDlg, EveryLogLineBringsTheStatusPageToTheFront) {
    QTabWidget* tabs = Find<QTabWidget>("m_tab");
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(m_dlg->CurrentTab(), 2);
    EXPECT_EQ(tabs->tabText(3), "设置");
    EXPECT_EQ(tabs->widget(3), m_dlg->SettingsPage());

    tabs->setCurrentIndex(0);  // as a click on "缓冲1" does
    EXPECT_EQ(m_dlg->CurrentTab(), 0);
    m_dlg->Session().AddLog("line");
    EXPECT_EQ(tabs->currentIndex(), 2);
    // The verify listing's own lines do not switch pages.
    tabs->setCurrentIndex(1);
    m_dlg->InsertVerifyLine(0, "listing");
    EXPECT_EQ(tabs->currentIndex(), 1);
}

TEST_F(MainDlg, EveryLogLineIsShownInFull) {
    QListWidget* list = Find<QListWidget>("m_lstStatus");
    const QString longLine = QString::fromStdString("读入文件 /" + std::string(300, 'x') +
                                                    "/blinker.hex 到缓冲1(65536字节).");
    // Auto-complete starts on an empty log; its first line is a short one.
    m_dlg->ClearLog();
    m_dlg->Session().m_nLogLines = 0;
    m_dlg->Session().AddLog("short");
    m_dlg->Session().AddLog(longLine.toStdString());
    m_dlg->Session().AddLog("short");  // the list's uniform row size once came from its last row
    QApplication::processEvents();
    const QListWidgetItem* item = list->findItems(longLine, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    // Wide enough for the whole text, and the list scrolls sideways to it.
    EXPECT_GE(list->visualItemRect(item).width(), list->fontMetrics().horizontalAdvance(longLine));
    EXPECT_GE(list->horizontalScrollBar()->maximum(),
              list->fontMetrics().horizontalAdvance(longLine) - list->viewport()->width());
    EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
}

TEST_F(MainDlg, ButtonIconsGrowAndShrinkWithTheFont) {
    const QFont normal = QApplication::font();
    std::vector<int> sides;
    for (int pixels : {9, 24}) {  // a small font as at 72 DPI, a large one as at twice the scale
        m_dlg.reset();
        QFont font = normal;
        font.setPixelSize(pixels);
        QApplication::setFont(font);
        m_dlg = std::make_unique<CMainDlg>(DefaultBackends());
        for (const char* name : {"m_btnOpen", "m_btnSave", "m_btnErase", "m_btnAuto"}) {
            const CStyledButton* button = Button(name);
            // Inside its own button, so never over the neighbouring one.
            EXPECT_LT(button->iconSize().height(), button->height()) << name << " " << pixels;
        }
        sides.push_back(Button("m_btnWrite")->iconSize().height());
    }
    QApplication::setFont(normal);
    EXPECT_GT(sides[1], 2 * sides[0]);
}

TEST_F(MainDlg, HexConversionErrorsShowTheirMessageBox) {
    const std::string path = m_dir.Write("image.hex", ":020000040001F9\n:00000001FF\n");
    CDialogScript::SetNextFileName(QString::fromStdString(path));
    EXPECT_FALSE(RunToEnd([this] { Click("m_btnOpen"); }));
    EXPECT_EQ(m_messages.size(), 1);
}

TEST_F(MainDlg, EscStoresTheSettingsAndCloses) {
    Button("m_btnRead")->SetAutoMark(true);
    QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(m_dlg->isVisible());
    SettingsRecord stored{};
    ASSERT_TRUE(ReadSettingsRecord(m_dir.File("Dranvik.ini"), stored));
    EXPECT_EQ(stored.bMarkRead, 1);
    EXPECT_EQ(stored.bMarkOpen, 1);
    EXPECT_EQ(stored.nChipIndex, Find<QComboBox>("m_cmbChip")->currentIndex());
}

TEST_F(MainDlg, ClosingDuringAWriteNeitherWaitsNorCrashes) {
    OpenImage("image.bin", Pattern(4096));
    Click("m_btnWrite");
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return Find<CTextProgressCtrl>("m_progress")->isVisible(); }, kWaitMs));
    EXPECT_FALSE(Log().contains("编程器:写器件完成."));  // still writing
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    // Workers leave within about 50 ms of the stop request; a second is far more than enough.
    EXPECT_LT(closing.elapsed(), 1000);
}

TEST_F(MainDlg, ClosingDuringDetectionReleasesTheWorker) {
    m_dlg.reset();
    CDetectOnlyBackend::Gate gate;
    BackendFactory factory;
    factory.createParallel = [&gate](CProgrammer& programmer, int, int) {
        return BackendStart{std::make_unique<CDetectOnlyBackend>(programmer, gate), 1};
    };
    m_dlg = std::make_unique<CMainDlg>(factory);
    Click("m_btnDetect");
    // The worker's chip selection waits on the window; the window closes without handling it.
    for (int i = 0; i < 500 && !gate.selecting; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(gate.selecting);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(gate.returned);
    QElapsedTimer closing;
    closing.start();
    m_dlg.reset();
    EXPECT_LT(closing.elapsed(), 1000);
    EXPECT_TRUE(gate.returned);
    EXPECT_FALSE(gate.hung);
}

TEST_F(MainDlg, EnterOpensTheHighlightedRecentRowThroughTheRealOpenDialog) {
    const std::string big = m_dir.Write("big8k.bin", Pattern(8192));
    const std::string blinker = m_dir.Write("blinker.hex", ":0100000002FD\n:00000001FF\n");
    WriteRecentList({blinker});
    // The chooser's own way: a typed name and Enter. The all-images filter shows both kinds.
    EXPECT_TRUE(RunToEnd([&] {
        ThroughOpenDialog([&](CLastFileDialog& dialog) {
            EXPECT_EQ(dialog.selectedNameFilter(), "全部映像文件(*.bin *.hex *.ihx)");
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(big));
            QTest::keyClick(name, Qt::Key_Return);
        });
    }));
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + big + " 到缓冲1(8192字节)."));

    // A single click on the blinker.hex row, then Enter: that row is opened, not big8k.bin.
    EXPECT_TRUE(RunToEnd([&] {
        ThroughOpenDialog([&](CLastFileDialog& dialog) {
            // Even with the chooser's own file name empty (its Open button greyed out).
            dialog.findChild<QLineEdit*>("fileNameEdit")->clear();
            QListWidget* recent = dialog.RecentListWidget();
            ASSERT_EQ(recent->item(1)->text(), QString::fromStdString(blinker));
            QTest::mouseClick(recent->viewport(), Qt::LeftButton, {},
                              recent->visualItemRect(recent->item(1)).center());
            QTest::keyClick(recent, Qt::Key_Return);
        });
    }));
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + blinker + " 到缓冲1(26字节)."));
    EXPECT_EQ(m_dlg->Session().m_programmer.m_pBuffer1[0], 0x02);
}

TEST_F(MainDlg, DoubleClickingAnEmptyRecentRowAsksForAFile) {
    OpenImage("image.bin", Pattern(16));
    WriteRecentList({""});
    QSignalSpy failure(m_dlg.get(), &CMainDlg::failureSignalled);
    EXPECT_FALSE(RunToEnd([&] {
        ThroughOpenDialog([](CLastFileDialog& dialog) {
            QListWidget* recent = dialog.RecentListWidget();
            const QPoint row = recent->visualItemRect(recent->item(0)).center();
            QTest::mouseClick(recent->viewport(), Qt::LeftButton, {}, row);
            QTest::mouseDClick(recent->viewport(), Qt::LeftButton, {}, row);
        });
    }));
    EXPECT_EQ(Log().last(), "请先打开文件.");
    EXPECT_EQ(failure.count(), 1);
    EXPECT_TRUE(m_dlg->Session().m_strFilePath.empty());
}

TEST_F(MainDlg, AFailureFlashesTheProgressBarRedEvenWithSoundOff) {
    m_dlg->Session().Settings().bSoundPrompt = 0;
    CTextProgressCtrl* progress = Find<CTextProgressCtrl>("m_progress");
    EXPECT_FALSE(RunToEnd([this] { QTest::keyClick(m_dlg.get(), Qt::Key_Return); }));
    EXPECT_TRUE(progress->IsFlashing());
    EXPECT_TRUE(progress->isVisible());
    const QImage shown = progress->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(1, 1)), CTextProgressCtrl::FlashColor());
    // The flash ends by itself and leaves the chain's result in red.
    EXPECT_TRUE(QTest::qWaitFor([progress] { return !progress->IsFlashing(); }, kWaitMs));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->GetWindowText(), "自动完成失败.");
    EXPECT_EQ(QColor(progress->grab().toImage().pixel(1, 1)), CTextProgressCtrl::FlashColor());
    // A single step is no chain: it ends on its own caption, in the bar's colours.
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnRead"); }));
    EXPECT_EQ(progress->GetWindowText(), "读器件完成");
    EXPECT_FALSE(progress->IsFailed());
}

TEST_F(MainDlg, TheOpenDialogsCompletionListClosesWithItSoEnterRunsAutoComplete) {
    const std::string big = m_dir.Write("big8k.bin", Pattern(8192));
    m_dir.Write("big8k.bin.orig", Pattern(16));
    QAbstractItemView* popup = nullptr;
    EXPECT_TRUE(RunToEnd([&] {
        ThroughOpenDialog([&](CLastFileDialog& dialog) {
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            // The completer offers its list only to a focused field.
            dialog.activateWindow();
            name->setFocus();
            EXPECT_TRUE(QTest::qWaitFor([name] { return name->hasFocus(); }, kDialogWaitMs));
            QTest::keyClicks(name, QString::fromStdString(big));
            popup = name->completer()->popup();
            // The completions come from a file system model that fills in the background.
            EXPECT_TRUE(QTest::qWaitFor([popup] { return popup->isVisible(); }, kDialogWaitMs));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (dialog.isVisible()) QTest::keyClick(name, Qt::Key_Return);
        });
    }));
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + big + " 到缓冲1(8192字节)."));
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // The next Enter reaches the window: auto-complete runs on an emptied log.
    RunToEnd([this] { QTest::keyClick(m_dlg.get(), Qt::Key_Return); });
    EXPECT_EQ(Log().first(), QString::fromStdString("读入文件 " + big + " 到缓冲1(8192字节)."));
    EXPECT_EQ(Find<CTextProgressCtrl>("m_progress")->GetWindowText(), "自动完成成功.");
}

TEST_F(MainDlg, HexViewsShareAddressDigitsAndTheRememberedRowWidth) {
    auto* buffer1 = Find<CHexView>("m_hexBuffer1");
    auto* buffer2 = Find<CHexView>("m_hexBuffer2");
    EXPECT_EQ(buffer1->Layout().BytesPerRow(), 8);
    EXPECT_EQ(buffer1->Layout().AddressDigits(), 4);
    // A loaded file shows the whole 1 MiB Buffer 1; Buffer 2's 64 KiB take as many digits.
    OpenImage("image.bin", Pattern(16));
    EXPECT_EQ(buffer1->Layout().AddressDigits(), 5);
    EXPECT_EQ(buffer2->Layout().AddressDigits(), 5);

    // The context menu of either view switches both to 16 bytes a row and stores the choice.
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().value(0)->text(), "每行显示16字节.");
        menu->actions().value(0)->trigger();
        menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            buffer2->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(buffer2->viewport(), &click);
    EXPECT_EQ(buffer1->Layout().BytesPerRow(), 16);
    EXPECT_EQ(buffer2->Layout().BytesPerRow(), 16);
    const std::string ini = m_dir.File("Dranvik.ini");
    EXPECT_EQ(platform::GetProfileString("Window", "HexColumns", "", ini), "16");
    m_dlg = std::make_unique<CMainDlg>(DefaultBackends());
    EXPECT_EQ(Find<CHexView>("m_hexBuffer1")->Layout().BytesPerRow(), 16);
    EXPECT_EQ(Find<CHexView>("m_hexBuffer2")->Layout().BytesPerRow(), 16);
}

TEST_F(MainDlg, ALogLineWiderThanTheListShowsWholeInItsTooltip) {
    auto* list = Find<QListWidget>("m_lstStatus");
    const QString tail = QStringLiteral("the end of a long line");
    m_dlg->Session().AddLog(std::string(300, 'x') + tail.toStdString());
    m_dlg->Session().AddLog("short");
    auto tipAt = [list](int row) {
        const QPoint at = list->visualItemRect(list->item(row)).topLeft() + QPoint(4, 4);
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        return QToolTip::text();
    };
    // A line that fits needs none.
    EXPECT_EQ(tipAt(list->count() - 1), QString());
    EXPECT_TRUE(tipAt(list->count() - 2).contains(tail));
}

TEST_F(MainDlg, TheAboutBoxShowsItsWholeDescription) {
    for (const char* lang : {"en", "zh"}) {
        platform::InitTranslation(platform::g_strAppDir, lang);
        CAboutDlg about(m_dlg.get());
        const QLabel* text = nullptr;
        for (const QLabel* label : about.findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) text = label;
        }
        ASSERT_NE(text, nullptr);
        EXPECT_GE(text->height(), text->heightForWidth(text->width())) << lang;
        EXPECT_LE(text->geometry().bottom(), about.findChild<QPushButton*>()->geometry().top());
        EXPECT_LE(about.findChild<QPushButton*>()->geometry().bottom(), about.height());
    }
}

TEST_F(MainDlg, TheSmallestWindowKeepsTheLeftColumnWhole) {
    m_dlg->resize(1, 1);
    for (const char* name : {"m_cmbLockBit", "m_btnWriteLock", "m_progress", "m_btnAuto"}) {
        EXPECT_TRUE(m_dlg->rect().contains(Find<QWidget>(name)->geometry())) << name;
    }
}

// The window's simulated chip keeps its flash in the file olstrin-cli --simulate uses.
TEST_F(MainDlg, ASimulatedChipKeepsItsFlashWhereTheCliReadsIt) {
    const std::string cache = m_dir.File("cache");
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    EXPECT_EQ(CProgrammerApp::SimFlashFileFor("sim"), cache + "/olstrin/sim-at89s52.bin");
    EXPECT_EQ(CProgrammerApp::SimFlashFileFor("sim:AT89S51"), cache + "/olstrin/sim-at89s51.bin");
    EXPECT_EQ(CProgrammerApp::SimFlashFileFor("sim:at89c2051"), "");
    EXPECT_EQ(CProgrammerApp::SimFlashFileFor("/dev/parport0"), "");
    EXPECT_EQ(CProgrammerApp::SimFlashFileFor("sim"), KeptSimFlashFile("at89s52"));

    m_dlg.reset();
    SetSimFlashFile(CProgrammerApp::SimFlashFileFor("sim"));
    m_dlg = std::make_unique<CMainDlg>(DefaultBackends());
    EXPECT_TRUE(QTest::qWaitFor([this] { return Log().contains("初始化并口完成."); }, kWaitMs));
    const std::string image = Pattern(300);
    OpenImage("image.bin", image);
    EXPECT_TRUE(RunToEnd([this] { Click("m_btnAuto"); }));
    m_dlg.reset();
    SetSimFlashFile("");
    ::unsetenv("XDG_CACHE_HOME");
    std::string kept;
    ASSERT_TRUE(platform::ReadWholeFile(cache + "/olstrin/sim-at89s52.bin", kept));
    EXPECT_EQ(kept.substr(0, image.size()), image);
}

TEST_F(MainDlg, CtrlOOpensCtrlSSavesF5RunsAutoCompleteAndEveryButtonSaysSo) {
    m_dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dlg.get()));
    EXPECT_FALSE(RunToEnd([this] { QTest::keyClick(m_dlg.get(), Qt::Key_F5); }));
    EXPECT_EQ(Log(), QStringList({"请先打开文件."}));

    const std::string path = m_dir.Write("image.bin", Pattern(4));
    CDialogScript::SetNextFileName(QString::fromStdString(path));
    EXPECT_TRUE(RunToEnd([this] { QTest::keyClick(m_dlg.get(), Qt::Key_O, Qt::ControlModifier); }));
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + path + " 到缓冲1(4字节)."));
    const std::string saved = m_dir.File("saved.bin");
    CDialogScript::SetNextFileName(QString::fromStdString(saved));
    QTest::keyClick(m_dlg.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Log().last(), QString::fromStdString("缓冲2保存到文件 " + saved + "(0字节)."));

    for (const char* name : {"m_btnDetect", "m_btnOpen", "m_btnSave", "m_btnErase", "m_btnWrite",
                             "m_btnRead", "m_btnVerify", "m_btnAuto", "m_btnWriteLock"}) {
        EXPECT_TRUE(Button(name)->toolTip().endsWith(".")) << name;
    }
    EXPECT_TRUE(Button("m_btnOpen")->toolTip().contains("Ctrl+O"));
    EXPECT_TRUE(Button("m_btnSave")->toolTip().contains("Ctrl+S"));
    EXPECT_TRUE(Button("m_btnAuto")->toolTip().contains("F5"));
}

TEST_F(MainDlg, TheWindowResizesAroundAFixedLeftColumnAndRemembersItsSize) {
    const QSize smallest = m_dlg->minimumSize();
    const QRect open = Button("m_btnOpen")->geometry();
    const QRect tabs = Find<QTabWidget>("m_tab")->geometry();
    m_dlg->resize(smallest + QSize(300, 200));
    EXPECT_EQ(Button("m_btnOpen")->geometry(), open);
    EXPECT_EQ(Find<QTabWidget>("m_tab")->geometry(), tabs.adjusted(0, 0, 300, 200));
    QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
    const std::string ini = m_dir.File("Dranvik.ini");
    EXPECT_EQ(platform::GetProfileInt("Window", "Width", 0, ini), smallest.width() + 300);
    EXPECT_EQ(platform::GetProfileInt("Window", "Height", 0, ini), smallest.height() + 200);
    EXPECT_EQ(platform::GetProfileInt("Window", "Maximized", -1, ini), 0);
    SettingsRecord stored{};
    EXPECT_TRUE(ReadSettingsRecord(ini, stored));  // the record beside it is untouched by this

    m_dlg = std::make_unique<CMainDlg>(DefaultBackends());
    EXPECT_EQ(m_dlg->size(), smallest + QSize(300, 200));
}

TEST(ProgrammerApp, TheFileArgumentIsTheFirstThatIsNoOption) {
    EXPECT_EQ(CProgrammerApp::FileArgument({"olstrin"}), "");
    EXPECT_EQ(CProgrammerApp::FileArgument({"olstrin", "--quit-after-start", "a.hex", "b.bin"}),
              "a.hex");
    EXPECT_EQ(CProgrammerApp::FileArgument({"olstrin", "--", "-dash.bin"}), "-dash.bin");
}

TEST_F(MainDlg, ADroppedFileLoadsLikeOpenAndJoinsTheRecentList) {
    const std::string path = m_dir.Write("dropped.bin", Pattern(32));
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    EXPECT_TRUE(RunToEnd([&] { QApplication::sendEvent(m_dlg.get(), &drop); }));
    delete mime;
    EXPECT_EQ(Log().last(), QString::fromStdString("读入文件 " + path + " 到缓冲1(32字节)."));
    const std::string ini = platform::SettingsFile("LastFile.ini");
    EXPECT_EQ(platform::GetProfileString("LastFile", "File 0", "", ini), path);
}

// English chosen: the buttons, the settings grid and the log speak English, Chinese back after.
TEST(MainDlgLanguage, EnglishReachesButtonsGridAndLog) {
    QtTestApp();
    TempDir dir;
    platform::InitAppPaths();
    platform::SetSettingsDir(dir.path() + "/");
    SetLptDeviceOverride("sim");
    platform::InitTranslation(platform::g_strAppDir, "en");
    {
        CMainDlg dlg(DefaultBackends());
        dlg.show();
        const auto* log = dlg.findChild<QListWidget*>("m_lstStatus");
        EXPECT_TRUE(QTest::qWaitFor(
            [log] {
                return !log->findItems("Parallel port initialized.", Qt::MatchExactly).isEmpty();
            },
            kWaitMs));
        EXPECT_EQ(dlg.findChild<CStyledButton*>("m_btnDetect")->text(), "Detect chip");
        EXPECT_EQ(dlg.findChild<CStyledButton*>("m_btnOpen")->text(), "(auto) Open file");
        const auto* grid = dlg.findChild<QTreeWidget*>();
        ASSERT_NE(grid, nullptr);
        const auto type = grid->findItems("Programmer type", Qt::MatchRecursive);
        ASSERT_EQ(type.size(), 1);
        EXPECT_EQ(type.first()->text(1), "Kestavo download cable");
        EXPECT_EQ(grid->findItems("True", Qt::MatchRecursive, 1).size(), 3);
        // The chain's result in the bar (no file chosen: it fails at once).
        QTest::keyClick(&dlg, Qt::Key_Return);
        EXPECT_EQ(dlg.findChild<CTextProgressCtrl*>("m_progress")->GetWindowText(), "Auto failed.");
    }
    platform::InitTranslation(platform::g_strAppDir, "zh");
    EXPECT_STREQ(platform::Tr("检测器件"), "检测器件");
    SetLptDeviceOverride("");
    platform::SetSettingsDir("");
}

}  // namespace
