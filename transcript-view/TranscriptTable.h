// The open transcript as a table: row 2i is the speaker header of range i, row 2i+1 its words.
// Measures and caches the words rows' heights on the line grid, builds and reuses the cells,
// reloads rows after edits, maps mouse points to words and selects words with the mouse, and
// gives the speakers subsystem the header cells it needs. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/ui/ViewTable.h"
#include "speakers/SpeakerHost.h"
#include "transcript-view/QVScrollAnimation.h"
#include "transcript-view/TranscriptPlayer.h"
#include "transcript-view/TranscriptWordsCell.h"

#include <QPointF>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

namespace qv::speakers {
class SpeakersController;
}

namespace qv::transcript {

class WordHighlighter;

class TranscriptTable final : public ViewTableDataSource, public speakers::SpeakerHost {
public:
    // Width at which row heights are measured, in points.
    static constexpr double kMeasureWidth = TranscriptWordsCell::kTextWidth;
    // Identifiers of the reusable cells.
    static inline const QString kSpeakerView = QStringLiteral("SpeakerView");
    static inline const QString kWordView = QStringLiteral("WordView");

    TranscriptTable(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player);
    ~TranscriptTable() override;
    TranscriptTable(const TranscriptTable&) = delete;
    TranscriptTable& operator=(const TranscriptTable&) = delete;

    void setSpeakersController(speakers::SpeakersController* speakers) { speakers_ = speakers; }
    void setHighlighter(WordHighlighter* highlighter) { highlighter_ = highlighter; }
    ViewTable& tableView() { return *table_; }

    // Row heights and the line grid.
    // The nearest multiple of the line height (halves away from zero).
    double rowHeightToGrid(double height) const;
    // Builds `range`'s row text, sets its words' character ranges and answers the text's height
    // at the measuring width (one line height for a range without words).
    double createAttributedStringForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range);
    // Start of the range after `range`, or INT64_MAX.
    std::int64_t endTimeOfSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range) const;
    // Animates the visible top onto the line grid.
    void scrollToGrid();
    std::shared_ptr<QVScrollAnimation> currentScrollAnimation;

    // Reloads.
    void preloadRowsToLastMediaTime();
    void reloadRowForTableViewIndex(std::int64_t row);
    void reloadRowForWordStartTime(std::int64_t milliseconds);
    void reloadRowsForWords(const QVOrderedSet<QVWord>& words);
    // Empties the height cache, drops the current text view and reloads every row on the next turn.
    void reloadTranscriptTable(const QString& method);
    // As above, keeping the heights still cached: only the rows without one are measured.
    void reloadTranscriptRows(const QString& method);
    // Carries out now the reloads queued by changes made since the rows were last loaded, which
    // would otherwise wait for their turn on the main queue behind input already handed out.
    void reloadQueuedRows();
    void updateRowHeightForTextView(QVTextView* textView);
    std::optional<QString> speakerRangeUUIDFromRow(std::int64_t row) const;
    // Apply the text-size preferences (line height = size + 11).
    void updateTextSizeDisplay();
    void updateTextSizeExport();

    // The words cell of `row` (odd), made when asked to; none for a speaker row or no cell.
    TranscriptWordsCell* wordsCell(std::int64_t row, bool makeIfNecessary);

    // Mouse selection.
    std::shared_ptr<QVWord> wordFromPoint(const QPointF& point, std::int64_t speakerRangeIndex);
    void mouseDownOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex);
    void mouseDraggedOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex);
    bool pointIsExternal(const QPointF& point, std::int64_t speakerRangeIndex);

    // Data source.
    qsizetype numberOfRows() override;
    double heightOfRow(qsizetype row) override;
    QWidget* viewForRow(qsizetype row) override;
    void prepareForReuse(QWidget* view) override;
    // Speaker rows head their words rows and float over them as those scroll.
    bool isGroupRow(qsizetype row) override { return row % 2 == 0; }
    // A full reload groups the words by range once instead of scanning them for every row.
    void willReloadData() override;
    void didReloadData() override { wordsByRange_.reset(); }

    // Speaker host. Speaker changes rebuild the search panel's filter and search again.
    std::int64_t numberOfTranscriptRows() override { return numberOfRows(); }
    speakers::SpeakerRangeHeaderCell* existingHeaderCell(std::int64_t row) override;
    void beginTableUpdates() override {}
    void endTableUpdates() override {}
    void buildSpeakerMenu() override;
    void searchForString(const QString&) override;
    void resetFocus() override;
    bool isOptionKeyDown() override;

private:
    std::shared_ptr<QVSpeakerRange> rangeAt(std::int64_t index) const;
    // Height of the words row of range `index` for a text `textHeight` high: on the row grid, the
    // last row one line taller.
    double wordsRowHeight(std::int64_t index, double textHeight) const;
    TranscriptWordsCell* makeWordsCell();
    void fillWordsCell(TranscriptWordsCell* cell, std::int64_t row, const std::shared_ptr<QVSpeakerRange>& range);
    void dropCurrentTextView(const QString& method);
    void clearSelection();
    void refreshControls();
    std::int64_t indexOfWord(const std::shared_ptr<QVWord>& word) const;
    // Queues one reload of the table, however many are asked for in a turn.
    void queueReload();
    void reloadQueuedRow(std::int64_t row);

    AppDelegate& ad_;
    Dispatcher& main_;
    TranscriptPlayer& player_;
    speakers::SpeakersController* speakers_ = nullptr;
    WordHighlighter* highlighter_ = nullptr;
    std::unique_ptr<ViewTable> table_;
    // The off-screen view that measures every row at the measuring width.
    std::unique_ptr<TextView> measure_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool reloadQueued_ = false;
    // Words rows whose reload is queued, each once.
    std::set<std::int64_t> rowsQueued_;
    // During a full reload: the words of each range, by range index.
    std::optional<std::vector<std::vector<std::shared_ptr<QVWord>>>> wordsByRange_;
};

}  // namespace qv::transcript
