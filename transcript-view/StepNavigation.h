// Moves the playhead to the previous or next word, sentence or speaker range with exact seeks,
// and decides which of the six step buttons are enabled. Going back by a sentence or range
// while playing allows a grace of 1000 ms so that repeated presses keep moving back.
// Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "transcript-view/TranscriptPlayer.h"

#include <QSet>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace qv::transcript {

class TranscriptTransport;
class WordHighlighter;

class StepNavigation {
public:
    // Grace of a backward sentence or range step while playing, in ms.
    static constexpr std::int64_t kPlayingGraceMilliseconds = 1000;
    // How long a pressed button shows its "on" image, in seconds.
    static constexpr double kFlashSeconds = 0.15;

    // Enabled states of the six buttons.
    struct ButtonStates {
        bool previousSpeakerRange = false;
        bool previousSentence = false;
        bool previousWord = false;
        bool nextWord = false;
        bool nextSentence = false;
        bool nextSpeakerRange = false;
        bool operator==(const ButtonStates&) const = default;
        // In the toolbar's order: previous range, sentence, word; next word, sentence, range.
        std::array<bool, 6> inToolbarOrder() const
        {
            return {previousSpeakerRange, previousSentence, previousWord, nextWord, nextSentence, nextSpeakerRange};
        }
    };

    StepNavigation(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player, TranscriptTransport& transport,
                   WordHighlighter& highlighter);

    void moveToWordWithOffset(std::int64_t offset);
    void moveToSentenceWithOffset(std::int64_t offset);
    void moveToSpeakerRangeWithOffset(std::int64_t offset);
    // Recomputes the button states from the highlight state; `nextWord` keeps its state before
    // the first word.
    void refreshNavigationControls();
    const ButtonStates& buttonStates() const { return states_; }
    // Told the new states whenever a refresh changes them, for the buttons on screen.
    void setButtonStatesChanged(std::function<void(const ButtonStates&)> changed) { statesChanged_ = std::move(changed); }
    // Buttons showing their "on" image ("previous_word", "next_range", ...).
    const QSet<QString>& flashingButtons() const { return flashing_; }

private:
    void flash(const QString& button);
    void clearSelection();
    void seekAndSettle(std::int64_t target);
    ButtonStates computeButtonStates() const;

    AppDelegate& ad_;
    Dispatcher& main_;
    TranscriptPlayer& player_;
    TranscriptTransport& transport_;
    WordHighlighter& highlighter_;
    ButtonStates states_;
    std::function<void(const ButtonStates&)> statesChanged_;
    QSet<QString> flashing_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::transcript
