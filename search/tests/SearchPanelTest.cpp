#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/ManualDispatcher.h"
#include "search/QVSearchViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringList>

namespace qv::search {
namespace {

// Records the transport calls the panel makes; a seek completes on the next turn.
class RecordingView final : public ViewServices {
public:
    explicit RecordingView(Dispatcher& main) : main_(main) {}
    QStringList calls;

    void reloadRowsForWords(const QVOrderedSet<QVWord>&) override {}
    void reloadRowForWordStartTime(std::int64_t) override {}
    void reloadRowForTableViewIndex(std::int64_t) override {}
    void reloadTranscriptTable() override {}
    void updateRowHeightForTextView(QVTextView*) override {}
    void resetCurrentWordTiming() override {}
    void highlightFromWord(const std::shared_ptr<QVWord>&, const std::shared_ptr<QVWord>&, bool) override {}
    void mouseDownOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    void mouseDraggedOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    bool pointIsExternal(const QPointF&, std::int64_t) override { return false; }
    double playerRate() override { return 0; }
    void stopPlayback() override { calls << "stopPlayback"; }
    void resumePlayback() override {}
    void playPauseToggleScrollToGrid(bool grid) override { calls << QString("playPause:%1").arg(grid); }
    void playContinue() override {}
    void playSelection() override {}
    void locateMediaFileToWord(const std::shared_ptr<QVWord>&) override {}
    void locateMediaFileToMilliseconds(std::int64_t, bool, bool, std::function<void()>) override {}
    void seekToMilliseconds(std::int64_t ms, std::function<void(bool)> done) override
    {
        calls << QString("seek:%1").arg(ms);
        main_.async([done] { done(true); });
    }
    void moveToWordWithOffset(std::int64_t) override {}
    void moveToSentenceWithOffset(std::int64_t) override {}
    void moveToSpeakerRangeWithOffset(std::int64_t) override {}
    void playbackRateFaster() override {}
    void playbackRateSlower() override {}
    void rewindByTime(std::int64_t) override {}
    void clearSelectionDurationDisplay() override {}

private:
    Dispatcher& main_;
};

class ListedSpeakers final : public SpeakerServices {
public:
    std::vector<std::shared_ptr<QVSpeaker>> list;
    std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>&, const QVOrderedSet<QVSpeakerRange>&) override
    {
        return INT64_MAX;
    }
    void addSpeakerRangeAutoSelect(bool) override {}
    void changeSpeakerRangeStartToCurrentWord() override {}
    void changeNextSpeakerRangeStartToCurrentWord() override {}
    void showSpeakerMenuForCurrentRange() override {}
    void refreshSpeakerRangeChangesAllowed() override {}
    void consolidateSpeakersWithAnimation(bool) override {}
    void restoreSpeaker(const std::shared_ptr<QVSpeaker>&) override {}
    QColor colorForColorName(const QString& name) override { return name == "red" ? QColor(Qt::red) : QColor(); }
    void buildSpeakersList() override {}
    void refreshSpeakersWithAnimation() override {}
    void allowEditing(bool) override {}
    std::vector<std::shared_ptr<QVSpeaker>> speakersList() override { return list; }
};

// "cat one. cat two. and | so cat three." in two ranges: Ann (red) speaks the first five words,
// an unnamed speaker the rest; each word lasts 1 s.
class SearchPanelTest : public ::testing::Test {
protected:
    SearchPanelTest()
    {
        ad.viewServices = &view;
        ad.speakerServices = &speakers;
        ad.brandColor = QColor(255, 65, 20);
        ad.dimmedTextColor = QColor(150, 150, 150);
        ann->name = "Ann";
        ann->color = "red";
        speakers.list = {ann, unnamed};
        const QStringList names{"cat", "one.", "cat", "two.", "and", "so", "cat", "three."};
        for (int i = 0; i < 2; ++i) {
            auto range = std::make_shared<QVSpeakerRange>();
            range->speaker = i == 0 ? ann : unnamed;
            range->start = i * 5000;
            ad.speakerRanges.add(range);
        }
        for (qsizetype i = 0; i < names.size(); ++i) {
            auto word = std::make_shared<QVWord>();
            word->setName(names[i]);
            word->start = i * 1000;
            word->end = i * 1000 + 1000;
            word->speakerRange = ad.speakerRanges.at(i < 5 ? 0 : 1);
            ad.words.add(word);
        }
        panel = std::make_unique<QVSearchViewController>(
            ad, main, QVSearchViewController::Services{[this](std::int64_t t) { highlights.push_back(t); }, [] {}, [this] { ++resetFocusCount; }});
        panel->view()->resize(320, 400);
        panel->view()->show();
        QApplication::setActiveWindow(panel->view());
    }
    void type(const QString& text)
    {
        panel->searchField()->setFocus();
        panel->searchField()->setText(text);
        main.drain();
    }

    ManualDispatcher main;
    AppDelegate ad;
    RecordingView view{main};
    ListedSpeakers speakers;
    std::shared_ptr<QVSpeaker> ann = std::make_shared<QVSpeaker>();
    std::shared_ptr<QVSpeaker> unnamed = std::make_shared<QVSpeaker>();
    std::unique_ptr<QVSearchViewController> panel;
    std::vector<std::int64_t> highlights;
    int resetFocusCount = 0;
};

TEST_F(SearchPanelTest, TypingShowsMessagesThenResults)
{
    type("c");
    EXPECT_EQ(panel->noResultsMessage()->text(), "Minimum 2 characters required");
    EXPECT_TRUE(panel->noResultsDisplay()->isVisible());
    type("cat");
    EXPECT_EQ(panel->searchResults().size(), 2u);
    EXPECT_FALSE(panel->noResultsDisplay()->isVisible());
    EXPECT_TRUE(panel->tableView()->isVisible());
    EXPECT_EQ(panel->tableView()->model()->rowCount(), 2);
    EXPECT_EQ(panel->tableView()->model()->index(0, 0).data().toString(), "Ann");
    EXPECT_EQ(panel->tableView()->model()->index(1, 0).data().toString(), "Unknown Speaker");
    type("dog");
    EXPECT_EQ(panel->noResultsMessage()->text(), "No search results");
    EXPECT_TRUE(panel->noResultsDisplay()->isVisible());
}

// The darkest grey drawn in the words cell of `row`.
int darkestInWords(QVTableViewSearch* table, int row)
{
    const QImage image = table->viewport()->grab().toImage();
    const QRect cell = table->visualRect(table->model()->index(row, 1));
    int darkest = 255;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

// In the panel at its narrowest the abstract gets most of the width and is whole in its tooltip;
// the words of a result not yet heard and not selected are dimmed, yet dark enough to be read.
TEST_F(SearchPanelTest, ResultsCanBeReadAtThePanelsNarrowestUnheardOnesToo)
{
    ad.dimmedTextColor = QColor::fromRgbF(0, 0, 0, 0.5);
    panel->view()->resize(240, 400);
    type("cat");
    QApplication::processEvents();
    QVTableViewSearch* table = panel->tableView();
    EXPECT_GE(table->columnWidth(1), 140);
    EXPECT_GE(table->columnWidth(0), QVTableViewSearch::kSpeakerColumnMinimum);
    EXPECT_EQ(table->model()->index(0, 1).data(Qt::ToolTipRole).toString(), panel->searchResults()[0].abstract);
    EXPECT_EQ(table->model()->index(1, 0).data(Qt::ToolTipRole).toString(), "Unknown Speaker");

    EXPECT_LT(darkestInWords(table, 1), 140) << "unheard words on a row not selected";
    for (const auto& word : ad.words)
        word->status = 1;
    table->reloadData();
    EXPECT_LT(darkestInWords(table, 1), 60) << "heard words stay black";
}

TEST_F(SearchPanelTest, ShortTextOutsideTheFieldGivesTheFocusBack)
{
    panel->searchField()->setText("c");
    panel->searchField()->clearFocus();
    panel->searchForString();
    EXPECT_EQ(panel->noResultsMessage()->text(), "No search results");
    EXPECT_GE(resetFocusCount, 1);
}

TEST_F(SearchPanelTest, ChoosingAResultSeeksAndPlaysItEvenWhenChosenAgain)
{
    type("cat");
    panel->tableView()->selectRow(1);
    EXPECT_TRUE(panel->isLocatingToSearchResult());
    main.drain();
    EXPECT_FALSE(panel->isLocatingToSearchResult());
    EXPECT_EQ(view.calls, (QStringList{"stopPlayback", "seek:5000", "playPause:0"}));
    EXPECT_EQ(ad.playbackStartTime, MediaTime(5000, 1000));
    EXPECT_EQ(highlights, (std::vector<std::int64_t>{5000}));

    // A click on the selected row plays it again.
    view.calls.clear();
    const QRect cell = panel->tableView()->visualRect(panel->tableView()->model()->index(1, 1));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(cell.center()), panel->tableView()->viewport()->mapToGlobal(QPointF(cell.center())),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel->tableView()->viewport(), &press);
    main.drain();
    EXPECT_EQ(view.calls, (QStringList{"stopPlayback", "seek:5000", "playPause:0"}));
}

TEST_F(SearchPanelTest, FindNextPreviousAndReturn)
{
    type("cat");
    EXPECT_FALSE(panel->validateFindPanelAction(QVSearchViewController::kFindNextTag)) << "no row selected";
    EXPECT_FALSE(panel->validateFindPanelAction(QVSearchViewController::kFindPreviousTag));
    emit panel->searchField()->returnPressed();
    main.drain();
    EXPECT_EQ(panel->tableView()->selectedRow(), 0);
    EXPECT_TRUE(panel->validateFindPanelAction(QVSearchViewController::kFindNextTag));
    EXPECT_FALSE(panel->validateFindPanelAction(QVSearchViewController::kFindPreviousTag));
    panel->performFindPanelAction(QVSearchViewController::kFindNextTag);
    main.drain();
    EXPECT_EQ(panel->tableView()->selectedRow(), 1);
    EXPECT_FALSE(panel->validateFindPanelAction(QVSearchViewController::kFindNextTag));
    EXPECT_TRUE(view.calls.contains("seek:5000")) << "the newly selected result plays";
    panel->performFindPanelAction(QVSearchViewController::kFindPreviousTag);
    main.drain();
    EXPECT_EQ(panel->tableView()->selectedRow(), 0);
    panel->clearSelectedRow();
    EXPECT_EQ(panel->tableView()->selectedRow(), -1);
}

TEST_F(SearchPanelTest, SpeakerFilterSearchesAgainAndColoursTheHeader)
{
    type("cat");
    QComboBox* popUp = panel->speakerPopUpButton();
    ASSERT_EQ(popUp->count(), 4);
    EXPECT_EQ(popUp->itemText(0), "Any Speaker");
    EXPECT_EQ(popUp->itemText(2), "Ann");
    panel->changedSpeakerPopUpButton(2);
    main.drain();
    EXPECT_EQ(panel->filteredSpeaker(), ann);
    EXPECT_EQ(panel->speakerHeaderColor(), QColor(Qt::red));
    ASSERT_EQ(panel->searchResults().size(), 1u);
    panel->buildSpeakerMenu();
    EXPECT_EQ(panel->filteredSpeaker(), ann) << "rebuilding the menu keeps the filter";
    EXPECT_EQ(popUp->currentIndex(), 2);
    panel->changedSpeakerPopUpButton(0);
    main.drain();
    EXPECT_EQ(panel->filteredSpeaker(), nullptr);
    EXPECT_EQ(panel->speakerHeaderColor(), QColor(128, 128, 128));
    EXPECT_EQ(panel->searchResults().size(), 2u);
}

TEST_F(SearchPanelTest, FollowingPlaybackColoursTheWordBeingHeard)
{
    type("cat");
    ad.words.at(0)->status = 1;
    auto colours = [&](int row) {
        QStringList found;
        for (const auto& colored : panel->wordsCellForRow(row).colors)
            found << QString("%1:%2").arg(colored.range.location).arg(colored.color.name(QColor::HexArgb));
        return found;
    };
    const QString dim = ad.dimmedTextColor.name(QColor::HexArgb);
    const QString brand = ad.brandColor.name(QColor::HexArgb);
    EXPECT_EQ(colours(0), (QStringList{"4:" + dim, "9:" + dim, "13:" + dim, "18:" + dim})) << "unheard words are dimmed";

    panel->highlightCurrentWordAtTime(2500);
    EXPECT_EQ(colours(0), (QStringList{"4:" + dim, "9:" + dim, "13:" + dim, "18:" + dim, "9:" + brand}));
    // Playback moves to the second result: the first shows its plain abstract.
    panel->highlightCurrentWordAtTime(5500);
    EXPECT_TRUE(colours(0).isEmpty());
    EXPECT_EQ(colours(1).back(), "0:" + brand);
    // Past every result nothing is coloured any more.
    panel->highlightCurrentWordAtTime(60000);
    EXPECT_TRUE(colours(1).isEmpty());
}

TEST_F(SearchPanelTest, BetweenWordsTheLastHeardWordIsHalfTransparent)
{
    ad.words.at(3)->start = 3000;
    ad.words.at(3)->end = 3500;
    ad.words.at(4)->start = 3800;
    type("cat");
    panel->highlightCurrentWordAtTime(2500);
    panel->highlightCurrentWordAtTime(3600);
    const auto cell = panel->wordsCellForRow(0);
    ASSERT_FALSE(cell.colors.empty());
    EXPECT_EQ(cell.colors.back().range.location, 9) << "still the word last heard";
    EXPECT_NEAR(cell.colors.back().color.alphaF(), 0.5, 0.01);
}

TEST_F(SearchPanelTest, WhileScrubbingTheResultBeingHeardIsCentredAtOnce)
{
    // Forty sentences of five words, each a result of its own.
    ad.words.clear();
    for (int i = 0; i < 200; ++i) {
        auto word = std::make_shared<QVWord>();
        word->setName(i % 5 == 4 ? QStringLiteral("cat.") : QStringLiteral("word"));
        word->start = i * 1000;
        word->end = i * 1000 + 1000;
        word->speakerRange = ad.speakerRanges.first();
        ad.words.add(word);
    }
    type("cat");
    ASSERT_EQ(panel->searchResults().size(), 40u);
    ad.isScrubbingMedia = true;
    panel->highlightCurrentWordAtTime(30 * 5000 + 4500);
    const int height = panel->tableView()->height();
    const int expected = std::min(30 * QVTableViewSearch::kRowPitch - int(std::lround(height * 0.5)) - 10,
                                  panel->tableView()->verticalScrollBar()->maximum());
    EXPECT_EQ(panel->tableView()->verticalScrollBar()->value(), expected);
}

}  // namespace
}  // namespace qv::search
