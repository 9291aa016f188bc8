#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <filesystem>

#include "ChipTableModel.h"
#include "PartwrightWindow.h"
#include "platform/AppPaths.h"
#include "support/TempDir.h"

// fontconfig keeps its caches until the process ends; LeakSanitizer is told not to report them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace {

std::string TwoChips() {
    std::vector<ChipInfo> chips(2);
    std::strcpy(chips[0].szName, "AT89S51");
    std::strcpy(chips[1].szName, "AT89S52");
    chips[0].nRomKB = 4;
    chips[1].nRomKB = 8;
    chips[1].reserved1[0] = 0x42;
    const auto bytes = chiplist::Serialize(chips);
    return std::string(bytes.begin(), bytes.end());
}

QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

class ChipTableModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "partwright_gui_tests";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }
    void TearDown() override { platform::SetSettingsDir(""); }

    TempDir dir;
};

TEST_F(ChipTableModelTest, EditsGoThroughTheChecksAndSayWhyTheyFail) {
    ChipTableModel model;
    ASSERT_TRUE(model.open(Q(dir.Write("ChipList.chip", TwoChips()))));
    QSignalSpy refused(&model, &ChipTableModel::editRefused);
    QSignalSpy modified(&model, &ChipTableModel::modifiedChanged);
    const QModelIndex rom = model.index(0, static_cast<int>(chiptable::Column::RomKb));
    EXPECT_TRUE(model.flags(rom) & Qt::ItemIsEditable);

    EXPECT_FALSE(model.setData(rom, QStringLiteral("2048"), Qt::EditRole));
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.at(0).at(0).toString(), QStringLiteral("ROM 容量须为 0 到 1024 的整数 (KB)"));
    EXPECT_EQ(modified.count(), 0);

    EXPECT_TRUE(model.setData(rom, QStringLiteral("32"), Qt::EditRole));
    EXPECT_EQ(model.data(rom, Qt::DisplayRole).toString(), QStringLiteral("32"));
    ASSERT_EQ(modified.count(), 1);
    EXPECT_TRUE(modified.at(0).at(0).toBool());
}

TEST_F(ChipTableModelTest, WindowReordersAddsAndDeletesRows) {
    PartwrightWindow window;
    ASSERT_TRUE(window.openList(Q(dir.Write("ChipList.chip", TwoChips()))));
    ChipTableModel& model = *window.model();
    window.view()->setCurrentIndex(model.index(0, 0));
    window.moveRow(1);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("AT89S52"));
    EXPECT_EQ(model.document().Record(0).reserved1[0], 0x42);  // the record moved whole
    EXPECT_EQ(window.view()->currentIndex().row(), 1);
    window.moveRow(1);  // already last: stays
    EXPECT_EQ(window.view()->currentIndex().row(), 1);
    window.moveRow(-1);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("AT89S51"));

    window.addRow();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QStringLiteral("新器件"));
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral(" *")));
    window.deleteRow();
    window.deleteRow();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("AT89S51"));
}

TEST_F(ChipTableModelTest, StatusLineTellsWhereAnUnwritableListWasSaved) {
    TempDir settings;
    platform::SetSettingsDir(settings.path());
    std::filesystem::create_directory(dir.File("share"));
    const std::string installed = dir.File("share/ChipList.chip");
    platform::WriteFileSafely(installed, TwoChips());

    PartwrightWindow window;
    ASSERT_TRUE(window.openList(Q(installed)));
    EXPECT_EQ(window.statusBar()->currentMessage(),
              QStringLiteral("已打开 %1，共 2 个器件").arg(Q(installed)));
    window.deleteRow();
    std::filesystem::remove_all(dir.File("share"));
    ASSERT_TRUE(window.saveList());
    EXPECT_EQ(window.statusBar()->currentMessage(),
              QStringLiteral("%1 不可写，已保存到 %2（程序启动时优先读取此文件）")
                  .arg(Q(installed), Q(settings.File("ChipList.chip"))));
    EXPECT_FALSE(window.windowTitle().contains(QStringLiteral(" *")));
    EXPECT_EQ(settings.Read("ChipList.chip").size(), chiplist::kHeaderSize + chiplist::kRecordSize);
}

}  // namespace
