// Starts, stops, speeds up, rewinds and positions the main player: play always starts at the
// beginning of a word, the rate is a stored percentage (100, 150 or 200), every positioning is
// an exact seek except from the scrub bar, which lands on a 20 ms grid. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "transcript-view/ScrubTarget.h"
#include "transcript-view/SelectionPlayer.h"
#include "transcript-view/TranscriptPlayer.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace qv::transcript {

class TranscriptTable;
class WordHighlighter;

class TranscriptTransport final : public ScrubTarget {
public:
    // Preference keys and their defaults: rate in percent (100), resume after an edit (true).
    static inline const QString kPlaybackRateKey = QStringLiteral("QVPlaybackRate");
    static inline const QString kAutoPlayAfterEditingKey = QStringLiteral("QVAutoPlayAfterEditing");
    static constexpr std::int64_t kDefaultRatePercent = 100;
    static constexpr std::int64_t kRateStepPercent = 50;
    static constexpr std::int64_t kMaxRatePercent = 200;
    // Scrub-bar positions land on this grid, in ms.
    static constexpr std::int64_t kScrubGridMilliseconds = 20;
    // Delay of the seek to a clicked word, in seconds.
    static constexpr double kLocateWordDelay = 0.05;

    TranscriptTransport(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player, Preferences& preferences,
                        TranscriptTable& table, WordHighlighter& highlighter);

    // The stored rate in percent; a value other than 100, 150 or 200 counts as 100.
    std::int64_t ratePercent() const;
    void playbackRateFaster();
    void playbackRateSlower();

    void playPauseToggleScrollToGrid(bool scrollToGrid);
    void playScrollToGrid(bool scrollToGrid);
    void playAtChosenRateScrollToGrid(bool scrollToGrid);
    void stopPlayback();
    void resumePlayback();
    void playContinue();
    void rewindByTime(std::int64_t seconds);
    // Plays the selected words (or the current word) in the selection player.
    void playSelection();
    void stopSelectionPlaybackAndHidePlayerLayer(bool hide, bool playNormal);

    void locateMediaFileToMilliseconds(std::int64_t milliseconds, bool shouldPlay, bool scrollToGridOnPlay,
                                       std::function<void()> callback);
    void locateMediaFileToWord(const std::shared_ptr<QVWord>& word);
    void seekToMilliseconds(std::int64_t milliseconds, std::function<void(bool finished)> done);
    void setCurrentTimeSeconds(double seconds);
    // Scrub-bar positioning at `proportion` (0..1) of the media; dropped while one is in flight.
    void positionMediaFileAsProportion(double proportion) override;
    // The scrub bar under the transcript's player drives the main player through these.
    void setIsScrubbingMedia(bool scrubbing) override { ad_.isScrubbingMedia = scrubbing; }
    bool scrubPlayerIsPlaying() const override { return player_.rate() != 0; }
    void pauseForScrub() override { player_.pause(); }
    void resumeAfterScrub() override { playPauseToggleScrollToGrid(false); }
    bool scrubPlayerHasItem() const override { return player_.hasItem(); }
    // Where a scrub to `milliseconds` lands: the start of the word there (or of the last word
    // ended before it) snapped down to the grid plus one step; past the last word, unchanged.
    static std::int64_t scrubTarget(const QVOrderedSet<QVWord>& words, std::int64_t milliseconds);

    // The selection player; without one, playing the selection does nothing.
    void setSelectionPlayer(SelectionPlayer* selection) { selection_ = selection; }
    // Told when playback starts (true) or stops (false): the play button and the controls.
    void setPlayingChanged(std::function<void(bool playing)> observer) { playingChanged_ = std::move(observer); }

private:
    void clearSelectionWords();
    void clearSelection();
    void refreshSpeakerRangeChangesAllowed();

    AppDelegate& ad_;
    Dispatcher& main_;
    TranscriptPlayer& player_;
    Preferences& preferences_;
    TranscriptTable& table_;
    WordHighlighter& highlighter_;
    SelectionPlayer* selection_ = nullptr;
    std::function<void(bool)> playingChanged_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::transcript
