// The hotkey dialog and the hotkey layer's behaviour where no X server is in use.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "platform/MessageBox.h"
#include "ui/CHotkeyDlg.h"
#include "ui/CStyledButton.h"
#include "ui/GlobalHotkey.h"
#include "ui/support/QtTestApp.h"

namespace {

class HotkeyDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        QtTestApp();
        platform::SetMessageBoxHandler([this](const std::string& text, const std::string&,
                                              platform::MessageIcon) { m_boxes.push_back(text); });
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    // Opens the dialog with the stored bytes, as the hotkey change does.
    std::unique_ptr<CHotkeyDlg> Open(std::uint8_t key, std::uint8_t modifiers) {
        auto dlg = std::make_unique<CHotkeyDlg>();
        dlg->m_cKey = key;
        dlg->m_cModifiers = modifiers;
        dlg->show();
        return dlg;
    }

    std::vector<std::string> m_boxes;
};

TEST_F(HotkeyDlgTest, StoredModifiersPreCheckTheirBoxes) {
    auto ctrlOnly = Open('F', 0x04);
    EXPECT_FALSE(ctrlOnly->ShiftBox()->isChecked());
    EXPECT_TRUE(ctrlOnly->CtrlBox()->isChecked());
    EXPECT_FALSE(ctrlOnly->AltBox()->isChecked());
    EXPECT_EQ(ctrlOnly->KeyEdit()->text(), "F");
    EXPECT_EQ(ctrlOnly->KeyEdit()->maxLength(), 1);
    EXPECT_EQ(ctrlOnly->windowTitle(), QString::fromUtf8("请输入热键"));
    EXPECT_EQ(ctrlOnly->OkButton()->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(ctrlOnly->CancelButton()->text(), QString::fromUtf8("取消"));

    auto all = Open(0, 0x07);
    EXPECT_TRUE(all->ShiftBox()->isChecked());
    EXPECT_TRUE(all->CtrlBox()->isChecked());
    EXPECT_TRUE(all->AltBox()->isChecked());
    EXPECT_EQ(all->KeyEdit()->text(), "");
}

TEST_F(HotkeyDlgTest, TypedKeyIsStoredUpperCaseWithTheCheckedModifiers) {
    auto dlg = Open(0, 0);
    QTest::mouseClick(dlg->ShiftBox(), Qt::LeftButton);
    QTest::mouseClick(dlg->AltBox(), Qt::LeftButton);
    QTest::keyClicks(dlg->KeyEdit(), "a");
    EXPECT_EQ(dlg->KeyEdit()->text(), "A");
    dlg->OkButton()->click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_cModifiers, 0x03);
    EXPECT_EQ(dlg->m_cKey, 0x41);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(HotkeyDlgTest, EmptyKeyIsRefusedAndOneBlankIsAKey) {
    auto dlg = Open(0, 0x04);
    QTest::mouseClick(dlg->AltBox(), Qt::LeftButton);
    dlg->OkButton()->click();
    EXPECT_EQ(m_boxes, std::vector<std::string>{"请输入键值!"});
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->AltBox()->isChecked());
    EXPECT_TRUE(dlg->CtrlBox()->isChecked());

    // A character that does not fit the stored byte is refused the same way.
    dlg->KeyEdit()->setText(QString::fromUtf8("中"));
    dlg->OkButton()->click();
    EXPECT_EQ(m_boxes.size(), 2u);
    EXPECT_TRUE(dlg->isVisible());

    dlg->KeyEdit()->setText(" ");
    dlg->OkButton()->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->m_cKey, ' ');
    EXPECT_EQ(dlg->m_cModifiers, 0x06);
}

TEST_F(HotkeyDlgTest, CancelKeepsTheBytes) {
    auto dlg = Open('K', 0x01);
    QTest::keyClicks(dlg->KeyEdit(), "z");
    dlg->CancelButton()->click();
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(dlg->m_cKey, 'K');
    EXPECT_EQ(dlg->m_cModifiers, 0x01);
}

TEST(GlobalHotkeyOffscreen, NothingRegistersWithoutAnXServerOrAKey) {
    QtTestApp();
    QWidget window;
    EXPECT_EQ(AddHotkey(&window, 0, 0x07), 0);
    EXPECT_EQ(AddHotkey(&window, 'F', 0x05), 0);
    DeleteHotkey(&window, 'F', 0x05);  // nothing registered: harmless
}

TEST(GlobalHotkeyOffscreen, OnlyTheHotkeyMessageWithItsMarkStartsAutoComplete) {
    const auto starts = [](long wParam, long lParam) {
        CHotkeyEvent event(wParam, lParam);
        return IsAutoCompleteHotkey(&event);
    };
    EXPECT_TRUE(starts(0, 0x100));
    EXPECT_TRUE(starts(77, 0x100));
    EXPECT_FALSE(starts(0, 0x101));
    EXPECT_FALSE(starts(0, 0));
    QEvent other(QEvent::User);
    EXPECT_FALSE(IsAutoCompleteHotkey(&other));
}

}  // namespace
