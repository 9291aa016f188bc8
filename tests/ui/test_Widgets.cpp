#include <gtest/gtest.h>

#include <QImage>
#include <QInputDialog>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "ui/CHexView.h"
#include "ui/CStyledButton.h"
#include "ui/CTextProgressCtrl.h"
#include "ui/support/QtTestApp.h"

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

class Widgets : public ::testing::Test {
protected:
    void SetUp() override { QtTestApp(); }
};

TEST_F(Widgets, HexViewKeepsItsOwnCopyAndOverwritesDigits) {
    std::vector<std::uint8_t> bytes(20, 0x00);
    CHexView view;
    view.resize(400, 200);
    view.SetData(bytes.data(), static_cast<int>(bytes.size()));
    bytes[0] = 0x77;  // a later change of the source is not seen by the view
    EXPECT_EQ(view.Data()[0], 0x00);

    QSignalSpy edited(&view, &CHexView::edited);
    QTest::keyClicks(&view, "a5g");  // 'g' is not a digit and is ignored
    EXPECT_EQ(view.Data()[0], 0xA5);
    EXPECT_EQ(edited.count(), 2);
    EXPECT_EQ(view.Caret(), 2);

    // Overwriting stops on the last digit instead of running past the data.
    view.SetCaret(view.Layout().LastCaret());
    QTest::keyClicks(&view, "123");
    EXPECT_EQ(view.Data()[19], 0x03);
    EXPECT_EQ(view.DataLength(), 20);

    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.Caret(), 0);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.Caret(), 16);

    // New data keeps the caret where it still exists, else puts it at the start.
    view.SetData(bytes.data(), 4);
    EXPECT_EQ(view.Caret(), 0);
    EXPECT_EQ(view.DataLength(), 4);
}

TEST_F(Widgets, HexViewGoesToATypedAddressAndUndoesEditsNewestFirst) {
    std::vector<std::uint8_t> bytes(0x1000, 0x00);
    CHexView view;
    view.resize(400, 200);
    view.show();
    view.SetData(bytes.data(), static_cast<int>(bytes.size()));
    // Ctrl+G asks for the address in hexadecimal.
    QTimer::singleShot(0, [] {
        auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(ask, nullptr);
        ask->setTextValue("a40");
        ask->accept();
    });
    QTest::keyClick(&view, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(view.Caret(), 2 * 0xA40);
    EXPECT_GT(view.verticalScrollBar()->value(), 0);  // scrolled to it
    EXPECT_FALSE(view.GoToAddress(0x1000));
    EXPECT_EQ(view.Caret(), 2 * 0xA40);

    QSignalSpy edited(&view, &CHexView::edited);
    QTest::keyClicks(&view, "1234");
    EXPECT_TRUE(view.Undo());
    EXPECT_EQ(view.Data()[0xA41], 0x30);
    EXPECT_EQ(edited.last().at(0).toInt(), 0xA41);
    EXPECT_TRUE(view.Undo());
    EXPECT_TRUE(view.Undo());
    EXPECT_EQ(view.Data()[0xA40], 0x10);
    EXPECT_TRUE(view.Undo());
    EXPECT_EQ(view.Data()[0xA40], 0x00);
    EXPECT_FALSE(view.Undo());
    // Read-only: digits and undo change nothing.
    QTest::keyClicks(&view, "7");
    view.SetReadOnly(true);
    QTest::keyClicks(&view, "8");
    EXPECT_FALSE(view.Undo());
    EXPECT_EQ(view.Data()[0xA40], 0x70);
}

TEST_F(Widgets, HexViewScrollsAMebibyteByRows) {
    std::vector<std::uint8_t> bytes(0x100000, 0xFF);
    CHexView view;
    view.resize(400, 300);
    view.show();
    view.SetData(bytes.data(), static_cast<int>(bytes.size()));
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    EXPECT_GT(view.verticalScrollBar()->maximum(), 0x20000 - 40);
}

TEST_F(Widgets, ProgressRepaintsOnlyWhenTheFilledWidthChanges) {
    CTextProgressCtrl bar;
    bar.resize(50, 20);
    PaintCounter paints(&bar);
    bar.SetPos(10);  // hidden: nothing is painted
    EXPECT_EQ(paints.count, 0);

    bar.show();
    QApplication::processEvents();
    paints.count = 0;
    EXPECT_EQ(bar.SetPos(50), 10);  // 25 px: repainted at once
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(bar.SetPos(51), 50);  // still 25 px
    EXPECT_EQ(paints.count, 1);
    bar.resize(60, 20);
    QApplication::processEvents();
    paints.count = 0;
    bar.SetPos(50);  // 30 px after the resize
    EXPECT_EQ(paints.count, 1);
    bar.resize(60, 20);
    bar.SetPos(50);
    EXPECT_EQ(paints.count, 1);
}

TEST_F(Widgets, ProgressDrawsPercentOrCaptionInTwoColours) {
    CTextProgressCtrl bar;
    bar.resize(100, 20);
    const QColor back = bar.palette().color(QPalette::Base);
    const QColor fill = bar.palette().color(QPalette::Highlight);

    bar.SetPos(0);
    EXPECT_EQ(bar.DisplayText(), "0%");
    QImage image = bar.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(1, 1)), back);
    EXPECT_EQ(QColor(image.pixel(98, 18)), back);

    bar.SetPos(100);
    EXPECT_EQ(bar.DisplayText(), "100%");
    image = bar.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(1, 1)), fill);
    EXPECT_EQ(QColor(image.pixel(98, 18)), fill);

    bar.SetCaption(QStringLiteral("正在写:0010/0FFF"));
    EXPECT_EQ(bar.DisplayText(), QStringLiteral("正在写:0010/0FFF"));
    bar.SetWindowText(QString());
    EXPECT_EQ(bar.DisplayText(), "100%");

    // Half filled with a wide caption across the edge: left of it the text is in the empty
    // part's colour, right of it in the bar's colour, so it reads on both.
    QFont big = bar.font();
    big.setPixelSize(18);
    big.setBold(true);
    bar.setFont(big);
    bar.resize(200, 30);
    bar.SetPos(50);
    bar.SetCaption(QStringLiteral("MMMMMMMMMM"));
    image = bar.grab().toImage();
    auto count = [&image](int from, int to, const QColor& colour) {
        int n = 0;
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) n += QColor(image.pixel(x, y)) == colour;
        }
        return n;
    };
    EXPECT_GT(count(0, 100, back), 0);    // text on the filled part
    EXPECT_GT(count(100, 200, fill), 0);  // text on the empty part
}

TEST_F(Widgets, RightClickTogglesTheAutoMarkBackAndForth) {
    QWidget parent;
    CStyledButton write(QStringLiteral("写器件"), &parent);
    CStyledButton save(QStringLiteral("保存文件"), &parent);
    write.Setup(&parent, true, true, 135, 136);
    save.Setup(&parent, false, false, 131, 0);
    const std::uint32_t face = write.FaceColor();

    QTest::mouseClick(&write, Qt::RightButton);
    EXPECT_TRUE(write.IsAutoMarked());
    EXPECT_EQ(write.text(), QStringLiteral("(自动)写器件"));
    EXPECT_NE(write.FaceColor(), face);
    QTest::mouseClick(&write, Qt::RightButton);
    EXPECT_FALSE(write.IsAutoMarked());
    EXPECT_EQ(write.text(), QStringLiteral("写器件"));
    EXPECT_EQ(write.FaceColor(), face);

    QTest::mouseClick(&save, Qt::RightButton);
    EXPECT_FALSE(save.IsAutoMarked());
    EXPECT_EQ(save.text(), QStringLiteral("保存文件"));
}

TEST_F(Widgets, MarkedFaceIsFifteenLighterWithoutCarrying) {
    QWidget parent;
    CStyledButton button(QStringLiteral("读器件"), &parent);
    QPalette pal = button.palette();
    pal.setColor(QPalette::Button, QColor(200, 250, 100));  // green above 240
    button.setPalette(pal);
    button.Setup(&parent, true, true, 137, 138);
    button.SetAutoMark(true);
    EXPECT_EQ(button.FaceColor(), 0x73FFD7u);  // 0x00BBGGRR: 215, 255, 115
}

TEST_F(Widgets, BusyIconOnlyWhereTheButtonHasOne) {
    QWidget parent;
    CStyledButton erase(QStringLiteral("檫除器件"), &parent);
    CStyledButton autoComplete(QStringLiteral("自动完成"), &parent);
    erase.Setup(&parent, true, true, 129, 134);
    autoComplete.Setup(&parent, false, true, 142, 0);
    erase.SetBusy(true);
    autoComplete.SetBusy(true);
    EXPECT_EQ(erase.ShownIcon(), 134);
    EXPECT_EQ(autoComplete.ShownIcon(), 142);
    erase.SetBusy(false);
    EXPECT_EQ(erase.ShownIcon(), 129);
    for (int id : {128, 129, 131, 134, 135, 136, 137, 138, 139, 140, 142, 143}) {
        EXPECT_FALSE(CStyledButton::IconOf(id).pixmap(32, 32).isNull()) << id;
    }
}

}  // namespace
