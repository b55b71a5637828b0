#include "SpeakersFixture.h"

#include "speakers/SpeakerColorButton.h"
#include "speakers/SpeakerColorPopover.h"
#include "speakers/SpeakerNameText.h"
#include "speakers/SpeakerPanelRow.h"
#include "speakers/SpeakerRangeControlsView.h"
#include "speakers/SpeakerRangeHeaderView.h"
#include "speakers/SpeakerRangeRowView.h"
#include "speakers/SpeakerRowGeometry.h"
#include "speakers/SpeakersPanelView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace qv::speakers::testing {
namespace {

// The widgets' application, made before the first test and destroyed after the last one,
// while Qt's own globals still stand (among the exit handlers it would crash the process).
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "speakers-tests";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};
const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Renders `widget` and keeps the picture beside the test binary for a look.
QImage picture(QWidget& widget, const QString& file)
{
    QImage image = widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    image.save(file);
    return image;
}

bool isColor(const QImage& image, int x, int y, const QColor& color)
{
    const QColor pixel = image.pixelColor(x, y);
    return std::abs(pixel.red() - color.red()) <= 2 && std::abs(pixel.green() - color.green()) <= 2
           && std::abs(pixel.blue() - color.blue()) <= 2 && pixel.alpha() > 250;
}

TEST(SpeakerRowGeometryTest, BandAndTabFollowTheRowWidth)
{
    const struct {
        double width, bandLeft;
    } bands[] = {{1000, 260}, {301, -90}, {480, 0}, {0, -240}};
    for (const auto& b : bands) {
        const QRectF band = speakerRangeBandRect(QRectF(0, 0, b.width, 30));
        EXPECT_EQ(band, QRectF(b.bandLeft, 0, 480, 30)) << b.width;
    }
    const auto tab = speakerTabGeometry(1001, 50, 14, 24);
    EXPECT_EQ(tab.left, 260);
    EXPECT_EQ(tab.right, 333);
    EXPECT_EQ(tab.arrows, QRectF(315, 4, 14, 18));
    EXPECT_EQ(tab.rule, QRectF(270, 0, 470, 2));
    EXPECT_EQ(speakerTabGeometry(1000, 0, 17, 24).arrows.y(), 5);
    EXPECT_EQ(speakerTabGeometry(1000, 0, 17, 24).right, 283);
}

class SpeakerWidgetsTest : public SpeakersFixture {
protected:
    void SetUp() override
    {
        ad.textSizeDisplay = 14;
        ad.lineHeightDisplay = 24;
    }
};

TEST_F(SpeakerWidgetsTest, HeaderRowDrawsTheTabAndRuleAlongItsLowerEdge)
{
    const auto ann = addSpeaker("SA", "Ann", "red");
    const auto range = addRange("R0", 0, ann);
    speakers.buildSpeakersList();
    SpeakerRangeRowView row;
    row.resize(1000, 40);
    SpeakerRangeHeaderView header(speakers, &row);
    header.resize(1000, 40);
    header.setSpeakerRange(range);
    header.setMenu(speakers.headerRows().menuForRange(0));
    EXPECT_EQ(header.popupTitle(), "Ann");
    EXPECT_EQ(header.menu()->actions().size(), 3);

    const QImage image = picture(row, "speaker-header-row.png");
    const QColor red(214, 76, 76), band(240, 240, 240);
    EXPECT_TRUE(isColor(image, 700, 38, red)) << "the rule";
    EXPECT_TRUE(isColor(image, 700, 10, band)) << "the band above the rule";
    EXPECT_TRUE(isColor(image, 262, 30, red)) << "the tab's left edge";
    EXPECT_FALSE(isColor(image, 260, 39, red)) << "the tab's rounded lower corner";
    EXPECT_FALSE(isColor(image, 260, 16, red)) << "the tab's rounded upper corner";
    EXPECT_FALSE(isColor(image, 259, 10, band)) << "left of the band";
    EXPECT_TRUE(isColor(image, 739, 10, band));
    EXPECT_FALSE(isColor(image, 740, 10, band)) << "right of the band";
}

TEST_F(SpeakerWidgetsTest, MenuShowsAnAmpersandInANameAsItIs)
{
    const auto first = addSpeaker("SA", "R&D", "red");
    const auto second = addSpeaker("SB", "Tom & Jerry", "blue");
    addRange("R0", 0, first);
    const auto range = addRange("R1", 1000, second);
    speakers.buildSpeakersList();
    SpeakerRangeHeaderView header(speakers);
    header.setSpeakerRange(range);
    header.setMenu(speakers.headerRows().menuForRange(1));
    QStringList shown;
    for (const QAction* action : header.menu()->actions()) {
        if (!action->isSeparator())
            shown << action->iconText();
    }
    EXPECT_EQ(shown, (QStringList{"New Speaker", "Previous Speaker (R&D)", "R&D", "Tom & Jerry"}));
}

// The menu is filled only when it is read or opened; one that is open when the speakers change
// must show the new items at once, since its actions name the items by their place. Every header
// row is given its items again after any speaker change: given items that read the same, an
// open menu keeps its actions instead of being emptied and filled again.
TEST_F(SpeakerWidgetsTest, AnOpenMenuShowsTheItemsGivenWhileItIsOpen)
{
    const auto ann = addSpeaker("SA", "Ann", "red");
    const auto range = addRange("R0", 0, ann);
    speakers.buildSpeakersList();
    SpeakerRangeHeaderView header(speakers);
    header.setSpeakerRange(range);
    header.setMenu(speakers.headerRows().menuForRange(0));
    header.openMenu();
    auto* menu = header.findChild<QMenu*>();
    ASSERT_TRUE(menu && menu->isVisible());
    const QList<QAction*> before = menu->actions();
    header.setMenu(speakers.headerRows().menuForRange(0));
    EXPECT_EQ(menu->actions(), before);

    auto shown = [menu] {
        QStringList titles;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator())
                titles << action->iconText();
        }
        return titles;
    };
    addSpeaker("SB", "Bob", "blue");
    speakers.buildSpeakersList();
    header.setMenu(speakers.headerRows().menuForRange(0));
    EXPECT_EQ(shown(), (QStringList{"New Speaker", "Ann", "Bob"}));
    // A renamed speaker leaves as many items.
    ann->name = "Anna";
    header.setMenu(speakers.headerRows().menuForRange(0));
    EXPECT_EQ(shown(), (QStringList{"New Speaker", "Anna", "Bob"}));
    menu->hide();
}

TEST_F(SpeakerWidgetsTest, LongMultiLineAndDeletedSpeakersKeepTheHeaderInItsBand)
{
    const auto longName = addSpeaker("SL", QString(10000, QChar('W')) + "\nsecond line", "blue");
    const auto range = addRange("R0", 0, longName);
    SpeakerRangeHeaderView header(speakers);
    header.resize(1000, 40);
    header.setSpeakerRange(range);
    const QImage image = picture(header, "speaker-header-long-name.png");
    const QColor blue(57, 118, 204);
    EXPECT_TRUE(isColor(image, 270, 20, blue));
    // The tab: the name cut to its widest, its field inset (4) and the tab's own margins (23).
    const int maxRight = 260 + SpeakerRangeHeaderView::kMaxNameWidth + 4 + 23;
    for (int x = maxRight + 1; x < 1000; x += 7)
        EXPECT_FALSE(isColor(image, x, 20, blue)) << x;
    // Renamed, the same header's tab is as wide as the new name, at any text size.
    for (const double size : {14.0, 24.0}) {
        SCOPED_TRACE(size);
        ad.textSizeDisplay = size;
        longName->name = "Al";
        const QImage renamed = picture(header, "speaker-header-renamed.png");
        const int right = 260 + QFontMetrics(boldSystemFont(size)).horizontalAdvance("Al") + 4 + 23;
        for (int x = right + 2; x < maxRight; x += 7)
            EXPECT_FALSE(isColor(renamed, x, 20, blue)) << x;
        longName->name = QString(10000, QChar('W'));
        EXPECT_TRUE(isColor(picture(header, "speaker-header-long-name.png"), 260 + 300, 20, blue));
    }
    ad.textSizeDisplay = 14;

    longName->deleted = true;
    const QImage none = picture(header, "speaker-header-deleted-speaker.png");
    for (int x = 0; x < 1000; x += 9)
        EXPECT_FALSE(isColor(none, x, 39, blue)) << x;
}

TEST_F(SpeakerWidgetsTest, RangeControlsShowTheirButtonsByTheRule)
{
    const auto ann = addSpeaker("SA", "Ann", "red");
    addRange("R0", 0, ann);
    addRange("R1", 3000, addSpeaker("SB", "Bo", "blue"));
    addWords({"a", "b", "c", "d", "e"});
    SpeakerRangeControlsView strip(speakers);
    EXPECT_EQ(strip.size(), QSize(30, 100));
    EXPECT_EQ(strip.currentButton()->geometry(), QRect(0, 3, 30, 30));
    EXPECT_EQ(strip.addButton()->geometry(), QRect(0, 35, 30, 30));
    EXPECT_EQ(strip.nextButton()->geometry(), QRect(0, 67, 30, 30));
    EXPECT_EQ(strip.addButton()->toolTip(), QString::fromUtf8("\u00C5dd speaker range\n(Command-Return/Enter)"));
    EXPECT_EQ(strip.currentButton()->toolTip(), "Change start of current speaker range\n(Command-Up)");
    EXPECT_EQ(strip.nextButton()->toolTip(), "Change start of next speaker range\n(Command-Down)");

    setCurrentWord(1);
    speakers.refreshSpeakerRangeChangesAllowed();
    EXPECT_TRUE(strip.currentButton()->isHidden());
    EXPECT_FALSE(strip.addButton()->isHidden());
    EXPECT_FALSE(strip.nextButton()->isHidden());
    picture(strip, "speaker-range-controls.png");

    strip.addButton()->click();
    settle();
    EXPECT_TRUE(ad.pendingNewSpeakerRange);
}

TEST_F(SpeakerWidgetsTest, PanelRowsFollowTheSpeakers)
{
    for (const char* name : {"Ann", "Bo", "Cy"})
        addRange(QString("R") + name, 0, addSpeaker(QString("S") + name, name, "green"));
    addSpeaker("SG", "Unknown", "gray");
    ad.speakers.last()->rangeCount = 120;
    SpeakersPanelView panel(speakers);
    panel.setAnimated(false);
    panel.resize(240, 200);
    speakers.buildSpeakersList();
    panel.reloadData();
    ASSERT_EQ(panel.numberOfRows(), 4);
    EXPECT_EQ(panel.row(0)->nameField()->text(), "Ann");
    EXPECT_EQ(panel.row(3)->colorButton()->text(), "120");
    EXPECT_TRUE(panel.row(3)->nameField()->isReadOnly());
    EXPECT_FALSE(panel.row(3)->colorButton()->isEnabled());
    picture(panel, "speakers-panel.png");

    ad.speakers.at(0)->name = "Zoe";
    speakers.refreshSpeakersWithAnimation();
    std::vector<QString> names;
    for (int i = 0; i < panel.numberOfRows(); ++i) {
        names.push_back(panel.row(i)->nameField()->text());
        EXPECT_EQ(panel.row(i)->pos(), QPoint(0, i * 35));
    }
    EXPECT_EQ(names, (std::vector<QString>{"Bo", "Cy", "Unknown", "Zoe"}));

    SpeakerPanelRow* bo = panel.row(0);
    bo->nameField()->setText("   ");
    emit bo->nameField()->editingFinished();
    EXPECT_EQ(bo->nameField()->text(), "Bo");
    EXPECT_EQ(alerts.beepCount(), 1);
    bo->nameField()->setText("Bob");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(bo->nameField(), &escape);
    EXPECT_EQ(bo->nameField()->text(), "Bo");

    bo->colorButton()->click();
    ASSERT_TRUE(panel.colorPopover());
    picture(*panel.colorPopover(), "speaker-color-popover.png");
    panel.colorPopover()->button(8)->click();
    settle();
    EXPECT_EQ(ad.speakers.at(1)->color, "fuschia");
    EXPECT_FALSE(panel.colorPopover()->isVisible());
}

// A count of four or more digits is set smaller until it fits its button.
TEST_F(SpeakerWidgetsTest, RangeCountsOfEveryLengthFitTheirButton)
{
    const std::vector<std::int64_t> counts{7, 99, 120, 1000, 30000, 123456};
    for (std::size_t i = 0; i < counts.size(); ++i)
        addSpeaker(QString("S%1").arg(i), QString("Speaker %1").arg(i + 1), "teal")->rangeCount = counts[i];
    SpeakersPanelView panel(speakers);
    panel.setAnimated(false);
    panel.resize(240, 240);
    speakers.buildSpeakersList();
    panel.reloadData();
    picture(panel, "speakers-panel-counts.png");
    for (int i = 0; i < panel.numberOfRows(); ++i) {
        const QAbstractButton* button = panel.row(i)->colorButton();
        EXPECT_LE(QFontMetricsF(button->font()).horizontalAdvance(button->text()), button->width() - 2)
            << button->text().toStdString();
        EXPECT_GE(button->font().pixelSize(), 6) << button->text().toStdString();
    }
    EXPECT_EQ(panel.row(0)->colorButton()->font().pixelSize(), 13);
}

TEST_F(SpeakerWidgetsTest, LongAndMultiLineNamesStayOnTheirRows)
{
    addSpeaker("SL", QString(10000, QChar('x')), "purple");
    addSpeaker("SM", "Two\nLines", "orange");
    addSpeaker("SN", "Nia", "lime");
    SpeakersPanelView panel(speakers);
    panel.setAnimated(false);
    panel.resize(240, 140);
    speakers.buildSpeakersList();
    panel.reloadData();
    picture(panel, "speakers-panel-long-names.png");
    for (int i = 0; i < panel.numberOfRows(); ++i) {
        EXPECT_EQ(panel.row(i)->geometry(), QRect(0, i * 35, 215, 35)) << i;
        EXPECT_FALSE(panel.row(i)->nameField()->text().contains('\n')) << i;
    }
    EXPECT_EQ(panel.row(1)->nameField()->text(), "Two Lines");
}

}  // namespace
}  // namespace qv::speakers::testing
