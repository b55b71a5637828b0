#include "transcript-view/TranscriptTransport.h"

#include "model/EditingServices.h"
#include "model/SpeakerServices.h"
#include "model/StringPunctuation.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/WordHighlighter.h"

#include <cmath>

namespace qv::transcript {

namespace {

// The first word that holds `milliseconds` (start <= t < end).
std::shared_ptr<QVWord> wordContaining(const QVOrderedSet<QVWord>& words, std::int64_t milliseconds)
{
    for (const auto& word : words) {
        if (word->start <= milliseconds && word->end > milliseconds)
            return word;
    }
    return nullptr;
}

}  // namespace

TranscriptTransport::TranscriptTransport(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player,
                                         Preferences& preferences, TranscriptTable& table, WordHighlighter& highlighter)
    : ad_(ad), main_(main), player_(player), preferences_(preferences), table_(table), highlighter_(highlighter)
{
    preferences_.registerDefaults({{kPlaybackRateKey, PreferenceValue(kDefaultRatePercent)},
                                   {kAutoPlayAfterEditingKey, PreferenceValue(true)}});
}

std::int64_t TranscriptTransport::ratePercent() const
{
    const std::int64_t stored = preferences_.integerForKey(kPlaybackRateKey);
    return stored == 100 || stored == 150 || stored == 200 ? stored : kDefaultRatePercent;
}

void TranscriptTransport::playbackRateFaster()
{
    const std::int64_t rate = ratePercent();
    if (rate >= kMaxRatePercent)
        return;
    preferences_.setObject(kPlaybackRateKey, PreferenceValue(rate + kRateStepPercent));
    if (player_.rate() != 0)
        player_.setRate(static_cast<float>(ratePercent()) / 100.0f);
}

void TranscriptTransport::playbackRateSlower()
{
    const std::int64_t rate = ratePercent();
    if (rate <= kDefaultRatePercent)
        return;
    preferences_.setObject(kPlaybackRateKey, PreferenceValue(rate - kRateStepPercent));
    if (player_.rate() != 0)
        player_.setRate(static_cast<float>(ratePercent()) / 100.0f);
}

void TranscriptTransport::clearSelection()
{
    if (ad_.editingServices)
        ad_.editingServices->clearSelection();
    else
        ad_.selectionWordStart = ad_.selectionWordEnd = nullptr;
}

void TranscriptTransport::refreshSpeakerRangeChangesAllowed()
{
    if (ad_.speakerServices)
        ad_.speakerServices->refreshSpeakerRangeChangesAllowed();
}

void TranscriptTransport::clearSelectionWords()
{
    ad_.selectionWordMouseDown = nullptr;
    ad_.selectionWordMouseUp = nullptr;
    ad_.selectionWordStart = nullptr;
    ad_.selectionWordEnd = nullptr;
}

void TranscriptTransport::stopPlayback()
{
    player_.pause();
    if (playingChanged_)
        playingChanged_(false);
}

void TranscriptTransport::playAtChosenRateScrollToGrid(bool scrollToGrid)
{
    // Media that are missing leave the player without an item: the transcript still shows and
    // scrolls, but nothing plays, and the controls must not say otherwise.
    if (!player_.hasItem())
        return;
    if (scrollToGrid)
        table_.scrollToGrid();
    ad_.playbackStartTime = MediaTime(player_.currentMilliseconds(), 1000);
    player_.setRate(static_cast<float>(ratePercent()) / 100.0f);
    if (playingChanged_)
        playingChanged_(true);
}

void TranscriptTransport::playPauseToggleScrollToGrid(bool scrollToGrid)
{
    if (selection_ && selection_->selectionRate() != 0) {
        stopSelectionPlaybackAndHidePlayerLayer(false, false);
        return;
    }
    if (player_.rate() != 0) {
        stopPlayback();
        return;
    }
    stopSelectionPlaybackAndHidePlayerLayer(true, false);
    if (player_.durationSeconds() <= player_.currentMilliseconds() / 1000.0)
        setCurrentTimeSeconds(0);
    std::weak_ptr<bool> alive = alive_;
    if (ad_.selectionWordStart && ad_.selectionWordEnd) {
        const auto first = ad_.selectionWordStart;
        ad_.currentWord = first;
        const auto index = ad_.words.indexOf(first);
        ad_.currentWordIndex = index ? static_cast<std::int64_t>(*index) : -1;
        clearSelection();
        player_.seek(first->start, true, [this, alive, scrollToGrid, start = first->start](bool) {
            if (alive.expired())
                return;
            highlighter_.highlightWordAtTime(start, true, false, false);
            playScrollToGrid(scrollToGrid);
        });
        return;
    }
    highlighter_.highlightWordAtTime(player_.currentMilliseconds(), true, false, false);
    playScrollToGrid(scrollToGrid);
}

void TranscriptTransport::playScrollToGrid(bool scrollToGrid)
{
    if (ad_.isBeforeFirstWord) {
        playAtChosenRateScrollToGrid(scrollToGrid);
        return;
    }
    if (!ad_.currentFile || !ad_.currentFile->hasTranscript)
        return;
    const std::int64_t now = player_.currentMilliseconds();
    std::optional<std::int64_t> start;
    if (const auto word = wordContaining(ad_.words, now)) {
        start = word->start;
    } else if (now == 0) {
        start = 0;
    } else {
        ad_.currentWord = nullptr;
        ad_.currentWordIndex = -1;
        std::optional<std::size_t> after;
        for (std::size_t i = 0; i < ad_.words.size(); ++i) {
            if (ad_.words.at(i)->start >= now) {
                after = i;
                break;
            }
        }
        if (!after)
            return;
        if (*after > 0)
            start = ad_.words.at(*after - 1)->start;
    }
    clearSelection();
    if (!start) {
        highlighter_.highlightWordAtTime(now, true, false, false);
        playAtChosenRateScrollToGrid(scrollToGrid);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    player_.seek(*start, true, [this, alive, scrollToGrid, at = *start](bool) {
        if (alive.expired())
            return;
        highlighter_.highlightWordAtTime(at, true, false, false);
        playAtChosenRateScrollToGrid(scrollToGrid);
    });
}

void TranscriptTransport::resumePlayback()
{
    if (preferences_.boolForKey(kAutoPlayAfterEditingKey) && player_.rate() == 0)
        playPauseToggleScrollToGrid(true);
}

void TranscriptTransport::playContinue()
{
    QVOrderedSet<QVWord> selected;
    if (ad_.editingServices)
        selected = ad_.editingServices->getSelectedWords();
    const auto first = selected.first();
    if (!first) {
        playPauseToggleScrollToGrid(false);
        return;
    }
    if (!ad_.editingServices || !ad_.editingServices->finishEditingIfNecessary())
        return;
    highlighter_.highlightWordAtTime(player_.currentMilliseconds(), true, false, true);
    const std::int64_t limit = first->start - 1000;
    auto candidate = first;
    auto index = ad_.words.indexOf(candidate);
    while (index && *index > 0 && candidate->start > limit && candidate->end > limit) {
        const auto before = ad_.words.at(*index - 1);
        if (hasStoppingPunctuation(before->name()))
            break;
        candidate = before;
        index = *index - 1;
    }
    locateMediaFileToMilliseconds(candidate->start, true, true, {});
}

void TranscriptTransport::rewindByTime(std::int64_t seconds)
{
    if (player_.rate() > 0)
        playPauseToggleScrollToGrid(false);
    std::int64_t target = player_.currentMilliseconds() - seconds * 1000;
    if (const auto word = wordContaining(ad_.words, target))
        target = word->start;
    locateMediaFileToMilliseconds(target, true, false, {});
}

void TranscriptTransport::locateMediaFileToMilliseconds(std::int64_t milliseconds, bool shouldPlay,
                                                        bool scrollToGridOnPlay, std::function<void()> callback)
{
    auto finish = [this, shouldPlay, scrollToGridOnPlay, callback = std::move(callback)] {
        if (callback)
            callback();
        refreshSpeakerRangeChangesAllowed();
        if (shouldPlay)
            playPauseToggleScrollToGrid(scrollToGridOnPlay);
    };
    if (milliseconds == player_.currentMilliseconds()) {
        if (callback)
            callback();
        highlighter_.highlightWordAtTime(milliseconds, true, false, true);
        refreshSpeakerRangeChangesAllowed();
        if (shouldPlay)
            playPauseToggleScrollToGrid(scrollToGridOnPlay);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    player_.seek(milliseconds, true, [alive, finish = std::move(finish)](bool) {
        if (!alive.expired())
            finish();
    });
}

void TranscriptTransport::locateMediaFileToWord(const std::shared_ptr<QVWord>& word)
{
    if (!word)
        return;
    std::weak_ptr<bool> alive = alive_;
    main_.after(kLocateWordDelay, [this, alive, start = word->start] {
        if (!alive.expired())
            player_.seek(start, true, {});
    });
}

void TranscriptTransport::seekToMilliseconds(std::int64_t milliseconds, std::function<void(bool finished)> done)
{
    player_.seek(milliseconds, true, std::move(done));
}

void TranscriptTransport::setCurrentTimeSeconds(double seconds)
{
    clearSelectionWords();
    player_.seek(static_cast<std::int64_t>(seconds) * 1000, true, {});
}

std::int64_t TranscriptTransport::scrubTarget(const QVOrderedSet<QVWord>& words, std::int64_t milliseconds)
{
    const auto last = words.last();
    if (!last)
        return milliseconds;
    auto word = wordContaining(words, milliseconds);
    if (!word && milliseconds < last->end) {
        for (const auto& candidate : words) {
            if (candidate->end < milliseconds)
                word = candidate;
        }
    }
    if (!word)
        return milliseconds;
    return word->start / kScrubGridMilliseconds * kScrubGridMilliseconds + kScrubGridMilliseconds;
}

void TranscriptTransport::positionMediaFileAsProportion(double proportion)
{
    clearSelectionWords();
    if (ad_.isSeekingToScrubBarPosition)
        return;
    const float seconds = static_cast<float>(player_.durationSeconds()) * static_cast<float>(proportion);
    const auto milliseconds = static_cast<std::int64_t>(seconds * 1000.0f);
    ad_.isSeekingToScrubBarPosition = true;
    std::weak_ptr<bool> alive = alive_;
    player_.seek(scrubTarget(ad_.words, milliseconds), false, [this, alive](bool) {
        if (!alive.expired())
            ad_.isSeekingToScrubBarPosition = false;
    });
}

void TranscriptTransport::playSelection()
{
    if (!selection_)
        return;
    std::shared_ptr<QVWord> first = ad_.selectionWordStart;
    std::shared_ptr<QVWord> last = ad_.selectionWordEnd;
    if (ad_.currentWord && (!first || !last))
        first = last = ad_.currentWord;
    // With one end of a selection and no current word there is no stretch to play.
    if (!first || !last)
        return;
    selection_->playSelection(first->start, last->end);
}

void TranscriptTransport::stopSelectionPlaybackAndHidePlayerLayer(bool hide, bool playNormal)
{
    if (selection_)
        selection_->stopSelection(hide);
    if (playNormal)
        player_.setRate(1.0);
}

}  // namespace qv::transcript
