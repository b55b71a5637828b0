// What transcript editing and the speakers subsystem call of the transcript view and playback:
// row reloads, highlighting, mouse routing and the player's transport. The transcript view
// implements it; tests give a recording fake. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QPointF>

#include <cstdint>
#include <functional>
#include <memory>

class QVTextView;

class ViewServices {
public:
    virtual ~ViewServices() = default;

    // Transcript table and rows (row 2i is the header of range i, row 2i+1 its words).
    // Reloads the words rows of the ranges of `words`; the whole table when a range is gone.
    virtual void reloadRowsForWords(const QVOrderedSet<QVWord>& words) = 0;
    // Reloads the words row of the range that holds `milliseconds`, or the whole table.
    virtual void reloadRowForWordStartTime(std::int64_t milliseconds) = 0;
    // Forgets the cached height of `row` and rebuilds it from the model.
    virtual void reloadRowForTableViewIndex(std::int64_t row) = 0;
    // Reloads every row of the transcript table on the main queue.
    virtual void reloadTranscriptTable() = 0;
    // Rows were added, removed or moved and the caller dropped from `rowHeights` the ranges whose
    // words changed: reloads the table on the main queue, measuring only those rows again.
    virtual void reloadTranscriptRows() { reloadTranscriptTable(); }
    // Carries out now the row reloads that the calls above queued and that have not run yet.
    virtual void reloadQueuedRows() {}
    // Stores the view's height on the row grid and tells the table the row height changed.
    virtual void updateRowHeightForTextView(QVTextView* textView) = 0;

    // Highlighting.
    virtual void resetCurrentWordTiming() = 0;
    virtual void highlightFromWord(const std::shared_ptr<QVWord>& from, const std::shared_ptr<QVWord>& to, bool isForced) = 0;

    // Mouse in the transcript.
    virtual void mouseDownOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex) = 0;
    virtual void mouseDraggedOnTextViewAtPoint(const QPointF& point, std::int64_t speakerRangeIndex) = 0;
    virtual bool pointIsExternal(const QPointF& point, std::int64_t speakerRangeIndex) = 0;

    // Playback.
    // The player's rate; 0 when paused or without a player.
    virtual double playerRate() = 0;
    virtual void stopPlayback() = 0;
    virtual void resumePlayback() = 0;
    virtual void playPauseToggleScrollToGrid(bool scrollToGrid) = 0;
    virtual void playContinue() = 0;
    virtual void playSelection() = 0;
    // After 50 ms, seeks exactly to the word's start.
    virtual void locateMediaFileToWord(const std::shared_ptr<QVWord>& word) = 0;
    virtual void locateMediaFileToMilliseconds(std::int64_t milliseconds, bool shouldPlay, bool scrollToGridOnPlay,
                                               std::function<void()> callback) = 0;
    // Seeks exactly to `milliseconds`; `done` runs on the main queue with whether it finished.
    virtual void seekToMilliseconds(std::int64_t milliseconds, std::function<void(bool finished)> done) = 0;
    virtual void moveToWordWithOffset(std::int64_t offset) = 0;
    virtual void moveToSentenceWithOffset(std::int64_t offset) = 0;
    virtual void moveToSpeakerRangeWithOffset(std::int64_t offset) = 0;
    virtual void playbackRateFaster() = 0;
    virtual void playbackRateSlower() = 0;
    virtual void rewindByTime(std::int64_t seconds) = 0;

    // Blanks the toolbar field that shows the selection's word count and duration.
    virtual void clearSelectionDurationDisplay() = 0;
};
