#include "platform/foundation/Preferences.h"
#include "platform/foundation/UndoManager.h"
#include "transcript-view/StepNavigation.h"
#include "transcript-view/TranscriptRowText.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/TranscriptViewController.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <map>

namespace qv::transcript::testing {
namespace {

using Rects = std::vector<QRectF>;

class RowTextTest : public TranscriptFixture {};

TEST_F(RowTextTest, WordsJoinWithBlanksAndParagraphBreaks)
{
    load({{"a", 0, 10, 0, true}, {"b", 20, 30, -1, true}, {"c", 40, 50}});
    const auto range = ad.speakerRanges.first();
    ASSERT_TRUE(range->text);
    EXPECT_EQ(range->text->string, "a\n\nb c");
    const std::pair<std::int64_t, std::int64_t> expected[] = {{0, 0}, {3, 3}, {5, 5}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(word(i)->characterStart, expected[i].first);
        EXPECT_EQ(word(i)->characterEnd, expected[i].second);
        EXPECT_EQ(word(i)->speakerRange, range);
    }
}

TEST_F(RowTextTest, RunsOfUnheardAndFavouriteWordsMerge)
{
    load({{"ab", 0, 10, 0}, {"c", 20, 30}, {"de", 40, 50}, {"fav", 60, 70}, {"heard", 80, 90}});
    word(3)->favorite = true;
    word(3)->status = 1;
    word(4)->status = 1;
    word(4)->favorite = true;
    word(0)->favorite = true;
    table.createAttributedStringForSpeakerRange(ad.speakerRanges.first());
    const auto& text = *ad.speakerRanges.first()->text;
    ASSERT_EQ(text.foregrounds.size(), 1u);
    EXPECT_EQ(text.foregrounds[0].range, (TextRange{0, 7}));
    EXPECT_EQ(text.foregrounds[0].color, ad.dimmedTextColor);
    // A favourite unheard word and a later run of favourites are separate ranges.
    ASSERT_EQ(text.backgrounds.size(), 2u);
    EXPECT_EQ(text.backgrounds[0].range, (TextRange{0, 2}));
    EXPECT_EQ(text.backgrounds[1].range, (TextRange{8, 9}));
}

TEST_F(RowTextTest, HighlightRectanglesSitOnTheLines)
{
    const struct {
        const char* name;
        Rects given;
        bool favorite;
        int lines;
        Rects expected;
    } cases[] = {
        {"one line, favourite", {{0, 0, 40, 25}}, true, 1, {{-2, 0, 44, 28}}},
        {"one line, highlight", {{0, 0, 40, 25}}, false, 1, {{0, 0, 40, 28}}},
        {"normal line", {{10, 25, 40, 25}}, false, 3, {{10, 25, 40, 20}}},
        {"last line", {{10, 50, 40, 25}}, false, 3, {{10, 50, 40, 28}}},
        {"two whole lines", {{0, 0, 40, 50}}, false, 3, {{0, 0, 40, 20}, {0, 25, 40, 20}, {0, 0, 40, 0}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reshapeHighlightRects(c.given, c.favorite, 25, 75 - 30, c.lines), c.expected) << c.name;
}

TEST_F(RowTextTest, RowHeightsRoundToTheLineGrid)
{
    ad.textSizeDisplay = 14;
    table.updateTextSizeDisplay();
    ASSERT_EQ(ad.lineHeightDisplay, 25);
    const std::pair<double, double> cases[] = {{2.5 * 25, 75}, {2.49 * 25, 50}, {1.4 * 25, 25}, {1.5 * 25, 50}, {0, 0}};
    for (const auto& [height, grid] : cases)
        EXPECT_EQ(table.rowHeightToGrid(height), grid) << height;
}

TEST_F(RowTextTest, TheLastRowCarriesOneEmptyLineAndEmptyRangesOneLine)
{
    load(shortScript());
    auto empty = std::make_shared<QVSpeakerRange>();
    empty->start = 9000;
    empty->uuid = "empty";
    ad.speakerRanges.add(empty);
    table.tableView().reloadData();
    // Ben's row is one line, like the last (empty) range's text plus its extra line.
    EXPECT_EQ(table.tableView().rectOfRow(3).height(), 25);
    EXPECT_EQ(table.tableView().rectOfRow(7).height(), 50);
    EXPECT_EQ(table.tableView().rectOfRow(6).height(), 25);
    EXPECT_EQ(table.wordsCell(7, true), nullptr);
    EXPECT_FALSE(empty->text);
}

TEST_F(RowTextTest, TextSizeChangeMeasuresEveryRowAgain)
{
    load(shortScript());
    EXPECT_FALSE(ad.rowHeights.isEmpty());
    ad.textSizeDisplay = 20;
    table.updateTextSizeDisplay();
    EXPECT_EQ(ad.lineHeightDisplay, 31);
    main.drain();
    EXPECT_EQ(table.tableView().rectOfRow(0).height(), 31);
    EXPECT_EQ(table.tableView().rectOfRow(3).height(), 31);
}

class TableReloadTest : public TranscriptFixture {};

TEST_F(TableReloadTest, NoRangesGiveNoRowsAndPreloadingStillFinishes)
{
    load({});
    EXPECT_EQ(table.tableView().numberOfRows(), 0);
    ad.hasPreloadedRowsToLastMediaTime = false;
    table.preloadRowsToLastMediaTime();
    EXPECT_TRUE(ad.hasPreloadedRowsToLastMediaTime);
}

TEST_F(TableReloadTest, WordTimesPickARowOrTheWholeTable)
{
    load(shortScript());
    const struct {
        std::int64_t time;
        bool fullReload;
    } cases[] = {
        {1500, false},  // Ann's row: only its height goes
        {3000, false},
        {5600, true},   // in the last range
        {500, true},    // before the first range
    };
    for (const auto& c : cases) {
        ad.currentTextView = rowView(0);
        table.reloadRowForWordStartTime(c.time);
        EXPECT_EQ(ad.rowHeights.isEmpty(), c.fullReload) << c.time;
        EXPECT_EQ(ad.currentTextView == nullptr, c.fullReload) << c.time;
        main.drain();
        EXPECT_EQ(ad.rowHeights.size(), 3) << c.time;
    }
}

TEST_F(TableReloadTest, WordsOfAnUnknownRangeReloadEverything)
{
    load(shortScript());
    QVOrderedSet<QVWord> words;
    words.add(word(3));
    table.reloadRowsForWords(words);
    EXPECT_FALSE(ad.rowHeights.contains("range1"));
    EXPECT_TRUE(ad.rowHeights.contains("range0"));
    main.drain();
    word(0)->speakerRange = std::make_shared<QVSpeakerRange>();
    words.add(word(0));
    table.reloadRowsForWords(words);
    EXPECT_TRUE(ad.rowHeights.isEmpty());
    main.drain();
    // A row reload whose row went away meanwhile is skipped.
    table.reloadRowForTableViewIndex(5);
    ad.speakerRanges.remove(ad.speakerRanges.last());
    table.tableView().reloadData();
    main.drain();
    EXPECT_EQ(table.tableView().numberOfRows(), 4);
}

// Adding a range, moving a range's start and undoing them measure again only the rows whose
// words changed; every other row keeps its text and height, and the table still shows each
// word in the range that holds it.
TEST_F(TableReloadTest, SpeakerRangeCommandsMeasureOnlyTheRowsTheyChange)
{
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    TranscriptTransport transport{ad, main, player, preferences, table, highlighter};
    StepNavigation navigation{ad, main, player, transport, highlighter};
    TranscriptViewController view{table, highlighter, transport, navigation, player};
    ad.viewServices = &view;
    ad.undoManager = std::make_shared<UndoManager>(main);
    load(evenScript(60, 6));
    auto texts = [this] {
        std::map<QString, const QVAttributedText*> byRange;
        for (const auto& range : ad.speakerRanges)
            byRange[range->uuid] = range->text.get();
        return byRange;
    };
    auto rebuilt = [&](const std::map<QString, const QVAttributedText*>& before) {
        QStringList changed;
        for (const auto& [uuid, text] : texts()) {
            const auto found = before.find(uuid);
            if (found == before.end() || found->second != text)
                changed << uuid;
        }
        return changed;
    };
    auto wordsInTheirRows = [this] {
        for (const auto& w : ad.words) {
            const auto end = speakers.getEndTimeForSpeakerRange(w->speakerRange, ad.speakerRanges);
            if (w->start < w->speakerRange->start || w->start >= end)
                return false;
        }
        return true;
    };

    // Word 15 is the fourth of range2: a new range starts there.
    ad.currentWord = word(15);
    ad.currentWordIndex = 15;
    auto before = texts();
    speakers.addSpeakerRangeAutoSelect(true);
    main.drain();
    ASSERT_EQ(ad.speakerRanges.size(), 11u);
    QStringList changed = rebuilt(before);
    changed.sort();
    EXPECT_EQ(changed.size(), 2) << changed.join(' ').toStdString();
    EXPECT_TRUE(changed.contains("range2"));
    EXPECT_TRUE(wordsInTheirRows());
    EXPECT_EQ(table.tableView().numberOfRows(), 22);

    before = texts();
    ad.undoManager->undo();
    main.drain();
    EXPECT_EQ(rebuilt(before), QStringList{"range2"});
    EXPECT_TRUE(wordsInTheirRows());

    // Moving range3's start back to word 15 changes range2 and range3 only.
    ad.currentWord = word(15);
    ad.currentWordIndex = 15;
    before = texts();
    speakers.changeNextSpeakerRangeStartToCurrentWord();
    main.drain();
    changed = rebuilt(before);
    changed.sort();
    EXPECT_EQ(changed, (QStringList{"range2", "range3"}));
    EXPECT_TRUE(wordsInTheirRows());
    before = texts();
    ad.undoManager->undo();
    main.drain();
    changed = rebuilt(before);
    changed.sort();
    EXPECT_EQ(changed, (QStringList{"range2", "range3"}));
    EXPECT_TRUE(wordsInTheirRows());
}

TEST_F(TableReloadTest, ALongTranscriptScrollsWithFewCells)
{
    std::vector<ScriptWord> script;
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
        names.push_back("word" + std::to_string(i));
    for (int i = 0; i < 3000; ++i)
        script.push_back({names[std::size_t(i)].c_str(), i * 400, i * 400 + 300, i % 40 == 0 ? i / 40 % 3 : -1});
    load(script);
    ViewTable& view = table.tableView();
    EXPECT_EQ(view.numberOfRows(), 150);
    for (double y = 0; y < view.documentHeight(); y += 400)
        view.scrollToPoint({0, y});
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    EXPECT_NE(table.wordsCell(149, false), nullptr);
    EXPECT_EQ(table.wordsCell(1, false), nullptr);
}

TEST_F(TableReloadTest, TheWheelScrollsOnlyWhilePaused)
{
    load(evenScript(400, 20));
    ViewTable& view = table.tableView();
    auto wheel = [&] {
        QWheelEvent event({10, 10}, {10, 10}, {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
        return view.verticalScrollBar()->value();
    };
    player.playing = 1;
    EXPECT_EQ(wheel(), 0);
    player.playing = 0;
    EXPECT_GT(wheel(), 0);
}

class MouseSelectionTest : public TranscriptFixture {};

TEST_F(MouseSelectionTest, PointsMapToWords)
{
    load(shortScript());
    QVTextView* ann = rowView(0);
    ASSERT_NE(ann, nullptr);
    // "Hello there,\n\nThird": the blank after "Hello" takes the next word.
    const QRectF blank = ann->boundingRectForRange({5, 1});
    EXPECT_EQ(table.wordFromPoint(blank.center(), 0), word(1));
    EXPECT_EQ(table.wordFromPoint(pointOf(word(2)), 0), word(2));
    const QRectF breakLine = ann->boundingRectForRange({13, 1});
    EXPECT_EQ(table.wordFromPoint(breakLine.center(), 0), nullptr);
    EXPECT_EQ(table.wordFromPoint({590, 200}, 0), nullptr);
    EXPECT_EQ(table.wordFromPoint(pointOf(word(0)), 7), nullptr);
    EXPECT_EQ(table.wordFromPoint(pointOf(word(0)), -1), nullptr);

    ad.currentWord = word(4);
    table.mouseDownOnTextViewAtPoint(breakLine.center(), 0);
    EXPECT_EQ(ad.currentWord, word(4));
}

TEST_F(MouseSelectionTest, DragsSelectSpansEitherWay)
{
    load(shortScript());
    player.milliseconds = 1000;
    table.mouseDownOnTextViewAtPoint(pointOf(word(2)), 0);
    EXPECT_EQ(ad.currentWord, word(2));
    EXPECT_EQ(ad.currentWordIndex, 2);
    player.playing = 1;
    table.mouseDraggedOnTextViewAtPoint(pointOf(word(0)), 0);
    EXPECT_EQ(player.pauses, 1);
    EXPECT_EQ(ad.selectionWordStart, word(0));
    EXPECT_EQ(ad.selectionWordEnd, word(2));
    EXPECT_EQ(ad.currentWord, word(2));
    EXPECT_EQ(rowView(0)->highlightedRange(), (TextRange{0, 19}));
    EXPECT_EQ(highlighter.selectionDurationDisplay(), "| 3 words selected | 0:02");

    table.mouseDraggedOnTextViewAtPoint(pointOf(word(2)), 0);
    EXPECT_EQ(ad.selectionWordStart, nullptr);
    EXPECT_EQ(ad.selectionWordEnd, nullptr);
    EXPECT_EQ(ad.currentWord, word(2));
    // A drag onto no word leaves the selection as it was.
    table.mouseDraggedOnTextViewAtPoint(pointOf(word(0)), 0);
    table.mouseDraggedOnTextViewAtPoint({590, 200}, 0);
    EXPECT_EQ(ad.selectionWordStart, word(0));
    // Words in two ranges select, but only a run inside one range is highlighted.
    table.mouseDraggedOnTextViewAtPoint(pointOf(word(3)), 1);
    EXPECT_EQ(ad.selectionWordEnd, word(3));
}

TEST_F(MouseSelectionTest, ClicksOutsideTheEditWindow)
{
    std::vector<ScriptWord> script{{"aaaaaaaaa", 0, 10, 0}};
    for (int i = 0; i < 6; ++i)
        script.push_back({"bbbbb", 20 + 10 * i, 25 + 10 * i});
    load(script);
    QVTextView* view = rowView(0);
    ASSERT_EQ(view->model().length(), 45);
    view->setCharacterLocks(10, 5);
    ad.isEditing = true;
    ad.currentTextView = view;
    auto at = [&](qsizetype c) { return view->boundingRectForRange({c, 1}).center(); };
    EXPECT_FALSE(table.pointIsExternal(at(10), 0));
    EXPECT_FALSE(table.pointIsExternal(at(39), 0));
    EXPECT_TRUE(table.pointIsExternal(at(9), 0));
    EXPECT_TRUE(table.pointIsExternal(at(40), 0));
    ad.currentTextView = nullptr;
    EXPECT_TRUE(table.pointIsExternal(at(20), 0));
    ad.isEditing = false;
    view->setCharacterLocks(-1, -1);
    EXPECT_FALSE(table.pointIsExternal(at(0), 0));
}

TEST_F(MouseSelectionTest, APendingClickIsReplayedOnceWhenTheRowIsBuilt)
{
    load(shortScript());
    ad.mouseDownPendingSpeakerRangeIndex = 1;
    const QPointF point = pointOf(word(4));
    ad.mouseDownPendingPoint = point;
    table.reloadRowForTableViewIndex(3);
    main.drain();
    EXPECT_EQ(ad.currentWord, word(4));
    EXPECT_EQ(ad.mouseDownPendingSpeakerRangeIndex, -1);
    EXPECT_FALSE(ad.mouseDownPendingPoint);
}

}  // namespace
}  // namespace qv::transcript::testing
