// The Open dialog's recent list, against real LastFile.ini files in a temporary settings folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/Profile.h"
#include "ui/CLastFileDialog.h"
#include "ui/QtTranslation.h"
#include "ui/support/QtTestApp.h"

namespace {

const QString kFilter = QString::fromUtf8("二进制文件(*.bin)|*.bin|Intel Hex文件(*.hex)|*.hex|");

class QtApp : public ::testing::Environment {
public:
    void SetUp() override { QtTestApp(); }
};
const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

class LastFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        platform::SetSettingsDir(m_dir.path().toStdString());
        m_ini = platform::SettingsFile("LastFile.ini");
    }
    void TearDown() override { platform::SetSettingsDir(""); }

    std::string Key(const char* key) const {
        return platform::GetProfileString("LastFile", key, "<missing>", m_ini);
    }
    int Count() const { return platform::GetProfileInt("File Number", "n", -1, m_ini); }
    void WriteIni(const std::string& text) const {
        ASSERT_TRUE(platform::WriteFileSafely(m_ini, text));
    }
    // A real file the chooser can accept.
    std::string MakeImage(const char* name) const {
        const std::string path = m_dir.filePath(name).toStdString();
        EXPECT_TRUE(platform::WriteFileSafely(path, "\x02\x00\x00"));
        return path;
    }
    // Runs DoModal, doing act to the dialog once it is up.
    int RunDialog(std::function<void(CLastFileDialog&)> act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() == &m_dlg) {
                poll.stop();
                act(m_dlg);
            }
        });
        poll.start(5);
        return m_dlg.DoModal();
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < m_dlg.RecentListWidget()->count(); ++i) {
            rows.append(m_dlg.RecentListWidget()->item(i)->text());
        }
        return rows;
    }

    QTemporaryDir m_dir;
    std::string m_ini;
    CLastFileDialog m_dlg{QStringLiteral("bin"), kFilter};
};

TEST_F(LastFileTest, ChoosingAFileMakesItNewestAndTheListKeepsAtMostTen) {
    for (int i = 0; i < 10; ++i) m_dlg.AddRecent("/img/" + std::to_string(i) + ".bin");
    m_dlg.AddRecent("/img/3.bin");
    ASSERT_EQ(m_dlg.RecentList().size(), 10u);
    EXPECT_EQ(m_dlg.RecentList()[2], "/img/2.bin");
    EXPECT_EQ(m_dlg.RecentList()[3], "/img/4.bin");
    EXPECT_EQ(m_dlg.RecentList().back(), "/img/3.bin");

    m_dlg.AddRecent("/img/new.hex");
    m_dlg.SaveRecentList();
    EXPECT_EQ(Count(), 10);
    EXPECT_EQ(Key("File 0"), "/img/1.bin");
    EXPECT_EQ(Key("File 9"), "/img/new.hex");
    EXPECT_EQ(Key("File 10"), "<missing>");
    EXPECT_EQ(m_dlg.GetChosenPath(), "/img/new.hex");
    EXPECT_EQ(m_dlg.GetChosenExtension(), "hex");
}

TEST_F(LastFileTest, SpellingsOfOnePathStayTwoEntries) {
    m_dlg.AddRecent("C:\\A.BIN");
    m_dlg.AddRecent("c:\\a.bin");
    m_dlg.AddRecent("C:\\A.BIN");
    EXPECT_EQ(m_dlg.RecentList(), (std::vector<std::string>{"c:\\a.bin", "C:\\A.BIN"}));
}

TEST_F(LastFileTest, ExtensionComesFromTheFileNameOnly) {
    m_dlg.AddRecent("/home/a.b/image");
    EXPECT_EQ(m_dlg.GetChosenExtension(), "");
    m_dlg.AddRecent("/home/a.b/image.tar.HEX");
    EXPECT_EQ(m_dlg.GetChosenExtension(), "HEX");
    m_dlg.AddRecent("noext");
    EXPECT_EQ(m_dlg.GetChosenExtension(), "");
}

TEST_F(LastFileTest, FiltersBecomeQtNameFilters) {
    EXPECT_EQ(CLastFileDialog::NameFiltersOf(kFilter),
              (QStringList{QString::fromUtf8("二进制文件(*.bin)"),
                           QString::fromUtf8("Intel Hex文件(*.hex)")}));
    EXPECT_EQ(CLastFileDialog::NameFiltersOf("Images|*.bin;*.hex|"),
              QStringList{"Images (*.bin *.hex)"});
}

TEST_F(LastFileTest, MissingEntryShowsAsAnEmptyRowAndIsWrittenBackWithTheNextChoice) {
    WriteIni(
        "[Other]\r\nkeep=me\r\n[File Number]\r\nn=3\r\n[LastFile]\r\nFile 0=/old/a.bin\r\n"
        "File 2=/old/c.hex\r\n");
    const std::string image = MakeImage("d.bin");
    QStringList shown;
    const int result = RunDialog([&](CLastFileDialog& dlg) {
        shown = Rows();
        // Typed into the name field: selectFile only picks a file once the folder's listing has
        // come in from Qt's gatherer thread, which a loaded machine may not have done yet.
        auto* name = dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) return dlg.reject();
        name->setText(QString::fromStdString(image));
        QMetaObject::invokeMethod(&dlg, "accept");  // the chooser's Open button
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(shown, (QStringList{"/old/c.hex", "", "/old/a.bin"}));
    EXPECT_EQ(m_dlg.GetChosenPath(), image);
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(Key("File 1"), "");
    EXPECT_EQ(Key("File 3"), image);
    EXPECT_EQ(platform::GetProfileString("Other", "keep", "", m_ini), "me");
}

TEST_F(LastFileTest, DoubleClickOpensTheRowMakesItNewestAndReturnsOk) {
    WriteIni(
        "[File Number]\r\nn=4\r\n[LastFile]\r\nFile 0=/p/0.bin\r\nFile 1=/p/1.bin\r\n"
        "File 2=/p/2.bin\r\nFile 3=/p/3.bin\r\n");
    const int result = RunDialog([&](CLastFileDialog&) {
        QListWidget* list = m_dlg.RecentListWidget();
        // Rows are newest first: the third row is File 1.
        const QRect row = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(m_dlg.GetChosenPath(), "/p/1.bin");
    EXPECT_EQ(m_dlg.GetChosenExtension(), "bin");
    EXPECT_EQ(Key("File 0"), "/p/0.bin");
    EXPECT_EQ(Key("File 1"), "/p/2.bin");
    EXPECT_EQ(Key("File 3"), "/p/1.bin");
    EXPECT_EQ(Count(), 4);
}

TEST_F(LastFileTest, CancelLeavesTheListAndWritesOnlyTheCount) {
    // No file yet: showing creates it with a count of 0.
    EXPECT_EQ(RunDialog([](CLastFileDialog& dlg) { dlg.reject(); }), QDialog::Rejected);
    EXPECT_EQ(Count(), 0);

    const std::string before =
        "[File Number]\r\nn=2\r\n[LastFile]\r\nFile 0=/a.bin\r\nFile 1=/b.bin\r\n";
    WriteIni(before);
    EXPECT_EQ(RunDialog([](CLastFileDialog& dlg) { dlg.reject(); }), QDialog::Rejected);
    std::string after;
    ASSERT_TRUE(platform::ReadWholeFile(m_ini, after));
    EXPECT_EQ(after, before);
}

TEST_F(LastFileTest, StoredPathsAreReadWholeAndDamagedCountsStayHarmless) {
    const std::string longPath = "/" + std::string(300, 'x') + "/image.bin";
    WriteIni("[File Number]\r\nn=-4\r\n");
    RunDialog([](CLastFileDialog& dlg) { dlg.reject(); });
    EXPECT_TRUE(m_dlg.RecentList().empty());
    EXPECT_EQ(Count(), 0);

    WriteIni("[File Number]\r\nn=2000000000\r\n[LastFile]\r\nFile 0=" + longPath + "\r\n");
    RunDialog([](CLastFileDialog& dlg) { dlg.reject(); });
    ASSERT_EQ(m_dlg.RecentList().size(), static_cast<size_t>(CLastFileDialog::kMaxReadable));
    EXPECT_EQ(m_dlg.RecentList().front(), longPath);
}

}  // namespace

namespace {

TEST(QtTranslation, QtsOwnDialogTextsFollowTheWindowsLanguage) {
    QApplication& app = QtTestApp();
    EXPECT_FALSE(InstallQtTranslation(app, QStringLiteral("xx_NO_SUCH")));
    ASSERT_TRUE(InstallQtTranslation(app, QStringLiteral("zh_CN")));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"),
              QString::fromUtf8("查找范围："));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
}

}  // namespace
