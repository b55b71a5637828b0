#include "transcript-view/StepNavigation.h"

#include "model/EditingServices.h"
#include "model/StringPunctuation.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/WordHighlighter.h"

namespace qv::transcript {

StepNavigation::StepNavigation(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player,
                               TranscriptTransport& transport, WordHighlighter& highlighter)
    : ad_(ad), main_(main), player_(player), transport_(transport), highlighter_(highlighter)
{
}

void StepNavigation::clearSelection()
{
    if (ad_.editingServices)
        ad_.editingServices->clearSelection();
    else
        ad_.selectionWordStart = ad_.selectionWordEnd = nullptr;
}

void StepNavigation::flash(const QString& button)
{
    flashing_.insert(button);
    std::weak_ptr<bool> alive = alive_;
    main_.after(kFlashSeconds, [this, alive, button] {
        if (!alive.expired())
            flashing_.remove(button);
    });
}

void StepNavigation::seekAndSettle(std::int64_t target)
{
    std::weak_ptr<bool> alive = alive_;
    player_.seek(target, true, [this, alive, target](bool) {
        if (alive.expired())
            return;
        highlighter_.resetCurrentWordTiming();
        ad_.playbackStartTime = MediaTime(target, 1000);
    });
}

void StepNavigation::moveToWordWithOffset(std::int64_t offset)
{
    clearSelection();
    std::int64_t i = 0;
    if (ad_.currentWord)
        i = std::max<std::int64_t>(ad_.currentWordIndex + offset, 0);
    else if (offset == -1)
        return;
    if (ad_.words.empty())
        return;
    i = std::min<std::int64_t>(i, static_cast<std::int64_t>(ad_.words.size()) - 1);
    if (i == ad_.currentWordIndex)
        return;
    if (offset == -1 || offset == 1) {
        if (player_.rate() != 0)
            transport_.stopPlayback();
        flash(offset == -1 ? QStringLiteral("previous_word") : QStringLiteral("next_word"));
    }
    highlighter_.resetCurrentWordTiming();
    player_.seek(ad_.words.at(static_cast<std::size_t>(i))->start, true, {});
}

void StepNavigation::moveToSentenceWithOffset(std::int64_t offset)
{
    if (!ad_.currentWord)
        return;
    clearSelection();
    const auto current = ad_.words.indexOf(ad_.currentWord);
    if (!current || (offset < 0 && *current == 0))
        return;
    const auto c = static_cast<std::int64_t>(*current);
    std::int64_t target = ad_.words.first()->start;
    auto word = [this](std::int64_t k) { return ad_.words.at(static_cast<std::size_t>(k)); };
    if (offset < 0) {
        const std::int64_t now = player_.currentMilliseconds();
        const std::int64_t grace = player_.rate() != 0 ? kPlayingGraceMilliseconds : 0;
        bool foundCurrent = false;
        for (std::int64_t k = c; k >= 2; --k) {
            if (!hasStoppingPunctuation(word(k - 1)->name()))
                continue;
            if (foundCurrent || word(k)->start + grace < now) {
                target = word(k)->start;
                break;
            }
            foundCurrent = true;
        }
        flash(QStringLiteral("previous_sentence"));
    } else {
        const auto last = static_cast<std::int64_t>(ad_.words.size()) - 1;
        std::int64_t found = -1;
        for (std::int64_t k = c; k < last; ++k) {
            if (hasStoppingPunctuation(word(k)->name())) {
                found = k;
                break;
            }
        }
        if (found < 0)
            return;
        target = word(found + 1)->start;
        flash(QStringLiteral("next_sentence"));
    }
    seekAndSettle(target);
}

void StepNavigation::moveToSpeakerRangeWithOffset(std::int64_t offset)
{
    if (!ad_.currentWord)
        return;
    clearSelection();
    const auto found = ad_.speakerRanges.indexOf(ad_.currentWord->speakerRange);
    if (!found)
        return;
    const auto r = static_cast<std::int64_t>(*found);
    auto rangeStart = [this](std::int64_t k) { return ad_.speakerRanges.at(static_cast<std::size_t>(k))->start; };
    std::int64_t target = 0;
    if (offset < 0) {
        flash(QStringLiteral("previous_range"));
        bool stepBack = false;
        if (player_.rate() != 0)
            stepBack = !(rangeStart(r) + kPlayingGraceMilliseconds < player_.currentMilliseconds());
        else
            stepBack = rangeStart(r) >= ad_.currentWord->start;
        if (stepBack && r == 0)
            return;
        target = rangeStart(stepBack ? r - 1 : r);
    } else {
        flash(QStringLiteral("next_range"));
        if (r + 1 >= static_cast<std::int64_t>(ad_.speakerRanges.size()))
            return;
        target = rangeStart(r + 1);
    }
    seekAndSettle(target);
}

void StepNavigation::refreshNavigationControls()
{
    const ButtonStates states = computeButtonStates();
    if (states == states_)
        return;
    states_ = states;
    if (statesChanged_)
        statesChanged_(states_);
}

StepNavigation::ButtonStates StepNavigation::computeButtonStates() const
{
    ButtonStates states = states_;
    const auto wordCount = static_cast<std::int64_t>(ad_.words.size());
    const auto rangeCount = static_cast<std::int64_t>(ad_.speakerRanges.size());
    if (ad_.isBeforeFirstWord) {
        states.previousSpeakerRange = states.previousSentence = states.previousWord = false;
        states.nextSentence = false;
        states.nextSpeakerRange = false;
        return states;
    }
    const bool atFirst = ad_.currentWordIndex == 0;
    states.previousSpeakerRange = states.previousSentence = states.previousWord = !atFirst;
    const bool atLast = wordCount == ad_.currentWordIndex + 1;
    states.nextSentence = states.nextWord = !atLast;
    if (rangeCount != ad_.currentSpeakerRangeIndex + 1) {
        states.nextSpeakerRange = true;
        return states;
    }
    states.nextSpeakerRange = ad_.currentWordIndex < 0;
    if (states.nextSpeakerRange)
        return states;
    bool sentenceAhead = false;
    for (std::int64_t k = std::max<std::int64_t>(ad_.currentWordIndex, 0); k < wordCount - 1 && !sentenceAhead; ++k)
        sentenceAhead = hasStoppingPunctuation(ad_.words.at(static_cast<std::size_t>(k))->name());
    states.nextSentence = states.nextSentence && sentenceAhead;
    return states;
}

}  // namespace qv::transcript
