#include "model/EditingTrace.h"
#include "transcript-view/WordHighlighter.h"

#include "model/EditingServices.h"
#include "model/OpenFileQueries.h"
#include "model/SearchServices.h"
#include "model/SpeakerServices.h"
#include "model/TimeUtilities.h"
#include "transcript-view/QVAttributedText.h"
#include "transcript-view/TranscriptTable.h"

#include <cmath>
#include <limits>

namespace qv::transcript {

namespace {

constexpr std::int64_t kNoNextWord = std::numeric_limits<std::int64_t>::max();
// Space the window's title bar, toolbar and status bar take from its height, in points.
constexpr double kWindowChrome = 38 + 31 + 20;
// The line sits this far above the glyphs' top.
constexpr double kLineOffset = -3;

QColor halfOpacity(QColor color)
{
    color.setAlphaF(0.5f);
    return color;
}

}  // namespace

WordHighlighter::WordHighlighter(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player, TranscriptTable& table)
    : ad_(ad), main_(main), player_(player), table_(table)
{
}

void WordHighlighter::resetCurrentWordTiming()
{
    ad_.currentWordStartTime = -1;
    ad_.currentWordEndTime = -1;
    ad_.nextWordStartTime = kNoNextWord;
}

std::optional<double> WordHighlighter::followTarget(double y, double top, double height, double lineHeight)
{
    const double d = y - top;
    if (d < kFollowLines * lineHeight)
        return y - kFollowLines * lineHeight;
    const double bottom = std::floor(static_cast<float>(height / lineHeight)) * lineHeight - kFollowLines * lineHeight;
    if (d > bottom)
        return y - bottom;
    return std::nullopt;
}

double WordHighlighter::centringDistance(double windowHeight, bool showsNavigationControls)
{
    const double usable = windowHeight < 0 ? -kWindowChrome : windowHeight - kWindowChrome;
    const double offset = showsNavigationControls ? -80 : -40;
    return std::round(static_cast<float>((usable + offset) * 0.5));
}

void WordHighlighter::makeCurrentTextView(QVTextView* view, const QString& method)
{
    if (view == ad_.currentTextView)
        return;
    ad_.currentTextView = view;
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QString::asprintf("*****\nin %s self.currentTextView assigned to %p\n",
                                               method.toUtf8().constData(), static_cast<const void*>(view)));
    if (ad_.isEditing && view) {
        qv::appendToEditingTrace(ad_.debugCharacterEditing, QString::asprintf(
            "*****\nin %s self.currentTextView reassigned to: %p\nlower/upperCharacterLocks:%lld/%lld\n*****\n\n",
            method.toUtf8().constData(), static_cast<const void*>(view), static_cast<long long>(view->lowerCharacterLock()),
            static_cast<long long>(view->upperCharacterLock())));
    }
}

void WordHighlighter::showPreFirstWordIndicator(bool shown)
{
    if (TranscriptWordsCell* cell = table_.wordsCell(1, false))
        cell->preFirstWordIndicator()->setVisible(shown);
}

void WordHighlighter::setTopAsync(double y)
{
    if (table_.currentScrollAnimation)
        table_.currentScrollAnimation->stopAnimation();
    ViewTable* table = &table_.tableView();
    QPointer<ViewTable> guarded(table);
    main_.async([guarded, y] {
        if (guarded)
            guarded->scrollToPoint(QPointF(0, y));
    });
}

void WordHighlighter::highlightWordAtTime(std::int64_t L, bool isForced, bool scrollToCenter, bool shouldAutoScroll)
{
    const auto& file = ad_.currentFile;
    if (file && !file->hasLocatedToLastMediaTime && (L == file->lastMediaTime || L == file->duration)) {
        file->hasLocatedToLastMediaTime = true;
        if (file->hasLoadedTranscript)
            table_.preloadRowsToLastMediaTime();
    }
    if (QString display = getTimeAsHMSText(ad_, MediaTime(L, 1000)); display != timeDisplay_) {
        timeDisplay_ = std::move(display);
        if (timeDisplayChanged_)
            timeDisplayChanged_(timeDisplay_);
    }
    if (!file || !file->hasLoadedTranscript || !file->hasTranscript || !file->hasLoadedTimecode || !ad_.isReadyToPlay)
        return;
    if (!isForced) {
        if (ad_.selectionWordStart && ad_.selectionWordEnd)
            return;
        if (!ad_.currentWord && L == 0)
            return;
    }
    // While the player seeks to a chosen search result, its passing times are not shown.
    if (ad_.speakerRanges.empty() || (ad_.searchServices && ad_.searchServices->isLocatingToSearchResult()))
        return;

    if (!isForced && ad_.currentWordStartTime != -1 && ad_.currentWordEndTime != -1) {
        const std::int64_t until = ad_.isAfterCurrentWord ? ad_.nextWordStartTime : ad_.currentWordEndTime;
        const bool inPlace = ad_.currentWordStartTime <= L && L < until;
        if (inPlace && (!ad_.isBeforeFirstWord || L < ad_.firstWordStartTime))
            return;
    }
    const bool sequential = !isForced && player_.rate() > 0 && ad_.currentWordIndex >= 0 && ad_.currentWordStartTime >= 0 &&
                            ad_.currentWordEndTime >= 0 && ad_.nextWordStartTime >= 0;

    ViewTable& table = table_.tableView();
    const auto rangeCount = static_cast<std::int64_t>(ad_.speakerRanges.size());
    const std::int64_t S = 2 * rangeCount;
    const auto [firstVisible, visibleCount] = table.rowsInRect(table.visibleRect());
    const std::int64_t windowFirst = std::max<std::int64_t>(firstVisible - kWindowMargin, 0);
    const std::int64_t windowEnd = std::min<std::int64_t>(firstVisible + visibleCount + kWindowMargin, S);

    std::int64_t u = -1;
    if (sequential && ad_.currentSpeakerRangeIndex >= 0) {
        if (ad_.currentSpeakerRangeIndex < rangeCount - 1 &&
            L >= ad_.speakerRanges.at(static_cast<std::size_t>(ad_.currentSpeakerRangeIndex + 1))->start)
            ++ad_.currentSpeakerRangeIndex;
        if (ad_.currentSpeakerRangeIndex >= rangeCount - 1)
            ad_.currentSpeakerRangeIndex = rangeCount - 1;
        u = 2 * ad_.currentSpeakerRangeIndex + 1;
    } else {
        std::int64_t w = -1;
        for (std::int64_t i = 0; i < rangeCount; ++i) {
            if (ad_.speakerRanges.at(static_cast<std::size_t>(i))->start > L) {
                w = i;
                break;
            }
        }
        if (w > 0) {
            ad_.currentSpeakerRangeIndex = w - 1;
            u = 2 * w - 1;
        } else if (w < 0) {
            ad_.currentSpeakerRangeIndex = rangeCount - 1;
            u = S - 1;
        }
    }
    if (u == -1) {
        if (!ad_.words.empty()) {
            showPreFirstWordIndicator(true);
            ad_.isBeforeFirstWord = true;
            ad_.currentWord = nullptr;
            ad_.currentWordIndex = -1;
            ad_.currentWordStartTime = -1;
            ad_.currentWordEndTime = -1;
            ad_.nextWordStartTime = kNoNextWord;
        }
        u = 1;
    }
    if (u >= table_.numberOfRows())
        return;
    const bool animate = !isForced && u >= windowFirst && u < windowEnd && !ad_.loadFileDoTransitionInProgress;
    const bool centre = ad_.loadFileDoTransitionInProgress || scrollToCenter;

    QColor color = ad_.brandColor;
    const auto wordCount = static_cast<std::int64_t>(ad_.words.size());
    if (sequential) {
        // Opening a file marks the position as before the first word from the player's time while
        // a word may already be current; playing on to the first word ends that mark, or editing
        // stays refused for the rest of the playback.
        if (ad_.isBeforeFirstWord && L >= ad_.firstWordStartTime) {
            showPreFirstWordIndicator(false);
            ad_.isBeforeFirstWord = false;
        }
        if (L >= ad_.nextWordStartTime) {
            ad_.isAfterCurrentWord = false;
            if (ad_.currentWord && ad_.currentWord->status == 0)
                wordHasPlayed(ad_.currentWord);
            if (ad_.currentWordIndex < wordCount - 1) {
                ++ad_.currentWordIndex;
                ad_.currentWord = ad_.words.at(static_cast<std::size_t>(ad_.currentWordIndex));
            }
        } else if (L >= ad_.currentWordEndTime) {
            ad_.isAfterCurrentWord = true;
            color = halfOpacity(ad_.brandColor);
            if (ad_.currentWord && ad_.currentWord->status == 0)
                wordHasPlayed(ad_.currentWord);
        }
    } else {
        std::shared_ptr<QVWord> found;
        for (const auto& word : ad_.words) {
            if (word->start <= L && word->end > L) {
                found = word;
                break;
            }
        }
        if (!found && L > 0 && !ad_.currentWord) {
            for (const auto& word : ad_.words) {
                if (word->end <= L)
                    found = word;
            }
            if (found)
                color = halfOpacity(ad_.brandColor);
        }
        ad_.isAfterCurrentWord = false;
        if (found) {
            if (ad_.isBeforeFirstWord) {
                showPreFirstWordIndicator(false);
                ad_.isBeforeFirstWord = false;
            }
            const auto previous = ad_.currentWord;
            const std::int64_t previousIndex = ad_.currentWordIndex;
            ad_.currentWord = found;
            ad_.currentWordIndex = static_cast<std::int64_t>(*ad_.words.indexOf(found));
            if (previous && previousIndex >= 0 && ad_.currentWordIndex == previousIndex + 1 && previous->status == 0)
                wordHasPlayed(previous);
        } else if (!centre || ad_.isBeforeFirstWord) {
            color = halfOpacity(ad_.brandColor);
            ad_.isAfterCurrentWord = true;
            if (ad_.currentWord && ad_.currentWord->status == 0)
                wordHasPlayed(ad_.currentWord);
        } else {
            std::int64_t k = -1;
            for (std::int64_t i = 0; i < wordCount; ++i) {
                if (ad_.words.at(static_cast<std::size_t>(i))->end > L) {
                    k = i;
                    break;
                }
            }
            ad_.currentWordIndex = k >= 0 ? std::max<std::int64_t>(k - 1, 0) : wordCount - 1;
            ad_.currentWord = ad_.words.at(static_cast<std::size_t>(std::max<std::int64_t>(ad_.currentWordIndex, 0)));
        }
    }
    if (ad_.currentWord && ad_.currentWord->name().isEmpty())
        return;

    if (ad_.currentTextView)
        ad_.currentTextView->removeHighlight();
    if (u < table.numberOfRows()) {
        TranscriptWordsCell* cell = table_.wordsCell(u, !sequential);
        if (!cell && !sequential)
            return;
        if (cell) {
            makeCurrentTextView(cell->textView(), sequential ? QStringLiteral("highlightWordAtTime:isForced:scrollToCenter(first)")
                                                             : QStringLiteral("highlightWordAtTime:isForced:scrollToCenter(second)"));
        }
    }
    if (!ad_.isBeforeFirstWord && ad_.currentWord && ad_.currentTextView)
        ad_.currentTextView->highlight({ad_.currentWord->characterStart, ad_.currentWord->name().size()}, color);

    ad_.selectionExtensionDirection = 0;
    if (ad_.editingServices)
        ad_.editingServices->refreshEditingOptions();
    if (refreshNavigation_)
        refreshNavigation_();

    if (ad_.loadFileDoTransitionInProgress || shouldAutoScroll)
        scrollToLine(u, animate, centre);

    if (ad_.isBeforeFirstWord) {
        ad_.currentWordStartTime = 0;
        ad_.currentWordEndTime = ad_.words.empty() ? 0 : ad_.words.first()->start;
    } else if (ad_.currentWord) {
        ad_.currentWordStartTime = ad_.currentWord->start;
        ad_.currentWordEndTime = ad_.currentWord->end;
        const auto index = ad_.words.indexOf(ad_.currentWord);
        const auto next = index ? ad_.words.at(*index + 1) : nullptr;
        ad_.nextWordStartTime = next ? next->start : kNoNextWord;
    }
    if (ad_.searchServices)
        ad_.searchServices->highlightCurrentWordAtTime(L);
    if (ad_.speakerServices)
        ad_.speakerServices->refreshSpeakerRangeChangesAllowed();
}

void WordHighlighter::scrollToLine(std::int64_t row, bool animate, bool centre)
{
    if (ad_.isBeforeFirstWord) {
        setTopAsync(0);
        return;
    }
    QVTextView* view = ad_.currentTextView;
    if (!view || !ad_.currentWord)
        return;
    ViewTable& table = table_.tableView();
    const QRectF glyphs = view->boundingRectForRange({ad_.currentWord->characterStart, ad_.currentWord->name().size()});
    const double y = glyphs.y() + view->y() + table.rectOfRow(row).y() + kLineOffset;
    const double top = table.visibleRect().y();
    const double lineHeight = ad_.lineHeightDisplay;
    if (ad_.isScrubbingMedia || centre) {
        const double windowHeight = windowHeight_ ? windowHeight_() : -1;
        setTopAsync(table_.rowHeightToGrid(y - centringDistance(windowHeight, showsNavigationControls_)));
        return;
    }
    const std::optional<double> target = followTarget(y, top, table.viewport()->height(), lineHeight);
    if (!target)
        return;
    if (table_.currentScrollAnimation && table_.currentScrollAnimation->targetPoint().y() == *target)
        return;
    if (table_.currentScrollAnimation)
        table_.currentScrollAnimation->stopAnimation();
    if (animate)
        table_.currentScrollAnimation = QVScrollAnimation::animatedScrollToPoint(QPointF(0, *target), &table, main_);
    else
        setTopAsync(*target);
}

void WordHighlighter::wordHasPlayed(const std::shared_ptr<QVWord>& word)
{
    const double rate = player_.rate();
    if (!word || rate <= 0 || rate > kMaxHeardRate)
        return;
    word->status = 1;
    const TextRange range{word->characterStart, word->name().size()};
    if (word->speakerRange) {
        if (QVTextView* view = word->speakerRange->textView) {
            if (range.location >= 0 && range.location + range.length <= view->model().length()) {
                view->model().setForeground(range, ad_.defaultTextColor);
                view->update();
            }
        }
        if (const auto& text = word->speakerRange->text) {
            if (range.location >= 0 && range.location + range.length <= text->string.size())
                text->foregrounds.push_back({range, ad_.defaultTextColor});
        }
    }
    ad_.wordsMetadataRef.child(word->uuid.toStdString()).updateChildValues({{"status", std::int64_t{1}}});
}

void WordHighlighter::highlightFromWord(const std::shared_ptr<QVWord>& from, const std::shared_ptr<QVWord>& to, bool isForced)
{
    if (!from || !to || from->speakerRange != to->speakerRange || !from->speakerRange || !from->speakerRange->textView)
        return;
    const auto first = to->characterStart < from->characterStart ? to : from;
    const auto last = first == to ? from : to;
    bool wasPlaying = false;
    if (player_.rate() != 0) {
        player_.pause();
        wasPlaying = true;
    }
    if (player_.currentMilliseconds() != first->start) {
        resetCurrentWordTiming();
        ad_.playbackStartTime = MediaTime(first->start, 1000);
        if (locate_)
            locate_(first->start, wasPlaying);
        if (!isForced && first == last) {
            selectionDurationDisplay_.clear();
            return;
        }
    }
    QVTextView* view = first->speakerRange->textView;
    if (ad_.currentTextView)
        ad_.currentTextView->removeHighlight();
    if (ad_.currentTextView && ad_.currentTextView != view)
        makeCurrentTextView(view, QStringLiteral("highlightFromWord:toWord:isForced:"));
    view->highlight({first->characterStart, last->characterEnd - first->characterStart + 1}, ad_.brandColor);
    const auto i = ad_.words.indexOf(first);
    const auto k = ad_.words.indexOf(last);
    if (first != last && i && k) {
        const auto seconds = static_cast<std::int64_t>(std::ceil(static_cast<float>((last->end - first->start) / 1000.0)));
        selectionDurationDisplay_ = QStringLiteral("| %1 words selected | %2")
                                        .arg(static_cast<long long>(*k) - static_cast<long long>(*i) + 1)
                                        .arg(timeAsMSTextFromSeconds(seconds));
    } else {
        selectionDurationDisplay_.clear();
    }
}

}  // namespace qv::transcript
