#include "app/widgets/QVBackgroundViews.h"
#include "app/widgets/QVButtons.h"
#include "app/widgets/QVHyperlinkButton.h"
#include "app/widgets/QVStringPopover.h"

#include "WidgetsTestSupport.h"
#include "model/AppDelegate.h"

#include <QFontMetrics>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

class SharedWidgetsTest : public ::testing::Test {
protected:
    QApplication& application = testApplication();
    QWidget anchor;
};

TEST_F(SharedWidgetsTest, PopoverIsAsWideAsItsTextNotItsWrapWidth)
{
    anchor.resize(200, 40);
    std::unique_ptr<QVStringPopover> empty(
        QVStringPopover::showRelativeToRectAttributed(QRect(0, 0, 20, 20), &anchor, QVStringPopover::Edge::Right, QString(), 300));
    EXPECT_EQ(empty->contentSize(), QSize(22, 10));

    const QString line = QStringLiteral("Incorrect password");
    std::unique_ptr<QVStringPopover> oneLine(
        QVStringPopover::showRelativeToRect(QRect(0, 0, 20, 20), &anchor, QVStringPopover::Edge::Right, line, 300));
    const int textWidth = QFontMetrics(oneLine->font()).horizontalAdvance(line);
    EXPECT_NEAR(oneLine->contentSize().width(), textWidth + 22, 2);
    EXPECT_LT(oneLine->contentSize().width(), 300);
    EXPECT_TRUE(oneLine->isShown());

    std::unique_ptr<QVStringPopover> wrapped(QVStringPopover::showRelativeToRect(
        QRect(0, 0, 20, 20), &anchor, QVStringPopover::Edge::Bottom, line.repeated(8), true, 300));
    EXPECT_LE(wrapped->contentSize().width(), 322);
    EXPECT_GT(wrapped->contentSize().height(), oneLine->contentSize().height() * 2);
    saveScreenshot(*wrapped, "string-popover");
}

TEST_F(SharedWidgetsTest, PopoverClosesOnAClickOutsideIt)
{
    anchor.resize(200, 40);
    anchor.show();
    std::unique_ptr<QVStringPopover> popover(QVStringPopover::showRelativeToRect(
        QRect(0, 0, 20, 20), &anchor, QVStringPopover::Edge::Right, QStringLiteral("Minimum 1 character"), QColor(Qt::red), 300));
    QMouseEvent inside(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(popover.get(), &inside);
    EXPECT_TRUE(popover->isShown());
    QMouseEvent outside(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&anchor, &outside);
    EXPECT_FALSE(popover->isShown());
}

TEST_F(SharedWidgetsTest, BackgroundsPaintTheirShades)
{
    AppDelegate ad;
    QVDarkBackground lined;
    QVDarkMidBackground mid;
    QVDarkerBackground darker;
    QVDarkestBackground darkest;
    for (QWidget* view : std::initializer_list<QWidget*>{&lined, &mid, &darker, &darkest})
        view->resize(40, 20);
    const QImage linedImage = lined.grab().toImage();
    EXPECT_EQ(linedImage.pixelColor(10, 10), QColor(77, 77, 77));
    EXPECT_EQ(linedImage.pixelColor(10, 0), QColor(102, 102, 102));
    EXPECT_EQ(linedImage.pixelColor(10, 19), QColor(102, 102, 102));
    EXPECT_EQ(mid.grab().toImage().pixelColor(5, 5), QColor(60, 60, 60));
    EXPECT_EQ(darker.grab().toImage().pixelColor(5, 5), QColor(46, 46, 46));
    EXPECT_EQ(darkest.grab().toImage().pixelColor(5, 5), QColor(33, 33, 33));

    QWidget holder;
    holder.resize(40, 40);
    holder.setAutoFillBackground(true);
    QPalette palette = holder.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 255));
    holder.setPalette(palette);
    auto* dual = new QVDualBackground(ad, &holder);
    dual->resize(40, 40);
    EXPECT_EQ(holder.grab().toImage().pixelColor(20, 20), QColor(0, 0, 255)) << "clear while editing is allowed";
    ad.isViewingOnly = true;
    EXPECT_NE(holder.grab().toImage().pixelColor(20, 20), QColor(0, 0, 255)) << "stripes while view-only";
}

TEST_F(SharedWidgetsTest, ButtonTitleColoursFollowTheirState)
{
    QVTextButton text("Edit");
    EXPECT_EQ(text.titleColor(), QColor(160, 160, 160));
    text.setChecked(true);
    EXPECT_EQ(text.titleColor(), QColor(Qt::white));

    QVDarkButton dark("Export");
    EXPECT_EQ(dark.titleColor(), QColor(220, 220, 220));
    dark.setEnabled(false);
    EXPECT_NE(dark.titleColor(), QColor(220, 220, 220));

    QVHyperlinkButton link("Terms of Service");
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
