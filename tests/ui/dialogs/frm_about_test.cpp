// The version information: caption, version line, layout that fits its
// texts, and the two links.

#include "dialogs_test_support.h"
#include "frm_about.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>
#include <vector>

namespace tremlo::ui::test {
namespace {

TEST(VersionLine, PadsTheMinorToTwoAndTheRevisionToFourDigits) {
    EXPECT_EQ(versionLine({1, 5, 7}), "バージョン 1.05.0007");
    EXPECT_EQ(versionLine({3, 4, 56}), "バージョン 3.04.0056");
    EXPECT_EQ(versionLine({12, 345, 67890}), "バージョン 12.345.67890");
}

class FrmAboutTest : public ::testing::Test {
protected:
    FrmAboutTest() { application(); }
    static QColor colour(const QLabel* label) {
        return label->palette().color(QPalette::WindowText);
    }
    // Pressed at (3, 3) of the label, released at `releasedAt`.
    static void click(QLabel* label, QPointF releasedAt = QPointF(3, 3)) {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            const bool press = type == QEvent::MouseButtonPress;
            const QPointF at = press ? QPointF(3, 3) : releasedAt;
            QMouseEvent event(type, at, label->mapToGlobal(at), Qt::LeftButton,
                              press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(label, &event);
        }
    }

    std::vector<QUrl> opened;
    UrlOpener opener = [this](const QUrl& url) { opened.push_back(url); };
};

TEST_F(FrmAboutTest, ShowsTitleAndVersionInItsFixedFrame) {
    frmAbout about(nullptr, opener, {1, 5, 7});
    EXPECT_EQ(about.windowTitle(), "トレモロ のバージョン情報");
    EXPECT_EQ(about.lblTitle()->text(), "トレモロ");
    EXPECT_EQ(about.lblVersion()->text(), "バージョン 1.05.0007");
    EXPECT_EQ(about.size(), QSize(382, 237));
    EXPECT_TRUE(about.cmdOK()->isDefault());
    EXPECT_EQ(frmAbout().lblVersion()->text(), versionLine(programVersion()));
}

TEST_F(FrmAboutTest, EveryTextFitsItsFixedLabel) {
    frmAbout about(nullptr, opener);
    for (const QLabel* label : about.findChildren<QLabel*>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
}

TEST_F(FrmAboutTest, AClickedLinkTurnsPurpleAloneAndOpensItsTarget) {
    {
        frmAbout about(nullptr, opener);
        for (int i : {0, 1}) {
            EXPECT_EQ(colour(about.lblURL(i)), QColor(0, 0, 255));
            EXPECT_TRUE(about.lblURL(i)->font().underline());
            EXPECT_EQ(about.lblURL(i)->cursor().shape(), Qt::PointingHandCursor);
        }
        click(about.lblURL(1), QPointF(about.lblURL(1)->width() + 5, 3)); // let go beside it
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(colour(about.lblURL(1)), QColor(0, 0, 255));

        click(about.lblURL(1));
        EXPECT_EQ(colour(about.lblURL(1)), QColor(136, 0, 136));
        EXPECT_EQ(colour(about.lblURL(0)), QColor(0, 0, 255));
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].scheme(), "mailto");
        EXPECT_EQ(opened[0].path(), about.lblURL(1)->text());

        click(about.lblURL(0));
        ASSERT_EQ(opened.size(), 2u);
        EXPECT_EQ(opened[1].toString(), about.lblURL(0)->text());
    }
    frmAbout again(nullptr, opener);
    EXPECT_EQ(colour(again.lblURL(1)), QColor(0, 0, 255));
}

TEST_F(FrmAboutTest, TheIconIsTheApplicationsOrNothing) {
    EXPECT_TRUE(frmAbout(nullptr, opener).picIcon()->pixmap().isNull());
    QPixmap square(64, 64);
    square.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(square));
    EXPECT_EQ(frmAbout(nullptr, opener).picIcon()->pixmap().deviceIndependentSize(),
              QSizeF(32, 32));
    QApplication::setWindowIcon(QIcon());
}

} // namespace
} // namespace tremlo::ui::test
