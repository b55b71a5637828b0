#include "model/EditingTrace.h"
#include "transcript-view/TranscriptTable.h"

#include "model/EditingServices.h"
#include "model/ModelServices.h"
#include "model/SearchServices.h"
#include "model/SpeakerServices.h"
#include "speakers/SpeakerRangeHeaderView.h"
#include "speakers/SpeakersController.h"
#include "transcript-view/TranscriptRowText.h"
#include "transcript-view/WordHighlighter.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace qv::transcript {

namespace {

constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max();

}  // namespace

TranscriptTable::TranscriptTable(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player)
    : ad_(ad), main_(main), player_(player), table_(std::make_unique<ViewTable>()), measure_(std::make_unique<TextView>())
{
    if (ad_.textSizeDisplay <= 0)
        ad_.textSizeDisplay = 14;
    if (ad_.textSizeExport <= 0)
        ad_.textSizeExport = 12;
    updateTextSizeDisplay();
    updateTextSizeExport();
    table_->setDataSource(this);
    table_->setFloatsGroupRows(true);
    // While the media plays the transcript follows the playhead; the wheel would fight it.
    table_->setWheelScrollAllowed([this] { return player_.rate() == 0; });
}

TranscriptTable::~TranscriptTable()
{
    *alive_ = false;
    table_->setDataSource(nullptr);
    // The row views go with the table: no range or state may keep pointing at one.
    for (const auto& range : ad_.speakerRanges)
        range->textView = nullptr;
    ad_.currentTextView = nullptr;
}

std::shared_ptr<QVSpeakerRange> TranscriptTable::rangeAt(std::int64_t index) const
{
    return index < 0 ? nullptr : ad_.speakerRanges.at(static_cast<std::size_t>(index));
}

double TranscriptTable::rowHeightToGrid(double height) const
{
    const double line = ad_.lineHeightDisplay;
    if (line <= 0)
        return height;
    const float lines = static_cast<float>(height / line);
    return std::round(lines) * line;
}

std::int64_t TranscriptTable::endTimeOfSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range) const
{
    if (ad_.speakerServices)
        return ad_.speakerServices->getEndTimeForSpeakerRange(range, ad_.speakerRanges);
    const auto index = ad_.speakerRanges.indexOf(range);
    const auto next = index ? ad_.speakerRanges.at(*index + 1) : nullptr;
    return next ? next->start : kNoEnd;
}

void TranscriptTable::willReloadData()
{
    // A few rows to measure find their words by a search each; grouping all words pays off only
    // when many rows are measured (opening, a new text size).
    constexpr std::size_t kGroupingPaysFrom = 64;
    std::size_t unmeasured = 0;
    for (const auto& range : ad_.speakerRanges) {
        if (!ad_.rowHeights.contains(range->uuid) && ++unmeasured >= kGroupingPaysFrom)
            break;
    }
    if (unmeasured < kGroupingPaysFrom)
        return;
    std::vector<std::int64_t> starts;
    for (const auto& range : ad_.speakerRanges)
        starts.push_back(range->start);
    if (!std::is_sorted(starts.begin(), starts.end()))
        return;
    wordsByRange_.emplace(starts.size());
    for (const auto& word : ad_.words) {
        const auto after = std::upper_bound(starts.begin(), starts.end(), word->start);
        if (after != starts.begin())
            (*wordsByRange_)[static_cast<std::size_t>(after - starts.begin() - 1)].push_back(word);
    }
}

double TranscriptTable::createAttributedStringForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range)
{
    const std::vector<std::shared_ptr<QVWord>>* candidates = nullptr;
    if (wordsByRange_) {
        if (const auto index = ad_.speakerRanges.indexOf(range); index && *index < wordsByRange_->size())
            candidates = &(*wordsByRange_)[*index];
    }
    std::optional<QVAttributedText> text = buildRowText(ad_, range, endTimeOfSpeakerRange(range), candidates);
    if (!text)
        return ad_.lineHeightDisplay;
    range->text = std::make_shared<QVAttributedText>(std::move(*text));
    measure_->model().setString(range->text->string);
    return measure_->usedHeight(kMeasureWidth);
}

void TranscriptTable::scrollToGrid()
{
    const double y = rowHeightToGrid(table_->visibleRect().y());
    currentScrollAnimation = QVScrollAnimation::animatedScrollToPoint(QPointF(0, y), table_.get(), main_);
}

qsizetype TranscriptTable::numberOfRows()
{
    return static_cast<qsizetype>(2 * ad_.speakerRanges.size());
}

double TranscriptTable::heightOfRow(qsizetype row)
{
    if (row % 2 == 0)
        return ad_.lineHeightDisplay;
    const std::int64_t index = row / 2;
    const auto range = rangeAt(index);
    if (!range)
        return ad_.lineHeightDisplay;
    if (!ad_.rowHeights.isEmpty() && !range->uuid.isNull() && ad_.rowHeights.contains(range->uuid))
        return ad_.rowHeights.value(range->uuid);
    const double height = wordsRowHeight(index, createAttributedStringForSpeakerRange(range));
    ad_.rowHeights.insert(range->uuid, static_cast<float>(height));
    return height;
}

double TranscriptTable::wordsRowHeight(std::int64_t index, double textHeight) const
{
    double height = rowHeightToGrid(textHeight);
    if (static_cast<std::int64_t>(ad_.speakerRanges.size()) == index + 1)
        height += ad_.lineHeightDisplay;
    return height;
}

TranscriptWordsCell* TranscriptTable::makeWordsCell()
{
    auto* cell = static_cast<TranscriptWordsCell*>(table_->dequeueReusableView(kWordView));
    if (cell)
        return cell;
    cell = new TranscriptWordsCell(ad_, main_);
    table_->setIdentifier(cell, kWordView);
    QVTextView* view = cell->textView();
    view->setBackgroundShaper([this, view](const std::vector<QRectF>& rects, const QColor& color) {
        const int lines = std::max(1, static_cast<int>(std::lround(view->usedHeight() / ad_.lineHeightDisplay)));
        return reshapeHighlightRects(rects, color == favoriteBackgroundColor(), ad_.lineHeightDisplay,
                                     view->height() - 30, lines);
    });
    auto rangeIndex = [this, view] { return table_->rowForView(view) / 2; };
    view->setMouseDownHook([this, view, rangeIndex](const QPointF& point) {
        ad_.selectionExtensionDirection = 0;
        const std::int64_t index = rangeIndex();
        if (!ad_.isEditing) {
            mouseDownOnTextViewAtPoint(point, index);
        } else if (pointIsExternal(point, index)) {
            ad_.mouseDownPendingSpeakerRangeIndex = index;
            ad_.mouseDownPendingPoint = point;
            if (ad_.editingServices)
                ad_.editingServices->finishEditingIfNecessary();
        }
        (void)view;
    });
    view->setMouseDraggedHook([this, rangeIndex](const QPointF& point) { mouseDraggedOnTextViewAtPoint(point, rangeIndex()); });
    view->setMouseMovedHook([this, view, rangeIndex](const QPointF& point) {
        const bool external = ad_.isEditing && pointIsExternal(point, rangeIndex());
        view->setCursor(ad_.isEditing && !external ? Qt::IBeamCursor : Qt::ArrowCursor);
    });
    return cell;
}

void TranscriptTable::fillWordsCell(TranscriptWordsCell* cell, std::int64_t row,
                                    const std::shared_ptr<QVSpeakerRange>& range)
{
    cell->setSpeakerRange(range);
    cell->applyTextSize(ad_);
    QVTextView* view = cell->textView();
    TextViewModel& model = view->model();
    model.setTypingAttributes({});
    model.setString(range->text->string);
    for (const auto& run : range->text->backgrounds)
        model.setBackground(run.range, run.color);
    for (const auto& run : range->text->foregrounds)
        model.setForeground(run.range, run.color);
    model.setEditable(false);
    model.setSelectable(false);
    view->setHighlightedRange({0, 0});
    view->invalidateLayout();
    range->textView = view;
    cell->preFirstWordIndicator()->setVisible(row == 1 && ad_.isBeforeFirstWord);
}

QWidget* TranscriptTable::viewForRow(qsizetype row)
{
    const std::int64_t index = row / 2;
    const auto range = rangeAt(index);
    if (!range)
        return nullptr;
    if (row % 2 == 0) {
        if (!speakers_)
            return nullptr;
        auto* cell = static_cast<speakers::SpeakerRangeHeaderView*>(table_->dequeueReusableView(kSpeakerView));
        if (!cell) {
            cell = new speakers::SpeakerRangeHeaderView(*speakers_);
            table_->setIdentifier(cell, kSpeakerView);
        }
        cell->setSpeakerRange(range);
        speakers_->headerRows().buildSpeakerRangePopup(index, cell, range == ad_.pendingNewSpeakerRange);
        return cell;
    }
    if (!range->text || range->text->string.isEmpty())
        return nullptr;
    TranscriptWordsCell* cell = makeWordsCell();
    fillWordsCell(cell, row, range);

    std::weak_ptr<bool> alive = alive_;
    if (ad_.mouseDownPendingSpeakerRangeIndex == index) {
        main_.async([this, alive, index] {
            if (alive.expired() || !ad_.mouseDownPendingPoint)
                return;
            mouseDownOnTextViewAtPoint(*ad_.mouseDownPendingPoint, index);
            ad_.mouseDownPendingPoint.reset();
            ad_.mouseDownPendingSpeakerRangeIndex = -1;
        });
    } else if (!ad_.isEditing && highlighter_) {
        const bool settled = ad_.currentMode == 2 && !ad_.loadFileDoTransitionInProgress && ad_.hasPreloadedRowsToLastMediaTime;
        const std::int64_t now = player_.currentMilliseconds();
        if (range->start <= now && now < endTimeOfSpeakerRange(range)) {
            const bool autoScroll = ad_.loadFileDoTransitionInProgress || ad_.currentMode != 2;
            main_.async([this, alive, settled, autoScroll] {
                if (!alive.expired() && highlighter_)
                    highlighter_->highlightWordAtTime(player_.currentMilliseconds(), true, !settled, autoScroll);
            });
        }
    }
    return cell;
}

void TranscriptTable::prepareForReuse(QWidget* view)
{
    if (auto* header = dynamic_cast<speakers::SpeakerRangeHeaderView*>(view)) {
        header->prepareForReuse();
        return;
    }
    auto* cell = dynamic_cast<TranscriptWordsCell*>(view);
    if (!cell)
        return;
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QString::asprintf("\nprepareForReuse called for speakerRange %p\n",
                                               static_cast<const void*>(cell->speakerRange().get())));
    if (const auto& range = cell->speakerRange()) {
        if (ad_.currentTextView == range->textView && ad_.currentTextView) {
            ad_.currentTextView->model().setSelectable(false);
            ad_.currentTextView->model().setEditable(false);
            dropCurrentTextView(QStringLiteral("prepareForReuse"));
        }
        range->textView = nullptr;
    }
    cell->setSpeakerRange(nullptr);
    cell->textView()->model().setSelectable(false);
    cell->textView()->model().setEditable(false);
    cell->textView()->setCharacterLocks(-1, -1);
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QStringLiteral("*****\nin prepareForReuse lower/upperCharacterLock was set to -1\n"));
}

TranscriptWordsCell* TranscriptTable::wordsCell(std::int64_t row, bool makeIfNecessary)
{
    if (row < 0 || row % 2 == 0)
        return nullptr;
    return dynamic_cast<TranscriptWordsCell*>(table_->viewAtRow(row, makeIfNecessary));
}

speakers::SpeakerRangeHeaderCell* TranscriptTable::existingHeaderCell(std::int64_t row)
{
    if (row < 0 || row % 2 != 0)
        return nullptr;
    return dynamic_cast<speakers::SpeakerRangeHeaderView*>(table_->viewAtRow(row, false));
}

void TranscriptTable::buildSpeakerMenu()
{
    if (ad_.searchServices)
        ad_.searchServices->buildSpeakerMenu();
}

void TranscriptTable::searchForString(const QString&)
{
    if (ad_.searchServices)
        ad_.searchServices->searchForString();
}

void TranscriptTable::resetFocus()
{
    // While a word is edited the keys belong to its row: a task queued before the edit opened
    // (the end of a rename, say) must not take them to the table's key handler.
    if (ad_.isEditing && ad_.currentTextView)
        ad_.currentTextView->setFocus();
    else
        table_->setFocus();
}

bool TranscriptTable::isOptionKeyDown()
{
    // The modifiers of the event being handled (the click on the button), not a round trip to
    // the display server for those of this moment.
    return QApplication::keyboardModifiers() & Qt::AltModifier;
}

void TranscriptTable::preloadRowsToLastMediaTime()
{
    const std::int64_t last = ad_.currentFile ? ad_.currentFile->lastMediaTime : 0;
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(ad_.speakerRanges.size()); ++i) {
        const auto range = rangeAt(i);
        if (!range || last < range->start)
            break;
        table_->viewAtRow(2 * i, true);
        table_->viewAtRow(2 * i + 1, true);
    }
    ad_.hasPreloadedRowsToLastMediaTime = true;
    if (ad_.modelServices)
        ad_.modelServices->loadFileAttemptTransition();
}

void TranscriptTable::clearSelection()
{
    if (ad_.editingServices)
        ad_.editingServices->clearSelection();
}

std::optional<QString> TranscriptTable::speakerRangeUUIDFromRow(std::int64_t row) const
{
    if (row < 0)
        return std::nullopt;
    const auto range = rangeAt(row / 2);
    if (!range)
        return std::nullopt;
    return range->uuid;
}

void TranscriptTable::reloadRowForTableViewIndex(std::int64_t row)
{
    clearSelection();
    if (const auto uuid = speakerRangeUUIDFromRow(row))
        ad_.rowHeights.remove(*uuid);
    if (!rowsQueued_.insert(row).second)
        return;
    std::weak_ptr<bool> alive = alive_;
    main_.async([this, alive, row] {
        if (!alive.expired() && rowsQueued_.erase(row) > 0)
            reloadQueuedRow(row);
    });
}

void TranscriptTable::dropCurrentTextView(const QString& method)
{
    ad_.currentTextView = nullptr;
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QStringLiteral("*****\nin %1 self.currentTextView assigned to nil\n").arg(method));
}

void TranscriptTable::reloadTranscriptTable(const QString& method)
{
    ad_.rowHeights.clear();
    reloadTranscriptRows(method);
}

void TranscriptTable::reloadTranscriptRows(const QString& method)
{
    clearSelection();
    dropCurrentTextView(method);
    queueReload();
}

void TranscriptTable::queueReload()
{
    if (reloadQueued_)
        return;
    reloadQueued_ = true;
    std::weak_ptr<bool> alive = alive_;
    main_.async([this, alive] {
        if (!alive.expired() && reloadQueued_)
            reloadQueuedRows();
    });
}

void TranscriptTable::reloadQueuedRows()
{
    if (reloadQueued_) {
        reloadQueued_ = false;
        // The whole reload measures again every row whose height was dropped.
        rowsQueued_.clear();
        table_->reloadData();
        return;
    }
    for (const std::int64_t row : std::exchange(rowsQueued_, {}))
        reloadQueuedRow(row);
}

void TranscriptTable::reloadQueuedRow(std::int64_t row)
{
    if (row / 2 >= static_cast<std::int64_t>(ad_.speakerRanges.size()) || row >= table_->numberOfRows())
        return;
    table_->noteHeightOfRowChanged(row);
    table_->reloadRow(row);
}

void TranscriptTable::reloadRowForWordStartTime(std::int64_t milliseconds)
{
    std::int64_t k = -1;
    for (std::size_t i = 0; i < ad_.speakerRanges.size(); ++i) {
        if (ad_.speakerRanges.at(i)->start > milliseconds) {
            k = static_cast<std::int64_t>(i);
            break;
        }
    }
    if (k >= 1)
        reloadRowForTableViewIndex(2 * k - 1);
    else
        reloadTranscriptTable(QStringLiteral("reloadRowForWordStartTime:"));
}

void TranscriptTable::reloadRowsForWords(const QVOrderedSet<QVWord>& words)
{
    if (words.empty())
        return;
    clearSelection();
    std::vector<std::shared_ptr<QVSpeakerRange>> ranges;
    std::set<const QVSpeakerRange*> seen;
    for (const auto& word : words) {
        if (word && word->speakerRange && seen.insert(word->speakerRange.get()).second)
            ranges.push_back(word->speakerRange);
    }
    std::vector<std::int64_t> rows;
    for (const auto& range : ranges) {
        const auto index = ad_.speakerRanges.indexOf(range);
        if (!index) {
            reloadTranscriptTable(QStringLiteral("reloadRowsForWords:"));
            return;
        }
        rows.push_back(2 * static_cast<std::int64_t>(*index) + 1);
    }
    for (std::int64_t row : rows)
        reloadRowForTableViewIndex(row);
}

void TranscriptTable::updateRowHeightForTextView(QVTextView* textView)
{
    // The row is measured as the table measures it, from the text the view now lays out: the
    // text view keeps the size of its cell and does not grow with its text.
    const qsizetype row = table_->rowForView(textView);
    if (const auto uuid = speakerRangeUUIDFromRow(row); uuid && ad_.rowHeights.contains(*uuid)) {
        const double height = wordsRowHeight(row / 2, textView->usedHeight(kMeasureWidth));
        if (height == ad_.rowHeights.value(*uuid))
            return;
        ad_.rowHeights.insert(*uuid, height);
    }
    table_->noteHeightOfRowChanged(row);
}

void TranscriptTable::updateTextSizeDisplay()
{
    ad_.lineHeightDisplay = ad_.textSizeDisplay + 11;
    TranscriptWordsCell::applyTextLook(*measure_, ad_);
    if (!ad_.currentFile)
        return;
    std::weak_ptr<bool> alive = alive_;
    main_.async([this, alive] {
        if (alive.expired())
            return;
        ad_.rowHeights.clear();
        dropCurrentTextView(QStringLiteral("updateTextSizeDisplay"));
        table_->reloadData();
    });
}

void TranscriptTable::updateTextSizeExport()
{
    ad_.lineHeightExport = ad_.textSizeExport + 11;
}

std::int64_t TranscriptTable::indexOfWord(const std::shared_ptr<QVWord>& word) const
{
    const auto index = ad_.words.indexOf(word);
    return index ? static_cast<std::int64_t>(*index) : -1;
}

std::shared_ptr<QVWord> TranscriptTable::wordFromPoint(const QPointF& point, std::int64_t speakerRangeIndex)
{
    const auto range = rangeAt(speakerRangeIndex);
    if (!range || !range->textView || range->textView->model().string().isEmpty())
        return nullptr;
    const QString& text = range->textView->model().string();
    qsizetype c = range->textView->characterIndexForPoint(point);
    if (c < 0 || c >= text.size())
        return nullptr;
    if (text.at(c) == QChar(' '))
        ++c;
    for (const auto& word : ad_.words) {
        if (word->speakerRange == range && word->characterStart <= c && word->characterEnd >= c)
            return word;
    }
    return nullptr;
}

void TranscriptTable::refreshControls()
{
    if (ad_.editingServices)
        ad_.editingServices->refreshEditingOptions();
    if (ad_.speakerServices)
        ad_.speakerServices->refreshSpeakerRangeChangesAllowed();
}

void TranscriptTable::mouseDownOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex)
{
    ad_.selectionWordMouseDown = wordFromPoint(point, speakerRangeIndex);
    if (!ad_.selectionWordMouseDown)
        return;
    resetFocus();
    if (ad_.searchServices)
        ad_.searchServices->clearSelectedRow();
    ad_.selectionWordMouseUp = ad_.selectionWordMouseDown;
    if (ad_.currentTextView && !ad_.currentTextView->model().string().isEmpty())
        ad_.currentTextView->removeHighlight();
    ad_.currentWord = ad_.selectionWordMouseDown;
    ad_.currentWordIndex = indexOfWord(ad_.currentWord);
    if (highlighter_)
        highlighter_->highlightFromWord(ad_.selectionWordMouseDown, ad_.selectionWordMouseDown, false);
    ad_.selectionWordStart = nullptr;
    ad_.selectionWordEnd = nullptr;
    refreshControls();
}

void TranscriptTable::mouseDraggedOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex)
{
    if (player_.rate() != 0)
        player_.pause();
    ad_.selectionWordMouseUp = wordFromPoint(point, speakerRangeIndex);
    if (!ad_.selectionWordMouseUp)
        return;
    const auto down = ad_.selectionWordMouseDown;
    const auto up = ad_.selectionWordMouseUp;
    if (!down)
        return;
    if (down == up) {
        ad_.currentWord = down;
        ad_.currentWordIndex = indexOfWord(down);
        if (highlighter_)
            highlighter_->highlightFromWord(down, down, false);
        ad_.selectionWordStart = nullptr;
        ad_.selectionWordEnd = nullptr;
    } else {
        const bool downFirst = down->start < up->start;
        ad_.selectionWordStart = downFirst ? down : up;
        ad_.selectionWordEnd = downFirst ? up : down;
        if (highlighter_)
            highlighter_->highlightFromWord(ad_.selectionWordStart, ad_.selectionWordEnd, false);
    }
    refreshControls();
}

bool TranscriptTable::pointIsExternal(const QPointF& point, std::int64_t speakerRangeIndex)
{
    const auto range = rangeAt(speakerRangeIndex);
    if (!range || !range->textView || range->textView->model().string().isEmpty())
        return false;
    QVTextView* view = range->textView;
    if (ad_.isEditing && view != ad_.currentTextView)
        return true;
    const qsizetype lower = view->lowerCharacterLock();
    const qsizetype upper = view->upperCharacterLock();
    if (lower < 0 || upper < 0)
        return false;
    const qsizetype c = view->characterIndexForPoint(point);
    return c >= view->model().length() - upper || c < lower;
}

}  // namespace qv::transcript
